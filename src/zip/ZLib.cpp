#include "zip/ZLib.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <limits>
#include <vector>

struct TCustomZlibStream::TZState {
  z_stream Stream{};
  bool Started = false;
  // Input read from a source stream; none when the input lies in memory. Not
  // cleared: a decoder per zip entry would otherwise clear it thousands of times.
  std::unique_ptr<std::uint8_t[]> Buffer;

  TZState() = default;
  TZState(const TZState&) = delete;
  TZState& operator=(const TZState&) = delete;
  ~TZState() {
    if (Started) inflateEnd(&Stream);
  }
};

TCustomZlibStream::TCustomZlibStream(TStream& source)
    : FStrm(&source),
      FStrmStart(source.Position()),
      FStrmPos(FStrmStart),
      FZRec(std::make_unique<TZState>()) {
  FZRec->Buffer = std::make_unique_for_overwrite<std::uint8_t[]>(kZlibInputBufferSize);
}

TCustomZlibStream::TCustomZlibStream(std::span<const std::uint8_t> prefix,
                                     std::span<const std::uint8_t> data)
    : FStrm(nullptr),
      FStrmStart(0),
      FStrmPos(0),
      FZRec(std::make_unique<TZState>()),
      FMemory{prefix, data} {}

TCustomZlibStream::~TCustomZlibStream() = default;

bool TCustomZlibStream::TakeInput() {
  z_stream& z = FZRec->Stream;
  if (FStrm != nullptr) {
    const std::int64_t got = FStrm->Read(FZRec->Buffer.get(), kZlibInputBufferSize);
    if (got <= 0) return false;
    z.next_in = FZRec->Buffer.get();
    z.avail_in = static_cast<uInt>(got);
    FStrmPos = FStrm->Position();
    Progress();
    return true;
  }
  const auto prefix = static_cast<std::int64_t>(FMemory[0].size());
  if (FPieceLeft == 0) {
    // Pieces matter only to a progress handler; without one zlib takes all at once.
    const std::int64_t piece =
        OnProgress ? kZlibInputBufferSize : std::int64_t{std::numeric_limits<uInt>::max()};
    FPieceLeft = std::min(piece, prefix + static_cast<std::int64_t>(FMemory[1].size()) - FStrmPos);
    if (FPieceLeft <= 0) {
      FPieceLeft = 0;
      return false;
    }
    Progress();
  }
  // A piece that begins in the prefix goes on in the data: zlib takes it in two turns.
  const std::span<const std::uint8_t> rest =
      FStrmPos < prefix ? FMemory[0].subspan(static_cast<std::size_t>(FStrmPos))
                        : FMemory[1].subspan(static_cast<std::size_t>(FStrmPos - prefix));
  const std::int64_t n = std::min(FPieceLeft, static_cast<std::int64_t>(rest.size()));
  // zlib only reads its input, though its interface is not const.
  z.next_in = const_cast<Bytef*>(rest.data());
  z.avail_in = static_cast<uInt>(n);
  FStrmPos += n;
  FPieceLeft -= n;
  return true;
}

TDecompressionStream::TDecompressionStream(TStream& source, bool checkTrailer)
    : TCustomZlibStream(source) {
  Start(checkTrailer);
}

TDecompressionStream::TDecompressionStream(std::span<const std::uint8_t> prefix,
                                           std::span<const std::uint8_t> data, bool checkTrailer)
    : TCustomZlibStream(prefix, data) {
  Start(checkTrailer);
}

void TDecompressionStream::Start(bool checkTrailer) {
  if (inflateInit(&FZRec->Stream) < 0) throw EDecompressionError("Error");
  FZRec->Started = true;
  if (!checkTrailer && inflateValidate(&FZRec->Stream, 0) < 0) throw EDecompressionError("Error");
}

TDecompressionStream::~TDecompressionStream() = default;

std::int64_t TDecompressionStream::Read(void* buffer, std::int64_t count) {
  if (count <= 0 || FStreamEnd) return 0;
  z_stream& z = FZRec->Stream;
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::int64_t produced = 0;
  if (FStrm != nullptr && FStrm->Position() != FStrmPos) FStrm->SetPosition(FStrmPos);
  while (produced < count) {
    if (z.avail_in == 0 && !TakeInput()) break;
    // zlib counts in 32 bits; a larger request is served in turns.
    const auto room = static_cast<uInt>(
        std::min<std::int64_t>(count - produced, std::numeric_limits<uInt>::max()));
    z.next_out = out + produced;
    z.avail_out = room;
    // Once memory input is all handed over, zlib may skip keeping its window
    // when the data ends within this call; it then answers Z_BUF_ERROR for a
    // stream that stops short of its end, which is no error here.
    const bool last = FStrm == nullptr && FPieceLeft == 0 &&
                      FStrmPos == static_cast<std::int64_t>(FMemory[0].size() + FMemory[1].size());
    const uInt before = z.avail_in;
    const int result = inflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
    const std::int64_t made = room - z.avail_out;
    produced += made;
    FTotalOut += made;
    if (result == Z_BUF_ERROR && made == 0 && z.avail_in == before) break;
    if (result < 0 && result != Z_BUF_ERROR) throw ECompressionError("Error");
    // A finished stream makes no more progress: asking again would spin.
    if (result == Z_STREAM_END) {
      FStreamEnd = true;
      break;
    }
  }
  return produced;
}

std::int64_t TDecompressionStream::Write(const void* /*buffer*/, std::int64_t /*count*/) {
  throw EDecompressionError("Invalid stream operation");
}

std::int64_t TDecompressionStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  if (origin == TSeekOrigin::soBeginning && offset == 0) {
    if (inflateReset(&FZRec->Stream) < 0) throw EDecompressionError("Error");
    FZRec->Stream.avail_in = 0;
    if (FStrm != nullptr) FStrm->SetPosition(FStrmStart);
    FStrmPos = FStrmStart;
    FPieceLeft = 0;
    FTotalOut = 0;
    FStreamEnd = false;
    return 0;
  }
  if (origin == TSeekOrigin::soCurrent && offset >= 0) {
    std::array<std::uint8_t, 8192> discard;
    while (offset > 0) {
      const std::int64_t n = Read(discard.data(), std::min<std::int64_t>(offset, discard.size()));
      if (n == 0) break;
      offset -= n;
    }
    return FTotalOut;
  }
  throw EDecompressionError("Invalid stream operation");
}

std::uint32_t UpdateCrc32(std::uint32_t crc, const void* data, std::int64_t count) {
  const auto* bytes = static_cast<const Bytef*>(data);
  uLong value = crc;
  while (count > 0) {
    const auto n = static_cast<uInt>(std::min<std::int64_t>(count, 1 << 30));
    value = crc32(value, bytes, n);
    bytes += n;
    count -= n;
  }
  return static_cast<std::uint32_t>(value);
}

namespace {
// Ends a raw inflate state however the measuring loop is left.
struct TRawInflate {
  z_stream Stream{};
  bool Started = false;
  TRawInflate() { Started = inflateInit2(&Stream, -MAX_WBITS) == Z_OK; }
  TRawInflate(const TRawInflate&) = delete;
  TRawInflate& operator=(const TRawInflate&) = delete;
  ~TRawInflate() {
    if (Started) inflateEnd(&Stream);
  }
};
}  // namespace

TDeflateExtent MeasureRawDeflate(TStream& source, std::int64_t maxDecoded) {
  TDeflateExtent extent;
  TRawInflate raw;
  if (!raw.Started) throw EDecompressionError("Error");
  z_stream& z = raw.Stream;
  std::vector<std::uint8_t> input(kZlibInputBufferSize);
  std::vector<std::uint8_t> output(kZlibInputBufferSize);
  std::int64_t taken = 0;
  for (;;) {
    if (z.avail_in == 0) {
      const std::int64_t got = source.Read(input.data(), kZlibInputBufferSize);
      if (got <= 0) break;
      z.next_in = input.data();
      z.avail_in = static_cast<uInt>(got);
      taken += got;
    }
    z.next_out = output.data();
    z.avail_out = static_cast<uInt>(output.size());
    const int result = inflate(&z, Z_NO_FLUSH);
    const std::int64_t made = static_cast<std::int64_t>(output.size()) - z.avail_out;
    extent.Crc32 = UpdateCrc32(extent.Crc32, output.data(), made);
    extent.DecodedSize += made;
    if (result == Z_STREAM_END) {
      extent.CompressedSize = taken - z.avail_in;
      extent.Complete = extent.DecodedSize <= maxDecoded;
      return extent;
    }
    if (result < 0 || extent.DecodedSize > maxDecoded) break;
  }
  extent.CompressedSize = taken - z.avail_in;
  return extent;
}
