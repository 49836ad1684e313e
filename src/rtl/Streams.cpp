#include "rtl/Streams.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include "rtl/Exceptions.h"

namespace {
// Where a seek lands in a stream that keeps its position and size itself.
std::int64_t SeekedPosition(std::int64_t position, std::int64_t size, std::int64_t offset,
                            TSeekOrigin origin) {
  switch (origin) {
    case TSeekOrigin::soBeginning:
      return offset;
    case TSeekOrigin::soCurrent:
      return position + offset;
    case TSeekOrigin::soEnd:
      return size + offset;
  }
  return position;
}
}  // namespace

std::int64_t TStream::Size() {
  const std::int64_t position = Seek(0, TSeekOrigin::soCurrent);
  const std::int64_t size = Seek(0, TSeekOrigin::soEnd);
  Seek(position, TSeekOrigin::soBeginning);
  return size;
}

void TStream::SetSize(std::int64_t /*size*/) {}

void TStream::ReadBuffer(void* buffer, std::int64_t count) {
  if (count != 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, std::int64_t count) {
  if (count != 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  const std::int64_t total = count;
  std::vector<std::uint8_t> piece(static_cast<std::size_t>(std::min(count, kMaxBufSize)));
  while (count > 0) {
    const std::int64_t n = std::min(count, kMaxBufSize);
    source.ReadBuffer(piece.data(), n);
    WriteBuffer(piece.data(), n);
    count -= n;
  }
  return total;
}

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count) {
  if (count <= 0 || FPosition >= FSize) return 0;
  const std::int64_t n = std::min(count, FSize - FPosition);
  std::memcpy(buffer, FData.Data() + FPosition, static_cast<std::size_t>(n));
  FPosition += n;
  return n;
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0 || FPosition < 0) return 0;
  if (FPosition > std::numeric_limits<std::int64_t>::max() - count) return 0;
  const std::int64_t end = FPosition + count;
  if (end > FSize) {
    Grow(end);
    ZeroGap(FPosition);
    FSize = end;
  }
  std::memcpy(FData.Data() + FPosition, buffer, static_cast<std::size_t>(count));
  FDefined = std::max(FDefined, end);
  FPosition = end;
  return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  FPosition = SeekedPosition(FPosition, FSize, offset, origin);
  return FPosition;
}

void TMemoryStream::Grow(std::int64_t needed) {
  if (needed <= Capacity()) return;
  // Grow by a quarter at least, so that appending stays linear overall.
  std::int64_t capacity = std::max(needed, Capacity() + Capacity() / 4);
  capacity = (capacity + 8191) & ~std::int64_t{8191};
  SetCapacity(capacity);
}

void TMemoryStream::SetCapacity(std::int64_t capacity) {
  if (capacity < FSize) capacity = FSize;
  if (capacity == FCapacity) return;
  if (capacity == 0) {
    FData = TMemoryBlock();
    FCapacity = 0;
    FDefined = 0;
    return;
  }
  if (static_cast<std::uint64_t>(capacity) >
      static_cast<std::uint64_t>(std::numeric_limits<std::ptrdiff_t>::max())) {
    throw EStreamError("Out of memory while expanding memory stream");
  }
  // Not initialised: a pre-sized download writes every byte once, not twice.
  TMemoryBlock data(static_cast<std::size_t>(capacity));
  if (!data) throw EStreamError("Out of memory while expanding memory stream");
  // Written bytes past the size move too: a later SetSize shows them again.
  FDefined = std::min(FDefined, capacity);
  if (FDefined != 0) std::memcpy(data.Data(), FData.Data(), static_cast<std::size_t>(FDefined));
  FData = std::move(data);
  FCapacity = capacity;
}

void TMemoryStream::ZeroGap(std::int64_t end) {
  if (end <= FDefined) return;
  std::memset(FData.Data() + FDefined, 0, static_cast<std::size_t>(end - FDefined));
  FDefined = end;
}

void TMemoryStream::SetSize(std::int64_t size) {
  if (size < 0) size = 0;
  Grow(size);
  ZeroGap(size);
  FSize = size;
  if (FPosition > size) FPosition = size;
}

void TMemoryStream::Swap(TMemoryStream& other) noexcept {
  std::swap(FData, other.FData);
  std::swap(FCapacity, other.FCapacity);
  std::swap(FDefined, other.FDefined);
  std::swap(FSize, other.FSize);
  std::swap(FPosition, other.FPosition);
}

void TMemoryStream::Clear() {
  FData = TMemoryBlock();
  FCapacity = 0;
  FDefined = 0;
  FSize = 0;
  FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream& source) {
  source.SetPosition(0);
  const std::int64_t count = source.Size();
  SetSize(count);
  if (count != 0) source.ReadBuffer(FData.Data(), count);
  FPosition = 0;
}

void TMemoryStream::SaveToStream(TStream& target) const {
  if (FSize != 0) target.WriteBuffer(FData.Data(), FSize);
}

void TMemoryStream::LoadFromFile(const std::string& path) {
  TFileStream file(path, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(file);
}

void TMemoryStream::SaveToFile(const std::string& path) const {
  TFileStream file(path, fmCreate);
  SaveToStream(file);
}

namespace {
TFileHandle::TShare ShareOf(std::uint32_t mode) {
  if ((mode & 0xF0) == fmShareDenyNone) return TFileHandle::TShare::DenyNone;
  if ((mode & 0xF0) == fmShareDenyWrite) return TFileHandle::TShare::DenyWrite;
  return TFileHandle::TShare::Exclusive;
}
}  // namespace

TFileStream::TFileStream(const std::string& fileName, std::uint32_t mode) : FFileName(fileName) {
  if ((mode & fmCreate) == fmCreate) {
    FHandle = TFileHandle::Create(fileName, ShareOf(mode & 0xFF));
    if (!FHandle.Valid()) {
      const std::uint32_t code = GetLastOSError();
      throw EFCreateError("Cannot create file \"" + ExpandFileName(fileName) + "\". " +
                          SysErrorMessage(code));
    }
    return;
  }
  const std::uint32_t access = mode & 0x0F;
  const auto how = access == fmOpenWrite       ? TFileHandle::TAccess::Write
                   : access == fmOpenReadWrite ? TFileHandle::TAccess::ReadWrite
                                               : TFileHandle::TAccess::Read;
  FHandle = TFileHandle::Open(fileName, how, ShareOf(mode));
  if (!FHandle.Valid()) {
    const std::uint32_t code = GetLastOSError();
    throw EFOpenError("Cannot open file \"" + ExpandFileName(fileName) + "\". " +
                      SysErrorMessage(code));
  }
}

TFileStream::TFileStream(TFileHandle handle, std::string fileName)
    : FFileName(std::move(fileName)), FHandle(std::move(handle)) {}

std::int64_t TFileStream::Read(void* buffer, std::int64_t count) {
  const std::int64_t n = count <= 0 ? 0 : FHandle.Read(buffer, count);
  return n < 0 ? 0 : n;
}

std::int64_t TFileStream::Write(const void* buffer, std::int64_t count) {
  const std::int64_t n = count <= 0 ? 0 : FHandle.Write(buffer, count);
  return n < 0 ? 0 : n;
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  const int how = origin == TSeekOrigin::soBeginning ? 0 : origin == TSeekOrigin::soCurrent ? 1 : 2;
  return FHandle.Seek(offset, how);
}

void TFileStream::SetSize(std::int64_t size) {
  if (!FHandle.SetSize(size))
    throw EStreamError("Stream size error: " + SysErrorMessage(GetLastOSError()));
}

namespace {
// A jump to a record elsewhere (a local header the directory names) reads only
// this much, so that a pass over thousands of headers does not read the whole
// archive; reading on from where the source stands fills the whole buffer.
constexpr std::int64_t kJumpPiece = 4096;
}  // namespace

TReadBufferStream::TReadBufferStream(std::unique_ptr<TStream> source, std::int64_t bufferSize)
    : FSource(std::move(source)), FBufferSize(std::max<std::int64_t>(bufferSize, 1)) {
  FBuffer = std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(FBufferSize));
  FSize = FSource->Size();
  FSourcePosition = FSource->Position();
}

std::int64_t TReadBufferStream::Read(void* buffer, std::int64_t count) {
  if (FPosition < 0 || FPosition >= FSize) return 0;
  count = std::min(count, FSize - FPosition);
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::int64_t done = 0;
  while (done < count) {
    const std::int64_t offset = FPosition - FBufferStart;
    if (offset >= 0 && offset < FBufferLength) {
      const std::int64_t n = std::min(count - done, FBufferLength - offset);
      std::memcpy(out + done, FBuffer.get() + offset, static_cast<std::size_t>(n));
      done += n;
      FPosition += n;
    } else if (count - done >= FBufferSize) {
      // Too large for the buffer: straight into the caller's memory.
      const std::int64_t got = ReadSource(out + done, FPosition, count - done);
      done += got;
      FPosition += got;
      break;
    } else {
      if (!Fill(count - done)) break;
    }
  }
  return done;
}

std::int64_t TReadBufferStream::Write(const void* /*buffer*/, std::int64_t /*count*/) { return 0; }

std::int64_t TReadBufferStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  FPosition = SeekedPosition(FPosition, FSize, offset, origin);
  return FPosition;
}

std::span<const std::uint8_t> TReadBufferStream::View(std::int64_t count) {
  if (FPosition < 0 || FPosition >= FSize || count <= 0) return {};
  count = std::min({count, FSize - FPosition, FBufferSize});
  const std::int64_t offset = FPosition - FBufferStart;
  if (offset < 0 || offset + count > FBufferLength) {
    if (!Fill(count)) return {};
  }
  const std::int64_t start = FPosition - FBufferStart;
  return {FBuffer.get() + start, static_cast<std::size_t>(std::min(count, FBufferLength - start))};
}

// Refills the buffer from the position with at least needed bytes where the source has them.
bool TReadBufferStream::Fill(std::int64_t needed) {
  const std::int64_t piece =
      FPosition == FSourcePosition ? FBufferSize : std::max(needed, kJumpPiece);
  FBufferStart = FPosition;
  FBufferLength = 0;
  FBufferLength =
      ReadSource(FBuffer.get(), FPosition, std::min({piece, FBufferSize, FSize - FPosition}));
  return FBufferLength > 0;
}

std::int64_t TReadBufferStream::ReadSource(void* buffer, std::int64_t at, std::int64_t count) {
  if (at != FSourcePosition) {
    FSourcePosition = FSource->Seek(at, TSeekOrigin::soBeginning);
    if (FSourcePosition != at) return 0;
  }
  const std::int64_t got = std::max<std::int64_t>(0, FSource->Read(buffer, count));
  FSourcePosition += got;
  return got;
}
