// The zlib decoding stream: reads a zlib-wrapped deflate stream from a source
// stream and answers the decoded bytes. zlib itself stays behind this unit.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>

#include "rtl/Component.h"
#include "rtl/Exceptions.h"
#include "rtl/Streams.h"

class EZlibError : public Exception {
  using Exception::Exception;
};
class ECompressionError : public EZlibError {
  using EZlibError::EZlibError;
};
class EDecompressionError : public EZlibError {
  using EZlibError::EZlibError;
};

// Input is taken from the source in pieces of this many bytes.
inline constexpr std::int64_t kZlibInputBufferSize = 65536;

class TCustomZlibStream : public TStream {
 public:
  // Called before each piece of input is decoded, with this stream as Sender.
  TNotifyEvent OnProgress;

 protected:
  explicit TCustomZlibStream(TStream& source);
  TCustomZlibStream(std::span<const std::uint8_t> prefix, std::span<const std::uint8_t> data);
  ~TCustomZlibStream() override;
  void Progress() {
    if (OnProgress) OnProgress(this);
  }
  // Hands zlib the next input; false when there is none left.
  [[nodiscard]] bool TakeInput();

  struct TZState;
  TStream* FStrm;                  // we don't own it; none when the input lies in memory
  std::int64_t FStrmStart;         // where the compressed data begins
  std::int64_t FStrmPos;           // source position (or memory offset) up to which input was taken
  std::unique_ptr<TZState> FZRec;  // zlib's state and the input buffer
  // Input in memory, read as one: prefix, then data. Taken in the pieces a
  // source stream would be read in, so progress comes at the same points.
  std::array<std::span<const std::uint8_t>, 2> FMemory;
  std::int64_t FPieceLeft = 0;  // bytes of the current memory piece not yet given to zlib
};

// Read-only: writing raises EDecompressionError "Invalid stream operation".
class TDecompressionStream : public TCustomZlibStream {
 public:
  // Raises EDecompressionError "Error" when zlib cannot start. Without
  // checkTrailer zlib skips the Adler-32 of the output, for callers that never
  // supply the trailer and check the data their own way.
  explicit TDecompressionStream(TStream& source, bool checkTrailer = true);
  // Decodes bytes in memory in place, without copying them: prefix, then
  // data. The caller keeps both unchanged while this stream lives.
  TDecompressionStream(std::span<const std::uint8_t> prefix, std::span<const std::uint8_t> data,
                       bool checkTrailer = true);
  ~TDecompressionStream() override;

  // Answers fewer than count bytes when the source runs dry or the deflate
  // stream ends; corrupt data raises ECompressionError "Error".
  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  // The position is the number of bytes decoded so far; only rewinding to 0 and
  // skipping forward are possible.
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

 private:
  void Start(bool checkTrailer);

  std::int64_t FTotalOut = 0;
  bool FStreamEnd = false;
};

// CRC-32 of the zip format, continued from crc (0 to start).
std::uint32_t UpdateCrc32(std::uint32_t crc, const void* data, std::int64_t count);

// Where a raw deflate stream that begins at the source's position ends: the
// compressed bytes it takes, the bytes it decodes to and their CRC-32.
// Complete is false when the source ends first, the data is corrupt, or it
// decodes to more than maxDecoded bytes.
struct TDeflateExtent {
  std::int64_t CompressedSize = 0;
  std::int64_t DecodedSize = 0;
  std::uint32_t Crc32 = 0;
  bool Complete = false;
};
TDeflateExtent MeasureRawDeflate(TStream& source, std::int64_t maxDecoded);
