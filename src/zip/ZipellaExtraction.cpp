// Extraction: every entry's name is checked before the first is written, then
// each entry's data is located, decoded, checked against its CRC-32 and
// written. The calling thread reads the archive, makes the folders and raises
// the events, in entry order; decoding and the files' creating, writing and
// closing run on a small pool, so that neither waits on the other. Whatever
// fails, the earliest entry's failure is the one raised, as entry by entry.
#include <algorithm>
#include <array>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_set>
#include <vector>

#include "rtl/FileSystem.h"
#include "zip/ZLib.h"
#include "zip/Zipella.h"
#include "zip/ZipellaNames.h"
#include "zip/ZipellaPool.h"

namespace {

// Deflate cannot expand past about 1032:1; a larger announced size cannot be
// met, so it is refused before room for it is reserved.
constexpr std::int64_t kMaxDeflateRatio = 1032;
constexpr std::int64_t kMaxDeflateSlack = 65536;
// The memory of small entries comes in blocks of this size, which serve entry
// after entry, so that thousands of entries do not each fetch (and fault in)
// fresh memory.
constexpr std::int64_t kSmallBlock = std::int64_t{256} << 10;
// What the entries in flight may hold together; one larger entry runs alone.
constexpr std::int64_t kInFlightBudget = std::int64_t{8} << 20;
// Blocks kept for reuse beyond that: enough for the entries that the threads work on.
constexpr std::size_t kMostKeptBlocks = 16;
// File work waits on the system, so a few more threads than decode at once.
constexpr int kExtraWriters = 4;
constexpr int kMostDecoders = 8;

// Files made by extraction are born with the archive attribute on Windows: only
// other attributes need a call of their own.
#ifdef _WIN32
constexpr bool kNewFilesAreArchive = true;
#else
constexpr bool kNewFilesAreArchive = false;
#endif

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

[[noreturn]] void RaiseDataEnds(const std::string& name) {
  throw EZipellaError("Unexpected end of data in this file: " + name);
}

void CheckCrc(const std::string& name, std::uint32_t expected, std::uint32_t crc) {
  if (crc != expected) throw EZipellaError("CRC error in this file: " + name);
}

// Every level of an entry's folder must be a folder of its own: one that cannot
// be made, or a link in its place, would send the entry's files elsewhere.
void MakeFolder(const std::string& path) {
  if (!ForceDirectories(path)) {
    throw EZipellaError("Cannot create folder \"" + path + "\". " +
                        SysErrorMessage(GetLastOSError()));
  }
}

// What Windows may take for the same name, folded alike: letters without
// case, every non-ASCII character (and the ASCII letters that one may fold to)
// as one mark, trailing dots and blanks of a level dropped. Two paths with
// different keys are never one file; two with one key may be.
std::string CollisionKey(std::string_view path) {
  constexpr char kMark = '\x01';
  std::string key;
  key.reserve(path.size());
  auto endLevel = [&key] {
    while (!key.empty() && (key.back() == '.' || key.back() == ' ')) key.pop_back();
  };
  for (std::size_t i = 0; i < path.size(); ++i) {
    const auto c = static_cast<unsigned char>(path[i]);
    if (c == '\\' || c == '/') {
      endLevel();
      key += '/';
    } else if (c >= 0x80) {
      // One mark per character: its continuation bytes go with it.
      if ((c & 0xC0) != 0x80) key += kMark;
    } else {
      const char lower = static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
      key += lower == 'i' || lower == 's' ? kMark : lower;
    }
  }
  endLevel();
  return key;
}

// A short name ("PROGRA~1") may stand for any long one beside it.
bool MayAliasAnyName(std::string_view path) { return path.find('~') != std::string_view::npos; }

// Blocks of kSmallBlock bytes kept for reuse by all threads of one run.
class TBlockCache {
 public:
  TMemoryBlock Take(std::int64_t size) {
    if (size <= kSmallBlock) {
      const std::lock_guard lock(FLock);
      if (!FFree.empty()) {
        TMemoryBlock block = std::move(FFree.back());
        FFree.pop_back();
        return block;
      }
    }
    TMemoryBlock block(static_cast<std::size_t>(std::max(size, kSmallBlock)));
    if (!block) throw EOutOfMemory();
    return block;
  }
  void Give(TMemoryBlock block, std::int64_t size) {
    if (!block || size > kSmallBlock) return;
    const std::lock_guard lock(FLock);
    if (FFree.size() < kMostKeptBlocks) FFree.push_back(std::move(block));
  }

 private:
  std::mutex FLock;
  std::vector<TMemoryBlock> FFree;
};

// One entry's file: where it goes, its data, and what its decoding checks.
struct TEntryFile {
  TBlockCache* Cache = nullptr;
  std::string Path;
  std::string Name;  // as stored, for messages
  std::uint16_t Method = kMethodStored;
  std::uint16_t Flag = 0;
  std::uint32_t Crc32 = 0;
  std::int64_t Size = 0;  // the file's bytes
  // Deflated: room for Size decoded bytes, then the input; stored: the data.
  TMemoryBlock Memory;
  std::int64_t MemorySize = 0;  // of it in use
  std::int64_t InputSize = 0;
  bool Decoded = false;  // Memory begins with the file's checked bytes
  bool SetAttributes = false;
  std::uint32_t Attributes = 0;

  TEntryFile() = default;
  TEntryFile(const TEntryFile&) = delete;
  TEntryFile& operator=(const TEntryFile&) = delete;
  ~TEntryFile() {
    if (Cache != nullptr) Cache->Give(std::move(Memory), MemorySize);
  }
  std::uint8_t* Input() const { return Memory.Data() + (Method == kMethodDeflated ? Size : 0); }

  // Decodes (or, stored, checks) the data; raises naming the entry. progress,
  // when set, is raised before each piece of input.
  void Decode(const TNotifyEvent& progress) {
    std::uint8_t* output = Memory.Data();
    if (Method == kMethodDeflated) {
      // zlib reads the data where it lies, behind a header that carries the
      // entry's level. The Adler-32 trailer is never supplied; the entry's
      // CRC-32 is checked instead, before anything is written.
      const auto header = ZlibHeaderFor(Flag);
      TDecompressionStream decoder(header, {Input(), static_cast<std::size_t>(InputSize)}, false);
      decoder.OnProgress = progress;
      if (decoder.Read(output, Size) != Size) RaiseDataEnds(Name);
    } else if (InputSize < Size) {
      RaiseDataEnds(Name);
    }
    // Checked before anything goes out, so a damaged entry writes nothing.
    CheckCrc(Name, Crc32, UpdateCrc32(0, output, Size));
    Decoded = true;
  }

  // The file as a run entry by entry made it: created, and only data that
  // decoded and checked written into it.
  void Write() const {
    {
      TFileStream file(Path, fmCreate | fmShareExclusive);
      if (Decoded && Size > 0) file.WriteBuffer(Memory.Data(), Size);
    }
    if (SetAttributes) [[maybe_unused]]
      const bool set = FileSetAttr(Path, Attributes);
  }
};

// The memory an entry's data takes in flight: a deflated one's decoded bytes,
// then its input; a stored one's data. Nothing for an entry that fails before.
// Room for a deflated entry's decoded bytes (none for a stored one); -1 when
// its announced size is more than its data can decode to.
std::int64_t DecodedRoom(const TCentralDirectoryHeader& h) {
  const std::int64_t output = h.Method == kMethodDeflated ? std::int64_t{h.UncompressedSize} : 0;
  return output > std::int64_t{h.CompressedSize} * kMaxDeflateRatio + kMaxDeflateSlack ? -1
                                                                                       : output;
}

std::int64_t MemoryFor(const TZipellaEntriesEntry& entry) {
  const TCentralDirectoryHeader& h = entry.CentralRecord.Header;
  const std::int64_t room = DecodedRoom(h);
  return room < 0 ? 0 : room + h.CompressedSize;
}

// An entry's data as its decoder reads it: the zlib header, then the data's
// bytes from where the archive stood, and not one byte past them.
class TEntryData : public TStream {
 public:
  TEntryData(std::array<std::uint8_t, 2> header, TStream& archive, std::int64_t size)
      : FHeader(header), FArchive(archive), FStart(archive.Position()), FSize(size) {}

  std::int64_t Read(void* buffer, std::int64_t count) override {
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::int64_t done = 0;
    for (; done < count && FPosition < kHeaderSize; ++done) out[done] = FHeader[FPosition++];
    const std::int64_t want = std::min(count - done, Size() - FPosition);
    if (want <= 0) return done;
    const std::int64_t got = FArchive.Read(out + done, want);
    FPosition += std::max<std::int64_t>(got, 0);
    return done + std::max<std::int64_t>(got, 0);
  }
  std::int64_t Write(const void*, std::int64_t) override { return 0; }
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override {
    const std::int64_t base = origin == TSeekOrigin::soBeginning ? 0
                              : origin == TSeekOrigin::soCurrent ? FPosition
                                                                 : Size();
    const std::int64_t to = std::clamp<std::int64_t>(base + offset, 0, Size());
    if (to != FPosition) FArchive.SetPosition(FStart + std::max<std::int64_t>(to - kHeaderSize, 0));
    FPosition = to;
    return FPosition;
  }
  std::int64_t Size() override { return kHeaderSize + FSize; }

 private:
  static constexpr std::int64_t kHeaderSize = 2;
  std::array<std::uint8_t, 2> FHeader;
  TStream& FArchive;
  std::int64_t FStart;
  std::int64_t FSize;
  std::int64_t FPosition = 0;
};

// Pieces in which an entry too large for the budget is decoded and written.
constexpr std::int64_t kStreamPiece = std::int64_t{1} << 20;

// An entry that could not be decoded is left as an empty file, then its failure raised.
[[noreturn]] void LeaveEmptyAndRethrow(const std::string& path) {
  const std::exception_ptr failure = std::current_exception();
  { TFileStream file(path, fmCreate | fmShareExclusive); }
  std::rethrow_exception(failure);
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

class TZipellaEntries::TExtraction {
 public:
  TExtraction(TZipellaEntries& entries, const std::string& target)
      : FEntries(entries),
        FZip(entries.FZipella),
        FTarget(target),
        FAction(FZip.FOverwriteAction) {}

  void Run() {
    try {
      for (int i = 0; i < FEntries.Count(); ++i) Entry(i);
      Settle();
    } catch (...) {
      RaiseEarliest(std::current_exception());
    }
  }

 private:
  void Entry(int index);
  void WriteFile(int index, const std::string& path);
  // An entry too large for the budget, written piece by piece as it is decoded.
  void StreamFile(TZipellaEntriesEntry& entry, const std::string& path);
  // Reads (and, with a progress handler, decodes) the entry's data; raises
  // what an entry-by-entry run raised there.
  void Prepare(TZipellaEntriesEntry& entry, TEntryFile& file);
  void EnsureFolder(const std::string& path);
  // Waits for the work in flight; raises the earliest failure among it.
  void Settle();
  // Before path is looked at or written: an earlier file of this run that may
  // be the same one must be there first.
  void SettleIfScheduled(const std::string& path);
  bool Exists(const std::string& path) {
    SettleIfScheduled(path);
    return FileExists(path);
  }
  [[noreturn]] void RaiseEarliest(std::exception_ptr own);
  TZipellaPool& Pool();

  TZipellaEntries& FEntries;
  TZipella& FZip;
  const std::string& FTarget;
  TBlockCache FCache;
  TOverwriteAction FAction;                    // a handler's "all" holds for the rest of this run
  std::unordered_set<std::string> FFolders;    // folders known to be folders
  std::unordered_set<std::string> FScheduled;  // keys of files handed to the pool
  // Last: its threads end before what they use goes.
  std::unique_ptr<TZipellaPool> FPool;
};

TZipellaPool& TZipellaEntries::TExtraction::Pool() {
  if (!FPool) {
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    const int decoders = std::clamp(cores, 1, kMostDecoders);
    FPool = std::make_unique<TZipellaPool>(decoders + kExtraWriters, decoders, kInFlightBudget,
                                           FZip.FStopFlag);
  }
  return *FPool;
}

void TZipellaEntries::TExtraction::Settle() {
  if (!FPool) return;
  FPool->Drain();
  if (const std::exception_ptr failure = FPool->FirstFailure()) std::rethrow_exception(failure);
}

void TZipellaEntries::TExtraction::SettleIfScheduled(const std::string& path) {
  if (FScheduled.empty()) return;
  if (MayAliasAnyName(path) || FScheduled.contains(CollisionKey(path))) Settle();
}

void TZipellaEntries::TExtraction::RaiseEarliest(std::exception_ptr own) {
  if (FPool) {
    // What was handed over before the failure is finished first, as it was
    // written before it entry by entry; a stop ends that wait too.
    try {
      FPool->Drain();
    } catch (...) {
      FPool->Abandon();
    }
    if (const std::exception_ptr earlier = FPool->FirstFailure()) std::rethrow_exception(earlier);
  }
  std::rethrow_exception(own);
}

void TZipellaEntries::TExtraction::EnsureFolder(const std::string& path) {
  if (FFolders.contains(path)) return;
  // A file of this run in the place of one of its levels must be there
  // first, so that making the folder fails as it did entry by entry.
  bool collides = MayAliasAnyName(path);
  if (!FScheduled.empty()) {
    const std::string key = CollisionKey(path);
    for (std::size_t end = key.find('/'); !collides; end = key.find('/', end + 1)) {
      collides = FScheduled.contains(key.substr(0, end));
      if (end == std::string::npos) break;
    }
  }
  if (collides) Settle();
  MakeFolder(path);
  // Every level above is a folder now too.
  for (std::size_t end = path.find_first_of("\\/"); end != std::string::npos;
       end = path.find_first_of("\\/", end + 1))
    FFolders.insert(path.substr(0, end));
  FFolders.insert(path);
}

void TZipellaEntries::TExtraction::Entry(int index) {
  if (FPool && FPool->Failed()) Settle();
  if (FZip.FStopFlag != nullptr && FZip.FStopFlag->load()) throw EAbort();
  if (FZip.OnExtractFile) FZip.OnExtractFile(&FZip, index + 1, FEntries.Count());
  TZipellaEntriesEntry& entry = FEntries.Entry(index);
  const std::string& stored = entry.CentralRecord.FileName;
  const std::string file = TZipella::EntryFileName(stored);
  const std::string folder = TZipella::EntryFolder(stored);
  if (!folder.empty()) EnsureFolder(FTarget + PathDelim + NativePath(folder));
  std::string path = FTarget + PathDelim + NativePath(folder + file);
  TOverwriteAction& action = FAction;
  const bool settled =
      action == TOverwriteAction::oaOverwriteAll || action == TOverwriteAction::oaSkipAll;
  if (!settled && FZip.OnOverwriteFile && Exists(path)) FZip.OnOverwriteFile(&FZip, path, action);
  switch (action) {
    case TOverwriteAction::oaOverwrite:
    case TOverwriteAction::oaOverwriteAll:
      WriteFile(index, path);
      break;
    case TOverwriteAction::oaSkip:
    case TOverwriteAction::oaSkipAll:
      // Skipping spares existing files; what is not there yet is written.
      if (!Exists(path)) WriteFile(index, path);
      break;
  }
}

void TZipellaEntries::TExtraction::WriteFile(int index, const std::string& path) {
  TZipellaEntriesEntry& entry = FEntries.Entry(index);
  if (entry.IsDirectory) {
    EnsureFolder(path);
    return;
  }
  SettleIfScheduled(path);
  // The memory is held before it is taken, so that entries in flight never
  // hold more than the budget. A small entry holds a whole block.
  const std::int64_t cost = std::max(MemoryFor(entry), kSmallBlock);
  // A larger entry is written as it is decoded, once the rest is done: held
  // whole, it would take its size again beside the archive. A progress
  // handler sees the whole entry's decoding, as before, so it runs alone.
  if (cost > kInFlightBudget && !FZip.OnDecompressFile) {
    Settle();
    try {
      StreamFile(entry, path);
    } catch (...) {
      LeaveEmptyAndRethrow(path);
    }
    return;
  }
  TZipellaPool& pool = Pool();
  if (!pool.Reserve(cost)) Settle();
  auto file = std::make_shared<TEntryFile>();
  file->Path = path;
  try {
    Prepare(entry, *file);
  } catch (...) {
    const std::exception_ptr failure = std::current_exception();
    pool.Unreserve(cost);
    // The earlier entries come first, then this one is left as it was left
    // entry by entry: created, and empty.
    Settle();
    try {
      std::rethrow_exception(failure);
    } catch (...) {
      LeaveEmptyAndRethrow(path);
    }
  }
  if (FZip.FApplyAtributes) {
    file->Attributes =
        faArchive | (entry.CentralRecord.Header.ExternalAttributes & kDosReadOnlyHiddenSystem);
    file->SetAttributes = !kNewFilesAreArchive || file->Attributes != faArchive;
  }
  FScheduled.insert(CollisionKey(path));
  const std::atomic<bool>* stop = FZip.FStopFlag;
  pool.Add(index, cost, [file, stop, &pool] {
    if (!file->Decoded) {
      try {
        TNotifyEvent progress;
        if (stop != nullptr) {
          progress = [stop](TObject*) {
            if (stop->load()) throw EAbort();
          };
        }
        pool.Decode([&] { file->Decode(progress); });
      } catch (...) {
        LeaveEmptyAndRethrow(file->Path);
      }
    }
    file->Write();
  });
}

void TZipellaEntries::TExtraction::StreamFile(TZipellaEntriesEntry& entry,
                                              const std::string& path) {
  const TCentralDirectoryHeader& h = entry.CentralRecord.Header;
  const std::string& name = entry.CentralRecord.FileName;
  if ((h.Method != kMethodStored && h.Method != kMethodDeflated) || entry.Encrypted)
    throw Exception("Cannot process this file: " + name + " ");
  if (entry.Incomplete) RaiseDataEnds(name);
  const std::int64_t size = FEntries.SeekCompressedData(entry);
  if (DecodedRoom(h) < 0) RaiseDataEnds(name);
  const std::int64_t total = h.UncompressedSize;
  const bool deflated = h.Method == kMethodDeflated;
  if (!deflated && size < total) RaiseDataEnds(name);
  FZip.FCurrentTotal = total;
  TStream& archive = *FZip.FArchiveStream;
  const std::atomic<bool>* stop = FZip.FStopFlag;
  auto checkStop = [stop] {
    if (stop != nullptr && stop->load()) throw EAbort();
  };
  TEntryData data(ZlibHeaderFor(h.Flag), archive, size);
  std::unique_ptr<TDecompressionStream> decoder;
  if (deflated) {
    decoder = std::make_unique<TDecompressionStream>(data, false);
    decoder->OnProgress = [&checkStop](TObject*) { checkStop(); };
  }
  TMemoryBlock piece(static_cast<std::size_t>(kStreamPiece));
  if (!piece) throw EOutOfMemory();
  std::uint32_t crc = 0;
  {
    TFileStream file(path, fmCreate | fmShareExclusive);
    for (std::int64_t done = 0; done < total;) {
      checkStop();
      const std::int64_t want = std::min(kStreamPiece, total - done);
      const std::int64_t got =
          deflated ? decoder->Read(piece.Data(), want) : archive.Read(piece.Data(), want);
      if (got <= 0) RaiseDataEnds(name);
      crc = UpdateCrc32(crc, piece.Data(), got);
      file.WriteBuffer(piece.Data(), got);
      done += got;
    }
    // A damaged entry's bytes do not stay: the caller empties the file.
    CheckCrc(name, h.Crc32, crc);
  }
  if (FZip.FApplyAtributes) {
    const std::uint32_t attributes = faArchive | (h.ExternalAttributes & kDosReadOnlyHiddenSystem);
    if (!kNewFilesAreArchive || attributes != faArchive) [[maybe_unused]]
      const bool set = FileSetAttr(path, attributes);
  }
}

void TZipellaEntries::TExtraction::Prepare(TZipellaEntriesEntry& entry, TEntryFile& file) {
  const TCentralDirectoryHeader& h = entry.CentralRecord.Header;
  if ((h.Method != kMethodStored && h.Method != kMethodDeflated) || entry.Encrypted) {
    throw Exception("Cannot process this file: " + entry.CentralRecord.FileName + " ");
  }
  file.Name = entry.CentralRecord.FileName;
  if (entry.Incomplete) RaiseDataEnds(file.Name);
  const std::int64_t size = FEntries.SeekCompressedData(entry);
  if (DecodedRoom(h) < 0) RaiseDataEnds(file.Name);
  file.Method = h.Method;
  file.Flag = h.Flag;
  file.Crc32 = h.Crc32;
  file.Size = h.UncompressedSize;
  if (h.Method == kMethodStored && size == 0) {
    // Stored with no data: right only for an empty file.
    if (h.UncompressedSize != 0) RaiseDataEnds(file.Name);
    CheckCrc(file.Name, h.Crc32, 0);
    file.Size = 0;
    file.Decoded = true;
    return;
  }
  file.MemorySize = MemoryFor(entry);
  file.Memory = FCache.Take(file.MemorySize);
  file.Cache = &FCache;
  file.InputSize = size;
  if (FZip.FArchiveStream->Read(file.Input(), size) != size) RaiseDataEnds(file.Name);
  FZip.FCurrentTotal = h.UncompressedSize;
  // The progress handler sees each piece as it is decoded, on this thread.
  if (FZip.OnDecompressFile)
    file.Decode([this](TObject* sender) { FZip.RelayDecompressProgress(sender); });
}

void TZipellaEntries::ExtractAll(const std::string& target) {
  CheckEntries(target);
  TExtraction(*this, target).Run();
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
  if (archive->Size() - archive->Position() < size) RaiseDataEnds(entry.CentralRecord.FileName);
  return size;
}
