#include "transport/IdBuffer.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "rtl/Text.h"

TIdBuffer::TIdBuffer() = default;

TIdBuffer::TIdBuffer(TRemovedEvent onRemoved) : FOnRemoved(std::move(onRemoved)) {}

TIdBuffer::~TIdBuffer() = default;

std::uint8_t TIdBuffer::Peek(int index) const {
  if (index < 0 || index >= FSize) throw EIdException(kMsgBufferInvalidStartPos);
  return FStorage[static_cast<std::size_t>(FHeadIndex + index)];
}

void TIdBuffer::Write(std::span<const std::uint8_t> bytes, int length, int offset) {
  offset = std::max(offset, 0);  // a negative offset would read before the bytes
  const int available =
      std::max(static_cast<int>(std::min<std::size_t>(bytes.size(), INT32_MAX)) - offset, 0);
  const int n = length < 0 ? available : std::min(length, available);
  if (n <= 0) return;
  if (std::numeric_limits<std::int32_t>::max() - n < FSize) throw EIdTooMuchDataInBuffer();
  const std::uint8_t* source = bytes.data() + offset;
  if (FSize == 0) {
    // An empty queue takes an exact copy.
    FHeadIndex = 0;
    Reserve(n, 0);
    std::memcpy(FStorage.get(), source, static_cast<std::size_t>(n));
    FCapacity = n;
    FSize = n;
    return;
  }
  CompactHead(false);
  if (FCapacity - FSize < n) {
    const std::int64_t capacity = std::int64_t{FSize} + n + kGrowthFactor;
    Reserve(capacity, FSize);
    FCapacity = static_cast<int>(std::min<std::int64_t>(capacity, INT32_MAX));
  }
  std::memcpy(FStorage.get() + FSize, source, static_cast<std::size_t>(n));
  FSize += n;
}

std::uint8_t* TIdBuffer::AppendArea(int maxCount) {
  if (FSize == std::numeric_limits<std::int32_t>::max()) throw EIdTooMuchDataInBuffer();
  maxCount = std::clamp(maxCount, 0, std::numeric_limits<std::int32_t>::max() - FSize);
  if (FSize == 0) {
    FHeadIndex = 0;
    Reserve(maxCount, 0);
    return FStorage.get();
  }
  CompactHead(false);
  Reserve(std::int64_t{FSize} + maxCount, FSize);
  return FStorage.get() + FSize;
}

void TIdBuffer::CommitAppend(int count) {
  // The bytes already lie behind the unread ones (see AppendArea); only the
  // capacity and the size follow what Write would have done.
  if (count <= 0) return;
  if (std::numeric_limits<std::int32_t>::max() - count < FSize) throw EIdTooMuchDataInBuffer();
  if (FSize == 0) {
    FCapacity = count;
  } else if (FCapacity - FSize < count) {
    const std::int64_t capacity = std::int64_t{FSize} + count + kGrowthFactor;
    Reserve(capacity, FSize + count);
    FCapacity = static_cast<int>(std::min<std::int64_t>(capacity, INT32_MAX));
  }
  FSize += count;
}

void TIdBuffer::Reserve(std::int64_t bytes, int keep) {
  if (bytes <= FBlockSize) return;
  // Geometric growth of the block keeps a run of appends linear; the capacity
  // itself still grows by need plus the step.
  const std::int64_t size =
      std::min<std::int64_t>(std::max(bytes, std::int64_t{FBlockSize} + FBlockSize / 2), INT32_MAX);
  std::unique_ptr<std::uint8_t[]> block(new std::uint8_t[static_cast<std::size_t>(size)]);
  if (keep > 0) std::memcpy(block.get(), FStorage.get(), static_cast<std::size_t>(keep));
  FStorage = std::move(block);
  FBlockSize = static_cast<int>(size);
}

void TIdBuffer::Trim() {
  if (FBlockSize <= kKeptBlock || FBlockSize <= FCapacity) return;
  if (FCapacity == 0) {
    FStorage.reset();
    FBlockSize = 0;
    return;
  }
  std::unique_ptr<std::uint8_t[]> block(new std::uint8_t[static_cast<std::size_t>(FCapacity)]);
  std::memcpy(block.get(), FStorage.get() + FHeadIndex, static_cast<std::size_t>(FSize));
  FHeadIndex = 0;
  FStorage = std::move(block);
  FBlockSize = FCapacity;
}

void TIdBuffer::Write(std::string_view text, const TIdTextEncoding& encoding) {
  Write(encoding.GetBytes(text));
}

int TIdBuffer::IndexOf(std::span<const std::uint8_t> bytes, int start) const {
  if (FSize == 0) return -1;
  if (bytes.empty()) throw EIdException(kMsgBufferMissingTerminator);
  if (start < 0 || start >= FSize) throw EIdException(kMsgBufferInvalidStartPos);
  const auto data = Bytes();
  const auto last = static_cast<std::int64_t>(FSize) - static_cast<std::int64_t>(bytes.size());
  for (std::int64_t i = start; i <= last; ++i) {
    if (std::memcmp(data.data() + i, bytes.data(), bytes.size()) == 0) return static_cast<int>(i);
  }
  return -1;
}

int TIdBuffer::IndexOf(std::string_view text, int start) const {
  const auto bytes = AsciiWireEncoding().GetBytes(text);
  return IndexOf(std::span<const std::uint8_t>(bytes), start);
}

void TIdBuffer::CheckCount(int count) const {
  if (count > FSize)
    throw EIdNotEnoughDataInBuffer(Format(kMsgNotEnoughDataInBuffer, {count, FSize}));
}

void TIdBuffer::ExtractToBytes(TIdBytes& bytes, int count, bool append) {
  if (count < 0) count = FSize;
  if (count < 1) return;
  CheckCount(count);
  const std::uint8_t* source = FStorage.get() + FHeadIndex;
  if (append) {
    bytes.insert(bytes.end(), source, source + count);
  } else {
    if (static_cast<int>(bytes.size()) < count) bytes.resize(static_cast<std::size_t>(count));
    std::memcpy(bytes.data(), source, static_cast<std::size_t>(count));
  }
  Remove(count);
}

std::string TIdBuffer::ExtractToString(int count, const TIdTextEncoding& encoding) {
  if (count < 0) count = FSize;
  if (count < 1) return "";
  TIdBytes bytes;
  ExtractToBytes(bytes, count, true);
  return encoding.GetString(bytes);
}

void TIdBuffer::ExtractToStream(TStream& stream, int count) {
  CompactHead(true);
  if (count < 0) count = FSize;
  CheckCount(count);
  if (count > 0) stream.WriteBuffer(FStorage.get(), count);
  Remove(count);
}

void TIdBuffer::Remove(int count) {
  if (count <= 0) return;
  if (count < FSize) {
    FHeadIndex += count;
    FSize -= count;
    if (FHeadIndex > kGrowthFactor) CompactHead(true);
  } else {
    Clear();
  }
  if (FOnRemoved) FOnRemoved(*this, count);
}

void TIdBuffer::Clear() {
  FHeadIndex = 0;
  FSize = 0;
  FCapacity = 0;
  Trim();
}

void TIdBuffer::CompactHead(bool canShrink) {
  if (FHeadIndex > 0) {
    std::memmove(FStorage.get(), FStorage.get() + FHeadIndex, static_cast<std::size_t>(FSize));
    FHeadIndex = 0;
  }
  if (canShrink && FCapacity - FSize > kGrowthFactor) {
    FCapacity = FSize + kGrowthFactor;
    Trim();
  }
}
