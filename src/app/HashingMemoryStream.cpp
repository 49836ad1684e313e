#include "app/HashingMemoryStream.h"

#include <algorithm>
#include <span>

std::int64_t THashingMemoryStream::Write(const void* buffer, std::int64_t count) {
  const std::int64_t at = Position();
  const std::int64_t written = TIdLimitedMemoryStream::Write(buffer, count);
  if (written <= 0) return written;
  Changed(at);
  HashUpTo(at + written);
  return written;
}

void THashingMemoryStream::SetSize(std::int64_t size) {
  const std::int64_t before = Size();
  TIdLimitedMemoryStream::SetSize(size);
  // Bytes that come back with a larger size are hashed when they are needed.
  if (Size() != before) Changed(std::min(before, Size()));
}

TSha256Digest THashingMemoryStream::Digest() {
  if (!FDigest) {
    // A size below what was hashed got past SetSize (Clear): start again.
    if (FHashed > Size()) Changed(0);
    HashUpTo(Size());
    FDigest = FHash.Final();
  }
  return *FDigest;
}

void THashingMemoryStream::Changed(std::int64_t from) {
  if (from >= FHashed && !FDigest) return;
  // The kept prefix is hashed again from memory, up to the next byte needed.
  FHash = TSha256();
  FHashed = 0;
  FDigest.reset();
}

void THashingMemoryStream::HashUpTo(std::int64_t end) {
  if (end <= FHashed) return;
  FHash.Update(
      std::span<const std::uint8_t>(Memory() + FHashed, static_cast<std::size_t>(end - FHashed)));
  FHashed = end;
}
