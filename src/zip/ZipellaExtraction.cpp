// Extraction: every entry's name is checked before the first is written, then
// each entry's data is located, decoded, checked against its CRC-32 and written.
#include <algorithm>
#include <array>
#include <new>

#include "rtl/FileSystem.h"
#include "rtl/ScopeExit.h"
#include "zip/ZLib.h"
#include "zip/Zipella.h"
#include "zip/ZipellaNames.h"

namespace {

// Deflate cannot expand past about 1032:1; a larger announced size cannot be
// met, so it is refused before room for it is reserved.
constexpr std::int64_t kMaxDeflateRatio = 1032;
constexpr std::int64_t kMaxDeflateSlack = 65536;
// The working memory of extraction never shrinks below this, so the many small
// entries of a package share one allocation.
constexpr std::int64_t kMinWorkingMemory = std::int64_t{1} << 20;

// The zlib stream header (deflate, 32 KiB window: 0x78) whose level field
// carries the level of the entry's flag bits 1-2.
std::array<std::uint8_t, 2> ZlibHeaderFor(std::uint16_t flag) {
  switch (flag & kFlagLevelMask) {
    case kFlagLevelNormal:
      return {0x78, 0x9C};
    case kFlagLevelMaximum:
      return {0x78, 0xDA};
    case kFlagLevelFast:
      return {0x78, 0x5E};
    default:
      return {0x78, 0x01};
  }
}

[[noreturn]] void RaiseRefused(std::string_view why, const TZipellaEntriesEntry& entry) {
  throw EZipellaError(std::string(why) + ShownName(entry.CentralRecord.FileName));
}

// Every level of an entry's folder must be a folder of its own: one that cannot
// be made, or a link in its place, would send the entry's files elsewhere.
void MakeFolder(const std::string& path) {
  if (!ForceDirectories(path)) {
    throw EZipellaError("Cannot create folder \"" + path + "\". " +
                        SysErrorMessage(GetLastOSError()));
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

std::int64_t TZipellaEntriesEntry::LoadCompressedData(TMemoryStream& memory) {
  std::int64_t count = 0;
  if (CentralRecord.Header.Method == kMethodDeflated) {
    const auto header = ZlibHeaderFor(CentralRecord.Header.Flag);
    memory.WriteBuffer(header.data(), header.size());
    count = static_cast<std::int64_t>(header.size());
  }
  const std::int64_t size = Entries().SeekCompressedData(*this);
  if (size > 0) memory.CopyFrom(*Entries().Zipella().ArchiveStream(), size);
  return count + size;
}

void TZipellaEntries::ExtractAll(const std::string& target) {
  auto release = ScopeExit([this] { ReleaseWorkingMemory(); });
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
    const bool settled =
        action == TOverwriteAction::oaOverwriteAll || action == TOverwriteAction::oaSkipAll;
    if (!settled && FZipella.OnOverwriteFile && FileExists(path))
      FZipella.OnOverwriteFile(&FZipella, path, action);
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
    if (const char* why = NameRefusal(prefix, mapped, entry.IsDirectory)) RaiseRefused(why, entry);
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
    const std::uint32_t attributes =
        faArchive | (entry.CentralRecord.Header.ExternalAttributes & kDosReadOnlyHiddenSystem);
    [[maybe_unused]] const bool set = FileSetAttr(path, attributes);
  }
}

std::int64_t TZipellaEntries::SeekCompressedData(TZipellaEntriesEntry& entry) {
  TReadBufferStream* archive = FZipella.FArchiveStream.get();
  const TCentralDirectoryHeader& central = entry.CentralRecord.Header;
  if (archive == nullptr ||
      !ReadLocalRecord(*archive, central.LocalHeaderOffset, entry.LocalRecord)) {
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
  if ((h.Method != kMethodStored && h.Method != kMethodDeflated) || entry.Encrypted) {
    throw Exception("Cannot process this file: " + entry.CentralRecord.FileName + " ");
  }
  if (entry.Incomplete) RaiseDataEnds(entry);
  const std::int64_t size = SeekCompressedData(entry);
  const std::int64_t output = h.Method == kMethodDeflated ? std::int64_t{h.UncompressedSize} : 0;
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
  if (h.Method == kMethodStored && size == 0) {
    // Stored with no data: right only for an empty file.
    if (h.UncompressedSize != 0) RaiseDataEnds(entry);
    CheckCrc(entry, 0);
    return;
  }
  FZipella.FCurrentTotal = h.UncompressedSize;
  if (h.Method == kMethodDeflated) {
    DecodeDeflated(entry, data, work, destination);
  } else {
    CopyStored(entry, data, destination);
  }
}

void TZipellaEntries::DecodeDeflated(TZipellaEntriesEntry& entry,
                                     std::span<const std::uint8_t> data, std::uint8_t* output,
                                     TStream& destination) {
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
