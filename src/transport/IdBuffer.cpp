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
  return FBytes[static_cast<std::size_t>(FHeadIndex + index)];
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
    FBytes.assign(source, source + n);
    FHeadIndex = 0;
    FSize = n;
    return;
  }
  CompactHead(false);
  if (Capacity() - FSize < n) FBytes.resize(static_cast<std::size_t>(FSize) + n + kGrowthFactor);
  std::memcpy(FBytes.data() + FSize, source, static_cast<std::size_t>(n));
  FSize += n;
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
  const std::uint8_t* source = FBytes.data() + FHeadIndex;
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
  if (count > 0) stream.WriteBuffer(FBytes.data(), count);
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
  FBytes.clear();
  FBytes.shrink_to_fit();
  FHeadIndex = 0;
  FSize = 0;
}

void TIdBuffer::CompactHead(bool canShrink) {
  if (FHeadIndex > 0) {
    std::memmove(FBytes.data(), FBytes.data() + FHeadIndex, static_cast<std::size_t>(FSize));
    FHeadIndex = 0;
  }
  if (canShrink && Capacity() - FSize > kGrowthFactor) {
    FBytes.resize(static_cast<std::size_t>(FSize) + kGrowthFactor);
    FBytes.shrink_to_fit();
  }
}
