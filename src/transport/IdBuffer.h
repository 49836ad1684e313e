// A queue of bytes: a connection's input buffer and its write buffer.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "rtl/Streams.h"
#include "transport/IdStack.h"
#include "transport/IdTransportDefs.h"

// A reader that waits for many bytes (a body) asks the socket for up to this
// many in one receive: under Wine every receive is a round trip to the wine
// server. ReadToStream moves a body in pieces of this size.
inline constexpr int kStreamPieceSize = 1 << 20;

class TIdBuffer : public TObject {
 public:
  // Called after bytes are removed, with their count.
  using TRemovedEvent = std::function<void(TIdBuffer& sender, int count)>;
  static constexpr int kGrowthFactor = 2048;

  TIdBuffer();
  explicit TIdBuffer(TRemovedEvent onRemoved);
  ~TIdBuffer() override;

  int Size() const { return FSize; }
  int Capacity() const { return FCapacity; }
  int Head() const { return FHeadIndex; }
  // The unread bytes, valid until the next change.
  std::span<const std::uint8_t> Bytes() const {
    return {FStorage.get() + FHeadIndex, static_cast<std::size_t>(FSize)};
  }
  std::uint8_t Peek(int index) const;

  // Appends the bytes after offset, at most length of them when length >= 0.
  // Raises EIdTooMuchDataInBuffer when the size would pass 2^31 - 1.
  void Write(std::span<const std::uint8_t> bytes, int length = -1, int offset = 0);
  void Write(std::string_view text, const TIdTextEncoding& encoding = AsciiWireEncoding());
  // Appending in place, for a receive: AppendArea gives room for up to maxCount bytes
  // behind the unread ones (valid until the next change), CommitAppend(n) appends the
  // first n of them as Write would have.
  std::uint8_t* AppendArea(int maxCount);
  void CommitAppend(int count);

  // Offset (from the first unread byte) of the first match at or after start, or -1.
  int IndexOf(std::span<const std::uint8_t> bytes, int start = 0) const;
  int IndexOf(std::string_view text, int start = 0) const;

  // Count -1 = all. Raises EIdNotEnoughDataInBuffer when fewer are held.
  void ExtractToBytes(TIdBytes& bytes, int count = -1, bool append = true);
  std::string ExtractToString(int count = -1,
                              const TIdTextEncoding& encoding = AsciiWireEncoding());
  void ExtractToStream(TStream& stream, int count = -1);
  void Remove(int count);
  void Clear();
  void CompactHead(bool canShrink = true);

 private:
  void CheckCount(int count) const;
  // Makes the block hold at least bytes, keeping its first keep bytes.
  void Reserve(std::int64_t bytes, int keep);
  // Gives a block back that is larger than the capacity and than a kept block.
  void Trim();

  TIdStackUse FStackUse;
  // Capacity follows the growth and shrink rules; the block behind it may be up to
  // kKeptBlock larger, so that a queue emptied after every receive does not
  // allocate again for the next one.
  static constexpr int kKeptBlock = kStreamPieceSize + kGrowthFactor;
  std::unique_ptr<std::uint8_t[]> FStorage;
  int FBlockSize = 0;
  int FCapacity = 0;
  int FHeadIndex = 0;
  int FSize = 0;
  TRemovedEvent FOnRemoved;
};
