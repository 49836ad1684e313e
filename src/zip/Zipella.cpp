#include "zip/Zipella.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "rtl/FileSystem.h"
#include "zip/ZLib.h"

static_assert(std::endian::native == std::endian::little, "the records are read as stored, little-endian");

namespace {

// The end-record search: window 1 spans up to 256 candidates below size - 22,
// windows 2 and 3 reach back over every comment length the format allows.
constexpr std::int64_t kEndRecordSize = sizeof(TZipEndRecord);
constexpr std::int64_t kWindow1Span = 256;
constexpr std::int64_t kWindow2Span = 1024;
constexpr std::int64_t kWindow3Span = 65536;
constexpr std::int64_t kSearchReach = 66582;  // deepest candidate below the end

// Deflate cannot expand past about 1032:1; a larger announced size cannot be
// met, so it is refused before room for it is reserved.
constexpr std::int64_t kMaxDeflateRatio = 1032;
constexpr std::int64_t kMaxDeflateSlack = 65536;
constexpr std::int64_t kMaxEntrySize = std::numeric_limits<std::uint32_t>::max();
// The working memory of extraction never shrinks below this, so the many small
// entries of a package share one allocation.
constexpr std::int64_t kMinWorkingMemory = std::int64_t{1} << 20;

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
  return count == 0 || stream.Read(text.data(), static_cast<std::int64_t>(count)) == static_cast<std::int64_t>(count);
}

TZipCompressionType CompressionTypeOf(const TCentralDirectoryHeader& header) {
  if (header.Method != 8 && header.Method != 9) return TZipCompressionType::ctUnknown;
  switch (header.Flag & 6) {
    case 0:
      return TZipCompressionType::ctNormal;
    case 2:
      return TZipCompressionType::ctMaximum;
    case 4:
      return TZipCompressionType::ctFast;
    default:
      return TZipCompressionType::ctSuperFast;
  }
}

// The zlib stream header that carries the level of the entry's flag bits 1-2.
std::array<std::uint8_t, 2> ZlibHeaderFor(std::uint16_t flag) {
  switch (flag & 6) {
    case 0:
      return {0x78, 0x9C};
    case 2:
      return {0x78, 0xDA};
    case 4:
      return {0x78, 0x5E};
    default:
      return {0x78, 0x01};
  }
}

// Backslashes of the mapped name become the platform's separators.
std::string NativePath(std::string path) {
  if constexpr (PathDelim != '\\') std::replace(path.begin(), path.end(), '\\', PathDelim);
  return path;
}

// A segment that climbs: "..", and what Windows reads as ".." (more dots,
// trailing blanks, or a stream name after a colon).
bool ClimbingSegment(std::string_view segment) {
  segment = segment.substr(0, segment.find(':'));
  const auto dots = std::count(segment.begin(), segment.end(), '.');
  const auto blanks = std::count(segment.begin(), segment.end(), ' ');
  return dots >= 2 && dots + blanks == static_cast<std::ptrdiff_t>(segment.size());
}

bool LeavesTarget(std::string_view mapped) {
  // The system reads a path only up to a NUL, which could cut it short anywhere.
  if (mapped.find('\0') != std::string_view::npos) return true;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = mapped.find_first_of("\\/", start);
    if (ClimbingSegment(mapped.substr(start, end == std::string_view::npos ? end : end - start))) return true;
    if (end == std::string_view::npos) return false;
    start = end + 1;
  }
}

// What the Windows file API cannot hold in a name, whatever the code page:
// control characters, the stream and drive separator ":" (also "C:x"), and the
// wildcard and redirection characters.
bool HasInvalidCharacter(std::string_view mapped) {
  return std::any_of(mapped.begin(), mapped.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 || std::string_view("<>:\"|?*").find(c) != std::string_view::npos;
  });
}

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameLetters(std::string_view text, std::string_view upper) {
  return text.size() == upper.size() &&
         std::equal(text.begin(), text.end(), upper.begin(), [](char a, char b) { return AsciiUpper(a) == b; });
}

// A segment that Windows opens as a device in any folder: the part before the
// first dot, trailing blanks dropped, is a device name. The superscript digits
// count too, as one byte (Windows-1252) or as UTF-8, whatever the system's
// code page, and so do COM0 and LPT0, which Windows reserves.
bool DeviceSegment(std::string_view segment) {
  std::string_view base = segment.substr(0, segment.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  for (const std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (SameLetters(base, device)) return true;
  }
  if (base.size() < 4 || !(SameLetters(base.substr(0, 3), "COM") || SameLetters(base.substr(0, 3), "LPT"))) return false;
  const std::string_view number = base.substr(3);
  if (number.size() == 1 && number[0] >= '0' && number[0] <= '9') return true;
  for (const std::string_view superscript : {"\xB9", "\xB2", "\xB3", "\xC2\xB9", "\xC2\xB2", "\xC2\xB3"}) {
    if (number == superscript) return true;
  }
  return false;
}

// Each segment of a mapped name: a device, or longer than a name may be.
template <typename Test>
bool AnySegment(std::string_view mapped, Test test) {
  for (std::size_t start = 0;;) {
    const std::size_t end = mapped.find('\\', start);
    if (test(mapped.substr(start, end == std::string_view::npos ? end : end - start))) return true;
    if (end == std::string_view::npos) return false;
    start = end + 1;
  }
}

// Whether the file API takes the entry's full path: every name, the folders
// made for it and, for a file, the file's own path. prefix is the length of
// what stands before the mapped name, as passed or as expanded, the longer.
bool FitsFileApi(std::size_t prefix, std::string_view mapped, bool folder) {
  if (AnySegment(mapped, [](std::string_view s) { return s.size() > kMaxNameLength; })) return false;
  while (!mapped.empty() && mapped.back() == '\\') mapped.remove_suffix(1);
  const std::size_t full = prefix + mapped.size();
  if (folder) return full <= kMaxFolderPath;
  const std::size_t lastFolder = mapped.rfind('\\');
  return (lastFolder == std::string_view::npos || prefix + lastFolder <= kMaxFolderPath) && full <= kMaxFilePath;
}

// Entry names in messages go to a one-line log: control bytes are shown as \xNN.
std::string ShownName(std::string_view stored) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string shown;
  for (const char c : stored) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      shown += "\\x";
      shown += kHex[byte >> 4];
      shown += kHex[byte & 15];
    } else {
      shown += c;
    }
  }
  return shown;
}

[[noreturn]] void RaiseRefused(std::string_view why, const TZipellaEntriesEntry& entry) {
  throw EZipellaError(std::string(why) + ShownName(entry.CentralRecord.FileName));
}

// Every level of an entry's folder must be a folder of its own: one that cannot
// be made, or a link in its place, would send the entry's files elsewhere.
void MakeFolder(const std::string& path) {
  if (!ForceDirectories(path)) {
    throw EZipellaError("Cannot create folder \"" + path + "\". " + SysErrorMessage(GetLastOSError()));
  }
}

void CheckCrc(const TZipellaEntriesEntry& entry, std::uint32_t crc) {
  if (crc != entry.CentralRecord.Header.Crc32) {
    throw EZipellaError("CRC error in this file: " + entry.CentralRecord.FileName);
  }
}

[[noreturn]] void RaiseDataEnds(const TZipellaEntriesEntry& entry) {
  throw EZipellaError("Unexpected end of data in this file: " + entry.CentralRecord.FileName);
}

}  // namespace

// ---------------------------------------------------------------------------
// Entries

TZipellaEntriesEntry::TZipellaEntriesEntry(TCollection& collection) : TCollectionItem(collection) {}

TZipellaEntries& TZipellaEntriesEntry::Entries() const { return static_cast<TZipellaEntries&>(Collection()); }

std::int64_t TZipellaEntriesEntry::LoadCompressedData(TMemoryStream& memory) {
  std::int64_t count = 0;
  if (CentralRecord.Header.Method == 8) {
    const auto header = ZlibHeaderFor(CentralRecord.Header.Flag);
    memory.WriteBuffer(header.data(), header.size());
    count = 2;
  }
  const std::int64_t size = Entries().SeekCompressedData(*this);
  if (size > 0) memory.CopyFrom(*Entries().Zipella().ArchiveStream(), size);
  return count + size;
}

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
  const std::int64_t tailStart = std::max<std::int64_t>(0, size - kSearchReach - 4);
  std::vector<std::uint8_t> tail(static_cast<std::size_t>(size - tailStart));
  stream.SetPosition(tailStart);
  stream.ReadBuffer(tail.data(), static_cast<std::int64_t>(tail.size()));

  struct TWindow {
    std::int64_t Start, Span;
  };
  const std::array<TWindow, 3> windows{{{size - 22, std::min(size, kWindow1Span)},
                                        {size - 278, kWindow2Span},
                                        {size - 1046, kWindow3Span}}};
  for (std::size_t w = 0; w < windows.size(); ++w) {
    if (w > 0 && windows[w].Span > size) return false;
    std::int64_t p = windows[w].Start;
    for (std::int64_t left = windows[w].Span; left >= 0;) {
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
      const std::int64_t step = at[0] == 0x50 ? 4 : 1;
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
  entry.Encrypted = (h.Flag & 1) != 0;
  // The high half of the attributes is the file mode on records made on Unix
  // (host 3); some writers mark folders only there.
  const bool unixFolder = (h.VersionMadeBy >> 8) == 3 && ((h.ExternalAttributes >> 16) & 0xF000) == 0x4000;
  // A name that ends in a separator can only be a folder; jar and Java's and
  // other libraries' writers mark folders by that alone (attributes 0).
  const bool folderName = !record.FileName.empty() && (record.FileName.back() == '/' || record.FileName.back() == '\\');
  entry.IsDirectory = (h.ExternalAttributes & 0x10) != 0 || unixFolder || folderName;
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
  if (stream.Read(signature.data(), 4) != 4 || Le32(signature.data()) != kLocalFileSignature) return false;
  stream.SetPosition(offset);
  TLocalFile read;
  if (stream.Read(&read.Header, sizeof(read.Header)) != static_cast<std::int64_t>(sizeof(read.Header)) ||
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

bool ReadDescriptor(TStream& stream, std::int64_t at, std::uint64_t compressed, TDescriptor& found) {
  std::array<std::uint8_t, 30> b{};
  stream.SetPosition(at);
  const std::int64_t n = stream.Read(b.data(), b.size());
  const std::int64_t skip = n >= 4 && Le32(b.data()) == kDataDescriptorSignature ? 4 : 0;
  const std::uint8_t* f = b.data() + skip;
  const std::int64_t have = n - skip;
  // The low half of a Zip64 size reads like a 32-bit size, so a form counts
  // first when the next header (or the stream's end) follows it.
  const auto followed = [&](std::int64_t length) {
    return n == length || (n >= length + 2 && b[static_cast<std::size_t>(length)] == 'P' &&
                           b[static_cast<std::size_t>(length) + 1] == 'K');
  };
  const bool narrow = have >= 12 && Le32(f + 4) == compressed;
  const bool wide = have >= 20 && Le64(f + 4) == compressed;
  const TDescriptor narrowForm{Le32(f), Le32(f + 8), skip + 12};
  const TDescriptor wideForm{Le32(f), Le64(f + 12), skip + 20};
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
  constexpr std::int64_t kOverlap = 15;
  std::vector<std::uint8_t> piece(kPiece + kOverlap);
  for (std::int64_t base = dataStart;; base += kPiece) {
    stream.SetPosition(base);
    const std::int64_t n = stream.Read(piece.data(), static_cast<std::int64_t>(piece.size()));
    for (std::int64_t i = 0; i + 16 <= n && i < kPiece; ++i) {
      if (Le32(&piece[i]) == kDataDescriptorSignature && Le32(&piece[i + 8]) == base + i - dataStart) {
        found = {Le32(&piece[i + 4]), Le32(&piece[i + 12]), 16};
        return base + i - dataStart;
      }
    }
    if (n < static_cast<std::int64_t>(piece.size())) return -1;
  }
}

}  // namespace

// Lists one entry found by the recovery scan and answers where the next header may start.
void TZipellaEntries::RecoverEntry(TStream& stream, std::int64_t offset, TLocalFile& local, std::int64_t& next) {
  TLocalFileHeader& h = local.Header;
  const std::int64_t dataStart = stream.Position();
  const std::int64_t size = stream.Size();
  bool incomplete = false;
  next = dataStart + h.CompressedSize;
  if ((h.Flag & 8) != 0 && (h.Method == 8 || h.CompressedSize == 0)) {
    // The header's sizes are zero (or a Zip64 placeholder): find the data's end.
    TDescriptor descriptor;
    std::int64_t compressed = -1;
    if (h.Method == 8) {
      stream.SetPosition(dataStart);
      const TDeflateExtent extent = MeasureRawDeflate(stream, kMaxEntrySize);
      if (extent.Complete) {
        compressed = extent.CompressedSize;
        descriptor = {extent.Crc32, static_cast<std::uint64_t>(extent.DecodedSize), 0};
        TDescriptor written;
        if (ReadDescriptor(stream, dataStart + compressed, static_cast<std::uint64_t>(compressed), written)) {
          descriptor = written;
        }
      }
    } else {
      compressed = FindSignedDescriptor(stream, dataStart, descriptor);
    }
    if (compressed < 0 || compressed > kMaxEntrySize || descriptor.UncompressedSize > kMaxEntrySize) {
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
  c.VersionMadeBy = 20;
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
  c.ExternalAttributes = (!local.FileName.empty() && local.FileName.back() == '/') ? 0x10 : 0x20;
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

// ---------------------------------------------------------------------------
// Extraction

void TZipellaEntries::ExtractAll(const std::string& target) {
  struct TRelease {
    TZipellaEntries& Entries;
    ~TRelease() { Entries.ReleaseWorkingMemory(); }
  } release{*this};
  CheckEntries(target);
  TOverwriteAction action = FZipella.FOverwriteAction;
  for (int i = 0; i < Count(); ++i) {
    if (FZipella.OnExtractFile) FZipella.OnExtractFile(&FZipella, i + 1, Count());
    TZipellaEntriesEntry& entry = Entry(i);
    const std::string& stored = entry.CentralRecord.FileName;
    const std::string file = TZipella::EntryFileName(stored);
    const std::string folder = TZipella::EntryFolder(stored);
    if (!folder.empty()) MakeFolder(target + PathDelim + NativePath(folder));
    std::string path = target + PathDelim + NativePath(folder + file);
    const bool settled = action == TOverwriteAction::oaOverwriteAll || action == TOverwriteAction::oaSkipAll;
    if (!settled && FZipella.OnOverwriteFile && FileExists(path)) FZipella.OnOverwriteFile(&FZipella, path, action);
    switch (action) {
      case TOverwriteAction::oaOverwrite:
      case TOverwriteAction::oaOverwriteAll:
        WriteEntryFile(entry, path);
        break;
      case TOverwriteAction::oaSkip:
      case TOverwriteAction::oaSkipAll:
        // Skipping spares existing files; what is not there yet is written.
        if (!FileExists(path)) WriteEntryFile(entry, path);
        break;
    }
  }
}

void TZipellaEntries::CheckEntries(const std::string& target) const {
  std::string root = ExpandFileName(target);
  while (!root.empty() && (root.back() == '\\' || root.back() == '/')) root.pop_back();
  const std::size_t prefix = std::max(root.size(), target.size()) + 1;
  for (int i = 0; i < Count(); ++i) {
    const TZipellaEntriesEntry& entry = Entry(i);
    const std::string& stored = entry.CentralRecord.FileName;
    const std::string mapped = TZipella::EntryFolder(stored) + TZipella::EntryFileName(stored);
    if (LeavesTarget(mapped)) RaiseRefused("Path leaves the target folder in this file: ", entry);
    if (HasInvalidCharacter(mapped)) RaiseRefused("Invalid character in this file: ", entry);
    if (AnySegment(mapped, DeviceSegment)) RaiseRefused("Device name in this file: ", entry);
    if (!FitsFileApi(prefix, mapped, entry.IsDirectory)) RaiseRefused("Path too long in this file: ", entry);
    if (entry.SharesData) RaiseRefused("Overlapping data in this file: ", entry);
  }
}

void TZipellaEntries::WriteEntryFile(TZipellaEntriesEntry& entry, const std::string& path) {
  if (entry.IsDirectory) {
    MakeFolder(path);
    return;
  }
  {
    TFileStream file(path, fmCreate | fmShareExclusive);
    DecodeEntry(entry, file);
  }
  if (FZipella.FApplyAtributes) {
    const std::uint32_t attributes = faArchive | (entry.CentralRecord.Header.ExternalAttributes & 0x07);
    [[maybe_unused]] const bool set = FileSetAttr(path, attributes);
  }
}

std::int64_t TZipellaEntries::SeekCompressedData(TZipellaEntriesEntry& entry) {
  TReadBufferStream* archive = FZipella.FArchiveStream.get();
  const TCentralDirectoryHeader& central = entry.CentralRecord.Header;
  if (archive == nullptr || !ReadLocalRecord(*archive, central.LocalHeaderOffset, entry.LocalRecord)) {
    throw EZipellaError("Local header not found for this file: " + entry.CentralRecord.FileName);
  }
  // The length is always the central record's; the local header's sizes are
  // zero when a descriptor follows the data.
  const std::int64_t size = central.CompressedSize;
  if (archive->Size() - archive->Position() < size) RaiseDataEnds(entry);
  return size;
}

void TZipellaEntries::DecodeEntry(TZipellaEntriesEntry& entry, TStream& destination) {
  const TCentralDirectoryHeader& h = entry.CentralRecord.Header;
  if ((h.Method != 0 && h.Method != 8) || entry.Encrypted) {
    throw Exception("Cannot process this file: " + entry.CentralRecord.FileName + " ");
  }
  if (entry.Incomplete) RaiseDataEnds(entry);
  const std::int64_t size = SeekCompressedData(entry);
  const std::int64_t output = h.Method == 8 ? std::int64_t{h.UncompressedSize} : 0;
  if (output > size * kMaxDeflateRatio + kMaxDeflateSlack) RaiseDataEnds(entry);
  TReadBufferStream& archive = *FZipella.FArchiveStream;
  // The data is decoded where it lies in the read buffer, unless it does not
  // fit there, or a progress handler could read the archive (its comment) and
  // refill the buffer under the decoder: then it is read behind the output.
  const bool inPlace = size <= archive.BufferSize() && !FZipella.OnDecompressFile;
  std::uint8_t* work = ReserveWork(output + (inPlace ? 0 : size));
  std::span<const std::uint8_t> data;
  if (inPlace) {
    data = archive.View(size);
  } else if (archive.Read(work + output, size) == size) {
    data = {work + output, static_cast<std::size_t>(size)};
  }
  if (static_cast<std::int64_t>(data.size()) != size) RaiseDataEnds(entry);
  if (h.Method == 0 && size == 0) {
    // Stored with no data: right only for an empty file.
    if (h.UncompressedSize != 0) RaiseDataEnds(entry);
    CheckCrc(entry, 0);
    return;
  }
  FZipella.FCurrentTotal = h.UncompressedSize;
  if (h.Method == 8) {
    DecodeDeflated(entry, data, work, destination);
  } else {
    CopyStored(entry, data, destination);
  }
}

void TZipellaEntries::DecodeDeflated(TZipellaEntriesEntry& entry, std::span<const std::uint8_t> data,
                                     std::uint8_t* output, TStream& destination) {
  const std::int64_t size = entry.CentralRecord.Header.UncompressedSize;
  // zlib reads the data where it lies, behind a header that carries the
  // entry's level. The Adler-32 trailer is never supplied; the entry's CRC-32
  // is checked instead, before anything is written.
  const auto header = ZlibHeaderFor(entry.CentralRecord.Header.Flag);
  TDecompressionStream decoder(header, data, false);
  decoder.OnProgress = [this](TObject* sender) { FZipella.RelayDecompressProgress(sender); };
  if (decoder.Read(output, size) != size) RaiseDataEnds(entry);
  CheckCrc(entry, UpdateCrc32(0, output, size));
  destination.WriteBuffer(output, size);
}

std::uint8_t* TZipellaEntries::ReserveWork(std::int64_t size) {
  if (size > FWorkSize) {
    ReleaseWorkingMemory();
    const std::int64_t room = std::max(size, kMinWorkingMemory);
    TMemoryBlock block(static_cast<std::size_t>(room));
    if (!block) throw EOutOfMemory();
    FWork = std::move(block);
    FWorkSize = room;
  }
  return FWork.Data();
}

void TZipellaEntries::ReleaseWorkingMemory() {
  FWork = TMemoryBlock();
  FWorkSize = 0;
}

void TZipellaEntries::CopyStored(TZipellaEntriesEntry& entry, std::span<const std::uint8_t> data,
                                 TStream& destination) {
  const std::int64_t size = entry.CentralRecord.Header.UncompressedSize;
  if (static_cast<std::int64_t>(data.size()) < size) RaiseDataEnds(entry);
  // Checked before anything goes out, so a damaged entry writes nothing.
  CheckCrc(entry, UpdateCrc32(0, data.data(), size));
  destination.WriteBuffer(data.data(), size);
}

// ---------------------------------------------------------------------------
// The component

TZipella::TZipella(TComponent* owner) : TComponent(owner), FEntries(std::make_unique<TZipellaEntries>(*this)) {}

TZipella::~TZipella() = default;

void TZipella::NotifyChange(int changeType) {
  if (OnZipChange) OnZipChange(this, changeType);
}

void TZipella::Open(const std::string& path) {
  Close();
  const std::uint32_t attributes = FileGetAttr(path);
  if (attributes == faInvalid) throw Exception("File \"" + path + "\" not found!");
  const bool readOnly = (attributes & faReadOnly) != 0;
  // Only read, and nobody may write the archive while it is open: what was
  // checked is what gets extracted.
  auto stream = std::make_unique<TFileStream>(path, fmOpenRead | fmShareDenyWrite);
  FReadOnly = readOnly;
  LoadArchive(std::move(stream));
  FFileName = path;
}

void TZipella::Close() {
  FEntries->Clear();
  FEntries->ReleaseWorkingMemory();
  FArchiveStream.reset();
  FIsZipFile = false;
  FNamesStale = true;
  FReadOnly = false;
  NotifyChange(0);
}

void TZipella::LoadArchive(std::unique_ptr<TStream> stream) {
  if (dynamic_cast<TReadBufferStream*>(stream.get()) != nullptr) {
    FArchiveStream.reset(static_cast<TReadBufferStream*>(stream.release()));
  } else {
    FArchiveStream = std::make_unique<TReadBufferStream>(std::move(stream));
  }
  try {
    FEntries->ReadArchive(*FArchiveStream);
  } catch (...) {
    // A handler or the stream failed midway: leave nothing half open.
    Close();
    throw;
  }
  FIsZipFile = FEntries->Parsed();
  if (!FIsZipFile) Close();
  FNamesStale = true;
  NotifyChange(1);
}

void TZipella::ExtractAll(const std::string& target) { FEntries->ExtractAll(target); }

std::int64_t TZipella::UncompressedTotal() const {
  // At most 65,535 records (or what a scan finds) of under 4 GiB each: no overflow in 64 bits.
  std::int64_t total = 0;
  for (int i = 0; i < FEntries->Count(); ++i) {
    const TZipellaEntriesEntry& entry = FEntries->Entry(i);
    if (!entry.IsDirectory) total += entry.CentralRecord.Header.UncompressedSize;
  }
  return total;
}

namespace {
// Slashes become backslashes ("//" as one) and a drive with its root is dropped.
std::string MapStoredName(std::string_view stored) {
  std::string text;
  text.reserve(stored.size());
  for (std::size_t i = 0; i < stored.size(); ++i) {
    if (stored[i] == '/') {
      if (i + 1 < stored.size() && stored[i + 1] == '/') ++i;
      text.push_back('\\');
    } else {
      text.push_back(stored[i]);
    }
  }
  const std::size_t drive = text.find(":\\");
  if (drive != std::string::npos) text.erase(0, drive + 2);
  return text;
}
}  // namespace

std::string TZipella::EntryFileName(std::string_view storedName) {
  const std::string text = MapStoredName(storedName);
  const std::size_t last = text.find_last_of("\\:");
  return last == std::string::npos ? text : text.substr(last + 1);
}

std::string TZipella::EntryFolder(std::string_view storedName) {
  const std::string text = MapStoredName(storedName);
  const std::size_t last = text.find_last_of("\\:");
  return last == std::string::npos ? std::string() : text.substr(0, last + 1);
}

void TZipella::RelayDecompressProgress(TObject* sender) {
  if (!OnDecompressFile) return;
  auto* stream = dynamic_cast<TStream*>(sender);
  const std::int64_t current = stream != nullptr ? stream->Position() : 0;
  OnDecompressFile(this, static_cast<int>(current), static_cast<int>(FCurrentTotal));
}

void TZipella::SetCompressionType(TZipCompressionType value) {
  FCompressionType = value == TZipCompressionType::ctUnknown ? TZipCompressionType::ctNormal : value;
}

TStrings& TZipella::Comment() {
  FComment.Clear();
  if (FIsZipFile && FEndRecord.CommentLength > 0 && FArchiveStream) {
    std::string text(FEndRecord.CommentLength, '\0');
    FArchiveStream->SetPosition(FCommentPos);
    // A comment that the file cuts short gives what is there.
    text.resize(static_cast<std::size_t>(std::max<std::int64_t>(0, FArchiveStream->Read(text.data(), text.size()))));
    FComment.SetText(text);
  }
  return FComment;
}

TStrings& TZipella::FileNames() {
  if (FNamesStale) {
    FFileNames.Clear();
    for (int i = 0; i < FEntries->Count(); ++i) {
      const std::string& stored = FEntries->Entry(i).CentralRecord.FileName;
      FFileNames.Add(EntryFolder(stored) + EntryFileName(stored));
    }
    FNamesStale = false;
  }
  return FFileNames;
}

void TZipella::SetActive(bool value) {
  if (FFileName.empty()) return;
  if (value) {
    Open(FFileName);
  } else {
    Close();
  }
}

void ApplyMainWindowSettings(TZipella& zipella) {
  zipella.SetIsZipFile(false);
  zipella.SetSaveMethod(TZipSaveMethod::FastSave);
  zipella.SetStoreRelativePath(true);
  zipella.SetStoreFolders(true);
  zipella.SetCompressionType(TZipCompressionType::ctNormal);
  zipella.SetUseTempFiles(false);
  zipella.SetOverwriteAction(TOverwriteAction::oaOverwriteAll);
  zipella.SetComponentVersion("2.0");
  zipella.SetReadOnly(false);
  zipella.SetApplyAtributes(true);
  // Active = False is stored too; with no FileName yet it changes nothing.
}
