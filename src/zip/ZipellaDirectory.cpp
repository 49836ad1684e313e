// Opening an archive: finding the end record, reading the central directory
// and checking each entry's local header against it, or, without an end
// record, rebuilding the directory from the local headers.
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>
#include <vector>

#include "zip/ZLib.h"
#include "zip/Zipella.h"

static_assert(std::endian::native == std::endian::little,
              "the records are read as stored, little-endian");

namespace {

// The end record is searched for in three windows of candidate positions,
// counted down from a distance below the archive's end: the first spans up to
// 256 candidates below the last place a record fits, the next two reach back
// over every comment length the format allows. A candidate reads 4 bytes.
constexpr std::int64_t kEndRecordSize = sizeof(TZipEndRecord);
constexpr std::int64_t kSignatureSize = sizeof(std::uint32_t);
struct TSearchWindow {
  std::int64_t Below, Span;
};
constexpr TSearchWindow kWindow1{kEndRecordSize, 256};
constexpr TSearchWindow kWindow2{kWindow1.Below + kWindow1.Span, 1024};
constexpr TSearchWindow kWindow3{kWindow1.Below + kWindow2.Span, 65536};
// The deepest candidate below the end.
constexpr std::int64_t kSearchReach = kWindow3.Below + kWindow3.Span;
static_assert(kSearchReach == 66582);

constexpr std::int64_t kMaxEntrySize = std::numeric_limits<std::uint32_t>::max();

std::uint32_t Le32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
std::uint64_t Le64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Reads count bytes into text; short data raises EReadError.
void ReadBytes(TStream& stream, std::size_t count, std::string& text) {
  text.resize(count);
  if (count > 0) stream.ReadBuffer(text.data(), static_cast<std::int64_t>(count));
}

// As ReadBytes, but answers false instead of raising.
bool TryReadBytes(TStream& stream, std::size_t count, std::string& text) {
  text.resize(count);
  return count == 0 || stream.Read(text.data(), static_cast<std::int64_t>(count)) ==
                           static_cast<std::int64_t>(count);
}

TZipCompressionType CompressionTypeOf(const TCentralDirectoryHeader& header) {
  if (header.Method != kMethodDeflated && header.Method != kMethodDeflate64)
    return TZipCompressionType::ctUnknown;
  switch (header.Flag & kFlagLevelMask) {
    case kFlagLevelNormal:
      return TZipCompressionType::ctNormal;
    case kFlagLevelMaximum:
      return TZipCompressionType::ctMaximum;
    case kFlagLevelFast:
      return TZipCompressionType::ctFast;
    default:
      return TZipCompressionType::ctSuperFast;
  }
}

}  // namespace

void TZipellaEntries::ReadArchive(TStream& stream) {
  FParsed = false;
  Clear();
  if (LocateEndRecord(stream)) {
    if (ReadCentralDirectory(stream)) {
      FParsed = true;
      CheckLocalHeaders(stream);
    }
  } else if (RecoverFromLocalHeaders(stream)) {
    FParsed = Count() > 0;
  }
}

bool TZipellaEntries::LocateEndRecord(TStream& stream) {
  const std::int64_t size = stream.Size();
  if (size < kEndRecordSize) return false;
  // The candidates are examined in a copy of the stream's tail: the same
  // positions in the same order as reading four bytes at each.
  const std::int64_t tailStart = std::max<std::int64_t>(0, size - kSearchReach - kSignatureSize);
  std::vector<std::uint8_t> tail(static_cast<std::size_t>(size - tailStart));
  stream.SetPosition(tailStart);
  stream.ReadBuffer(tail.data(), static_cast<std::int64_t>(tail.size()));

  const std::array<TSearchWindow, 3> windows{kWindow1, kWindow2, kWindow3};
  for (std::size_t w = 0; w < windows.size(); ++w) {
    // The first window never reaches below the start; the others give up there.
    const std::int64_t span = w == 0 ? std::min(size, windows[w].Span) : windows[w].Span;
    if (w > 0 && span > size) return false;
    std::int64_t p = size - windows[w].Below;
    for (std::int64_t left = span; left >= 0;) {
      if (p < 0) return false;
      const std::uint8_t* at = tail.data() + (p - tailStart);
      if (Le32(at) == kEndRecordSignature) {
        std::memcpy(&FZipella.FEndRecord, at, sizeof(TZipEndRecord));
        FZipella.FEndRecordPos = static_cast<std::uint32_t>(p);
        FZipella.FCommentPos = static_cast<std::uint32_t>(p + kEndRecordSize);
        FZipella.FComment.Clear();
        return true;
      }
      // A 0x50 that does not start the signature cannot be one of its other bytes either.
      const std::int64_t step = at[0] == kSignatureLeadByte ? kSignatureSize : 1;
      left -= step;
      p -= step;
    }
  }
  return false;
}

TZipellaEntriesEntry& TZipellaEntries::AddEntry(TCentralDirectoryFile record) {
  const TCentralDirectoryHeader& h = record.Header;
  // Converted before the entry is listed, so a bad date lists nothing half-made.
  const TDateTime modified = DosDateTimeToDateTime(h.ModDate, h.ModTime);
  auto& entry = Add<TZipellaEntriesEntry>();
  entry.Modified = modified;
  entry.Encrypted = (h.Flag & kFlagEncrypted) != 0;
  // The high half of the attributes is the file mode on records made on Unix;
  // some writers mark folders only there.
  const bool unixFolder = (h.VersionMadeBy >> 8) == kHostUnix &&
                          ((h.ExternalAttributes >> 16) & kUnixFileTypeMask) == kUnixDirectory;
  // A name that ends in a separator can only be a folder; jar and Java's and
  // other libraries' writers mark folders by that alone (attributes 0).
  const bool folderName =
      !record.FileName.empty() && (record.FileName.back() == '/' || record.FileName.back() == '\\');
  entry.IsDirectory = (h.ExternalAttributes & kDosDirectory) != 0 || unixFolder || folderName;
  entry.CompressionType = CompressionTypeOf(h);
  entry.CentralRecord = std::move(record);
  return entry;
}

bool TZipellaEntries::ReadCentralDirectory(TStream& stream) {
  const int announced = FZipella.FEndRecord.EntriesOnDisk;
  try {
    stream.SetPosition(FZipella.FEndRecord.CentralDirectoryOffset);
    for (int i = 0; i < announced; ++i) {
      TCentralDirectoryFile record;
      stream.ReadBuffer(&record.Header, sizeof(record.Header));
      ReadBytes(stream, record.Header.FileNameLength, record.FileName);
      ReadBytes(stream, record.Header.ExtraFieldLength, record.ExtraField);
      ReadBytes(stream, record.Header.FileCommentLength, record.FileComment);
      AddEntry(std::move(record));
      if (FZipella.OnZipOpen) FZipella.OnZipOpen(&FZipella, i, announced);
    }
  } catch (const Exception&) {
    // A directory cut short or with a bad date is no directory: the archive is
    // reported as no zip file (IsZipFile), which is the caller's error path.
    return false;
  }
  return Count() == announced;
}

void TZipellaEntries::CheckLocalHeaders(TStream& stream) {
  const int announced = FZipella.FEndRecord.EntriesOnDisk;
  // Honest archives do not share local headers, so their names and extra fields
  // add up to less than the archive; a hostile one that points every record at
  // one large header keeps only the fixed parts past that budget.
  std::int64_t budget = stream.Size();
  std::vector<TExtent> extents;
  for (int i = 0; i < Count(); ++i) {
    if (FZipella.OnZipOpen) FZipella.OnZipOpen(&FZipella, i, announced);
    TLocalFile& local = Entry(i).LocalRecord;
    const TCentralDirectoryHeader& central = Entry(i).CentralRecord.Header;
    // A missing header is reported when the entry is extracted.
    if (ReadLocalRecord(stream, central.LocalHeaderOffset, local)) {
      extents.push_back({central.LocalHeaderOffset, stream.Position() + central.CompressedSize, i});
    }
    budget -= static_cast<std::int64_t>(local.FileName.size() + local.ExtraField.size());
    if (budget < 0) {
      local.FileName = std::string();
      local.ExtraField = std::string();
    }
  }
  MarkSharedData(extents);
}

// Honest writers give each entry its own stretch of the archive. Records that
// point into another entry's header or data (200 records on one header write
// 1 GB from 5 KB) mark every entry that starts inside an earlier one.
void TZipellaEntries::MarkSharedData(std::vector<TExtent>& extents) {
  std::stable_sort(extents.begin(), extents.end(),
                   [](const TExtent& a, const TExtent& b) { return a.Start < b.Start; });
  std::int64_t reached = 0;
  for (const TExtent& extent : extents) {
    if (extent.Start < reached) Entry(extent.Index).SharesData = true;
    reached = std::max(reached, extent.End);
  }
}

bool TZipellaEntries::ReadLocalRecord(TStream& stream, std::int64_t offset, TLocalFile& record) {
  record = TLocalFile{};
  stream.SetPosition(offset);
  std::array<std::uint8_t, 4> signature{};
  if (stream.Read(signature.data(), 4) != 4 || Le32(signature.data()) != kLocalFileSignature)
    return false;
  stream.SetPosition(offset);
  TLocalFile read;
  if (stream.Read(&read.Header, sizeof(read.Header)) !=
          static_cast<std::int64_t>(sizeof(read.Header)) ||
      !TryReadBytes(stream, read.Header.FileNameLength, read.FileName) ||
      !TryReadBytes(stream, read.Header.ExtraFieldLength, read.ExtraField)) {
    return false;
  }
  record = std::move(read);
  return true;
}

namespace {

// What follows the data of an entry written with flag bit 3: its CRC-32 and
// sizes, with or without a signature, sizes 4 or (Zip64) 8 bytes wide. The
// descriptor whose compressed size matches the data is taken.
struct TDescriptor {
  std::uint32_t Crc32 = 0;
  std::uint64_t UncompressedSize = 0;
  std::int64_t Length = 0;
};
// CRC-32 and two sizes, without the signature: 4-byte sizes, Zip64's 8-byte.
constexpr std::int64_t kNarrowDescriptorSize = 12;
constexpr std::int64_t kWideDescriptorSize = 20;

bool ReadDescriptor(TStream& stream, std::int64_t at, std::uint64_t compressed,
                    TDescriptor& found) {
  std::array<std::uint8_t, 30> b{};
  stream.SetPosition(at);
  const std::int64_t n = stream.Read(b.data(), b.size());
  const std::int64_t skip =
      n >= kSignatureSize && Le32(b.data()) == kDataDescriptorSignature ? kSignatureSize : 0;
  const std::uint8_t* f = b.data() + skip;
  const std::int64_t have = n - skip;
  // The low half of a Zip64 size reads like a 32-bit size, so a form counts
  // first when the next header (or the stream's end) follows it.
  const auto followed = [&](std::int64_t length) {
    return n == length || (n >= length + 2 && b[static_cast<std::size_t>(length)] == 'P' &&
                           b[static_cast<std::size_t>(length) + 1] == 'K');
  };
  const bool narrow = have >= kNarrowDescriptorSize && Le32(f + 4) == compressed;
  const bool wide = have >= kWideDescriptorSize && Le64(f + 4) == compressed;
  const TDescriptor narrowForm{Le32(f), Le32(f + 8), skip + kNarrowDescriptorSize};
  const TDescriptor wideForm{Le32(f), Le64(f + 12), skip + kWideDescriptorSize};
  if (narrow && followed(narrowForm.Length)) {
    found = narrowForm;
  } else if (wide && followed(wideForm.Length)) {
    found = wideForm;
  } else if (narrow || wide) {
    found = narrow ? narrowForm : wideForm;
  } else {
    return false;
  }
  return true;
}

// Stored data of unknown length ends at the first signed descriptor whose
// compressed size is the distance to it. Answers -1 when none is found.
std::int64_t FindSignedDescriptor(TStream& stream, std::int64_t dataStart, TDescriptor& found) {
  constexpr std::int64_t kPiece = 65536;
  constexpr std::int64_t kSignedSize = kSignatureSize + kNarrowDescriptorSize;
  // A descriptor that starts near a piece's end is read whole with it.
  constexpr std::int64_t kOverlap = kSignedSize - 1;
  std::vector<std::uint8_t> piece(kPiece + kOverlap);
  for (std::int64_t base = dataStart;; base += kPiece) {
    stream.SetPosition(base);
    const std::int64_t n = stream.Read(piece.data(), static_cast<std::int64_t>(piece.size()));
    for (std::int64_t i = 0; i + kSignedSize <= n && i < kPiece; ++i) {
      if (Le32(&piece[i]) == kDataDescriptorSignature &&
          Le32(&piece[i + 8]) == base + i - dataStart) {
        found = {Le32(&piece[i + 4]), Le32(&piece[i + 12]), kSignedSize};
        return base + i - dataStart;
      }
    }
    if (n < static_cast<std::int64_t>(piece.size())) return -1;
  }
}

}  // namespace

// Lists one entry found by the recovery scan and answers where the next header may start.
void TZipellaEntries::RecoverEntry(TStream& stream, std::int64_t offset, TLocalFile& local,
                                   std::int64_t& next) {
  TLocalFileHeader& h = local.Header;
  const std::int64_t dataStart = stream.Position();
  const std::int64_t size = stream.Size();
  bool incomplete = false;
  next = dataStart + h.CompressedSize;
  if ((h.Flag & kFlagDataDescriptor) != 0 &&
      (h.Method == kMethodDeflated || h.CompressedSize == 0)) {
    // The header's sizes are zero (or a Zip64 placeholder): find the data's end.
    TDescriptor descriptor;
    std::int64_t compressed = -1;
    if (h.Method == kMethodDeflated) {
      stream.SetPosition(dataStart);
      const TDeflateExtent extent = MeasureRawDeflate(stream, kMaxEntrySize);
      if (extent.Complete) {
        compressed = extent.CompressedSize;
        descriptor = {extent.Crc32, static_cast<std::uint64_t>(extent.DecodedSize), 0};
        TDescriptor written;
        if (ReadDescriptor(stream, dataStart + compressed, static_cast<std::uint64_t>(compressed),
                           written)) {
          descriptor = written;
        }
      }
    } else {
      compressed = FindSignedDescriptor(stream, dataStart, descriptor);
    }
    if (compressed < 0 || compressed > kMaxEntrySize ||
        descriptor.UncompressedSize > kMaxEntrySize) {
      incomplete = true;
      compressed = std::min(std::max<std::int64_t>(0, size - dataStart), kMaxEntrySize);
      descriptor = {};
    }
    h.Crc32 = descriptor.Crc32;
    h.CompressedSize = static_cast<std::uint32_t>(compressed);
    h.UncompressedSize = static_cast<std::uint32_t>(descriptor.UncompressedSize);
    next = incomplete ? size : dataStart + compressed + descriptor.Length;
  }

  TCentralDirectoryFile record;
  TCentralDirectoryHeader& c = record.Header;
  c.Signature = kCentralFileSignature;
  c.VersionMadeBy = kVersionMadeByDos20;
  c.VersionNeeded = h.VersionNeeded;
  c.Flag = h.Flag;
  c.Method = h.Method;
  c.ModTime = h.ModTime;
  c.ModDate = h.ModDate;
  c.Crc32 = h.Crc32;
  c.CompressedSize = h.CompressedSize;
  c.UncompressedSize = h.UncompressedSize;
  c.FileNameLength = h.FileNameLength;
  c.ExtraFieldLength = h.ExtraFieldLength;
  c.ExternalAttributes =
      (!local.FileName.empty() && local.FileName.back() == '/') ? kDosDirectory : kDosArchive;
  c.LocalHeaderOffset = static_cast<std::uint32_t>(offset);
  record.FileName = local.FileName;
  record.ExtraField = local.ExtraField;
  AddEntry(std::move(record)).Incomplete = incomplete;
}

bool TZipellaEntries::RecoverFromLocalHeaders(TStream& stream) {
  Clear();
  std::int64_t p = 0;
  std::uint32_t count = 0;
  std::uint32_t directorySize = 0;
  bool found = false;
  try {
    TLocalFile local;
    while (ReadLocalRecord(stream, p, local)) {
      found = true;
      std::int64_t next = 0;
      RecoverEntry(stream, p, local, next);
      p = next;
      ++count;
      directorySize += Entry(Count() - 1).CentralRecord.Length();
    }
  } catch (const Exception&) {
    // The scan ends at the first record it cannot read; the entries found
    // before it stay listed, as a damaged tail leaves the rest readable.
    return found;
  }
  TZipEndRecord& end = FZipella.FEndRecord;
  end = TZipEndRecord{};
  end.Signature = kEndRecordSignature;
  end.EntriesOnDisk = static_cast<std::uint16_t>(count);
  end.TotalEntries = static_cast<std::uint16_t>(count);
  end.CentralDirectorySize = directorySize;
  end.CentralDirectoryOffset = static_cast<std::uint32_t>(p);
  return found;
}
