// The zip component TZipella: opens an archive, reads its directory into a list
// of entries and writes the entries below a folder. Files go through the rtl's
// file edge; zlib stays behind ZLib.h.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "rtl/Component.h"
#include "rtl/DateTime.h"
#include "rtl/Exceptions.h"
#include "rtl/Streams.h"
#include "rtl/Strings.h"
#include "zip/ZipellaFormat.h"
#include "zip/ZipellaSettings.h"

// Damaged or hostile entries that cannot be written safely; the message names
// the entry as stored.
class EZipellaError : public Exception {
  using Exception::Exception;
};

// Events; Sender is always the component.
using TOnZipOpen = std::function<void(TObject* Sender, int Current, int Total)>;
using TOnDecompressFile = std::function<void(TObject* Sender, int Current, int Total)>;
using TOnExtractFile = std::function<void(TObject* Sender, int Current, int Total)>;
using TOnCompressFile = std::function<void(TObject* Sender, int Current, int Total)>;
using TOnRebuildZip = std::function<void(TObject* Sender, int Current, int Total)>;
using TOnRemoveItems = std::function<void(TObject* Sender, int Current, int Total)>;
using TOnZipChange = std::function<void(TObject* Sender, int ChangeType)>;
using TOnAddItem = std::function<void(TObject* Sender, const std::string& ItemName)>;
using TOnOverwriteFile =
    std::function<void(TObject* Sender, std::string& FileName, TOverwriteAction& Action)>;

// A local file header, then its name, extra field and (filled only while an
// entry is extracted) its compressed data.
struct TLocalFile {
  TLocalFileHeader Header{};
  std::string FileName;
  std::string ExtraField;
  std::string CompressedData;
};

// A central directory record, then its name, extra field and file comment.
struct TCentralDirectoryFile {
  TCentralDirectoryHeader Header{};
  std::string FileName;
  std::string ExtraField;
  std::string FileComment;
  std::uint32_t Length() const {
    return static_cast<std::uint32_t>(sizeof(Header) + FileName.size() + ExtraField.size() +
                                      FileComment.size());
  }
};

class TZipella;
class TZipellaEntries;

class TZipellaEntriesEntry : public TCollectionItem {
 public:
  explicit TZipellaEntriesEntry(TCollection& collection);
  TZipellaEntries& Entries() const;

  // Places the prepared input of the entry in memory (for a deflated entry a
  // 2-byte zlib header, then the compressed bytes); answers the bytes placed.
  // Raises EZipellaError when the local header is missing or the data is cut short.
  std::int64_t LoadCompressedData(TMemoryStream& memory);

  TCentralDirectoryFile CentralRecord;
  TLocalFile LocalRecord;
  bool Encrypted = false;
  bool IsDirectory = false;
  TDateTime Modified = 0;
  TZipCompressionType CompressionType = TZipCompressionType::ctUnknown;
  // Set by the recovery scan for an entry whose data the stream cuts short.
  bool Incomplete = false;
  // Set when opening finds the entry's local header or data inside another's.
  bool SharesData = false;
};

class TZipellaEntries : public TCollection {
 public:
  explicit TZipellaEntries(TZipella& zipella) : FZipella(zipella) {}

  TZipellaEntriesEntry& Entry(int index) const {
    return static_cast<TZipellaEntriesEntry&>(Items(index));
  }
  TZipella& Zipella() const { return FZipella; }
  bool Parsed() const { return FParsed; }

  // The reading steps of opening.
  void ReadArchive(TStream& stream);
  [[nodiscard]] bool LocateEndRecord(TStream& stream);
  [[nodiscard]] bool ReadCentralDirectory(TStream& stream);
  void CheckLocalHeaders(TStream& stream);
  [[nodiscard]] bool RecoverFromLocalHeaders(TStream& stream);
  // Reads the local header at offset with its name and extra field, leaving the
  // stream at the entry's data. False (record cleared) when no complete local
  // header is there.
  [[nodiscard]] static bool ReadLocalRecord(TStream& stream, std::int64_t offset,
                                            TLocalFile& record);

  // The writing step: every entry below target, in entry order.
  void ExtractAll(const std::string& target);
  // Reads the entry's local header and answers the length of its compressed
  // data, at which the archive then stands. Raises EZipellaError when the
  // header is missing or the archive ends before the data does.
  std::int64_t SeekCompressedData(TZipellaEntriesEntry& entry);

 private:
  // Where an entry's local header starts and its data ends.
  struct TExtent {
    std::int64_t Start, End;
    int Index;
  };
  // One run of ExtractAll: its folders, its files in flight and its pool.
  class TExtraction;
  TZipellaEntriesEntry& AddEntry(TCentralDirectoryFile record);
  void MarkSharedData(std::vector<TExtent>& extents);
  // Raises EZipellaError naming the first entry that must not be written below target.
  void CheckEntries(const std::string& target) const;
  void RecoverEntry(TStream& stream, std::int64_t offset, TLocalFile& local, std::int64_t& next);

  TZipella& FZipella;  // we don't own it: it owns us
  bool FParsed = false;
};

class TZipella : public TComponent {
 public:
  explicit TZipella(TComponent* owner = nullptr);
  ~TZipella() override;

  // Closes whatever is open, then opens the file and reads its directory. A
  // missing file raises Exception "File \"path\" not found!", one that cannot be
  // opened EFOpenError. A file that is no zip archive leaves the component closed.
  void Open(const std::string& path);
  void Close();
  // Takes stream as the archive and reads its directory. The archive is read
  // through a TReadBufferStream; a caller may pass one of its own choosing.
  void LoadArchive(std::unique_ptr<TStream> stream);
  // Writes every entry below the folder target; raises on the first failing entry.
  // Names, paths and shared data of all entries are checked before the first is written.
  void ExtractAll(const std::string& target);
  // The sum of the files' uncompressed sizes: the most that extraction writes.
  std::int64_t UncompressedTotal() const;

  // Name mapping of a stored name: "dir/sub/a.txt" gives "dir\sub\" and "a.txt".
  static std::string EntryFileName(std::string_view storedName);
  static std::string EntryFolder(std::string_view storedName);

  // Progress handler of the decoding stream.
  void RelayDecompressProgress(TObject* sender);
  // A flag that, once set, ends extraction with EAbort: looked at between
  // entries, while waiting for the file work, and while entries are decoded
  // off the calling thread. Not owned; none by default.
  void SetStopFlag(const std::atomic<bool>* flag) { FStopFlag = flag; }

  const TZipellaEntries& Entries() const { return *FEntries; }
  TZipellaEntries& Entries() { return *FEntries; }
  TStream* ArchiveStream() const { return FArchiveStream.get(); }
  const TZipEndRecord& EndRecord() const { return FEndRecord; }
  std::uint32_t EndRecordPos() const { return FEndRecordPos; }
  std::uint32_t CommentPos() const { return FCommentPos; }
  std::int64_t CurrentTotal() const { return FCurrentTotal; }

  // Takes every published setting at once but Active, which opens or closes
  // the archive: a caller that has one open keeps it open.
  void ApplySettings(const TZipSettings& settings);

  // Published properties.
  const std::string& FileName() const { return FFileName; }
  void SetFileName(std::string value) { FFileName = std::move(value); }
  bool IsZipFile() const { return FIsZipFile; }
  void SetIsZipFile(bool) {}  // stored with forms; assigning does nothing
  TZipSaveMethod SaveMethod() const { return FSaveMethod; }
  void SetSaveMethod(TZipSaveMethod value) { FSaveMethod = value; }
  bool StoreRelativePath() const { return FStoreRelativePath; }
  void SetStoreRelativePath(bool value) { FStoreRelativePath = value; }
  bool StoreFolders() const { return FStoreFolders; }
  void SetStoreFolders(bool value) { FStoreFolders = value; }
  TZipCompressionType CompressionType() const { return FCompressionType; }
  void SetCompressionType(TZipCompressionType value);
  // The archive comment's lines (empty when closed).
  TStrings& Comment();
  // Every entry's mapped folder and file name, in directory order.
  TStrings& FileNames();
  bool UseTempFiles() const { return FUseTempFiles; }
  void SetUseTempFiles(bool value) { FUseTempFiles = value; }
  TOverwriteAction OverwriteAction() const { return FOverwriteAction; }
  void SetOverwriteAction(TOverwriteAction value) { FOverwriteAction = value; }
  std::string ComponentVersion() const { return "2.0"; }
  void SetComponentVersion(const std::string&) {}  // stored with forms; assigning does nothing
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool value) { FReadOnly = value; }
  bool ApplyAtributes() const { return FApplyAtributes; }
  void SetApplyAtributes(bool value) { FApplyAtributes = value; }
  bool Active() const { return FIsZipFile; }
  // Does nothing while FileName is empty; otherwise opens FileName or closes.
  void SetActive(bool value);

  // Before each piece of a deflated entry's input, on the calling thread: the
  // bytes decoded so far and the entry's size. While one is set, entries are
  // decoded one after another on the calling thread; without one, on up to as
  // many threads as the machine has cores.
  TOnDecompressFile OnDecompressFile;
  // Before each entry that extraction writes: its number from 1 and the count of entries.
  TOnExtractFile OnExtractFile;
  TOnCompressFile OnCompressFile;  // archive writing only: never raised here
  TOnZipChange OnZipChange;        // 0 on close, 1 after a reading
  TOnZipOpen OnZipOpen;            // per directory record while reading
  TOnAddItem OnAddItem;            // archive writing only
  TOnRebuildZip OnRebuildZip;      // archive writing only
  TOnRemoveItems OnRemoveItems;    // archive writing only
  TOnOverwriteFile OnOverwriteFile;

 protected:
  virtual void NotifyChange(int changeType);

 private:
  friend class TZipellaEntries;
  friend class TZipellaEntriesEntry;

  std::unique_ptr<TZipellaEntries> FEntries;
  bool FNamesStale = true;
  std::uint32_t FEndRecordPos = 0;
  TZipEndRecord FEndRecord{};
  std::uint32_t FCommentPos = 0;
  TStringList FComment;
  bool FIsZipFile = false;
  std::string FFileName;
  TStringList FFileNames;
  TZipSaveMethod FSaveMethod = TZipSaveMethod::FastSave;
  bool FStoreRelativePath = true;
  TZipCompressionType FCompressionType = TZipCompressionType::ctMaximum;
  std::int64_t FCurrentTotal = 0;
  bool FUseTempFiles = false;
  bool FStoreFolders = true;
  TOverwriteAction FOverwriteAction = TOverwriteAction::oaSkip;
  bool FReadOnly = false;
  bool FApplyAtributes = true;
  std::unique_ptr<TReadBufferStream> FArchiveStream;
  const std::atomic<bool>* FStopFlag = nullptr;  // we don't own it
};

// Applies MainWindowZipSettings(): the window does so right after creating the
// component, before any FileName.
void ApplyMainWindowSettings(TZipella& zipella);
