// The portable half of the file edge: whole reads and writes over the
// platform's single calls (FileSystemPosix.cpp, FileSystemWindows.cpp).
#include "rtl/FileSystem.h"

namespace {
// Repeats piece until count bytes have moved. A piece that moves nothing ends
// the transfer (the end of the file); one that fails fails it, unless some
// bytes have moved already: then those are the answer.
template <typename Piece>
std::int64_t MoveAll(std::int64_t count, Piece piece) {
  std::int64_t done = 0;
  while (done < count) {
    const std::int64_t n = piece(done, count - done);
    if (n < 0) return done > 0 ? done : -1;
    if (n == 0) break;
    done += n;
  }
  return done;
}
}  // namespace

TFileHandle& TFileHandle::operator=(TFileHandle&& other) noexcept {
  if (this != &other) {
    Close();
    FValue = other.FValue;
    other.FValue = kInvalid;
  }
  return *this;
}

std::int64_t TFileHandle::Read(void* buffer, std::int64_t count) const {
  auto* out = static_cast<char*>(buffer);
  return MoveAll(count,
                 [&](std::int64_t at, std::int64_t left) { return ReadPiece(out + at, left); });
}

std::int64_t TFileHandle::Write(const void* buffer, std::int64_t count) const {
  const auto* in = static_cast<const char*>(buffer);
  return MoveAll(count,
                 [&](std::int64_t at, std::int64_t left) { return WritePiece(in + at, left); });
}
