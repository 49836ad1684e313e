// The component: opening and closing, its published properties and events.
#include "zip/Zipella.h"

#include <algorithm>

#include "rtl/FileSystem.h"

TZipellaEntriesEntry::TZipellaEntriesEntry(TCollection& collection) : TCollectionItem(collection) {}

TZipellaEntries& TZipellaEntriesEntry::Entries() const {
  return static_cast<TZipellaEntries&>(Collection());
}

TZipella::TZipella(TComponent* owner)
    : TComponent(owner), FEntries(std::make_unique<TZipellaEntries>(*this)) {}

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
    // A handler or the stream failed midway: leave nothing half open. Not a
    // scope guard, because closing raises OnZipChange, which may raise itself.
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

void TZipella::RelayDecompressProgress(TObject* sender) {
  if (!OnDecompressFile) return;
  auto* stream = dynamic_cast<TStream*>(sender);
  const std::int64_t current = stream != nullptr ? stream->Position() : 0;
  OnDecompressFile(this, static_cast<int>(current), static_cast<int>(FCurrentTotal));
}

void TZipella::SetCompressionType(TZipCompressionType value) {
  FCompressionType =
      value == TZipCompressionType::ctUnknown ? TZipCompressionType::ctNormal : value;
}

TStrings& TZipella::Comment() {
  FComment.Clear();
  if (FIsZipFile && FEndRecord.CommentLength > 0 && FArchiveStream) {
    std::string text(FEndRecord.CommentLength, '\0');
    FArchiveStream->SetPosition(FCommentPos);
    // A comment that the file cuts short gives what is there.
    text.resize(static_cast<std::size_t>(
        std::max<std::int64_t>(0, FArchiveStream->Read(text.data(), text.size()))));
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

void TZipella::ApplySettings(const TZipSettings& settings) {
  SetIsZipFile(settings.IsZipFile);
  SetSaveMethod(settings.SaveMethod);
  SetStoreRelativePath(settings.StoreRelativePath);
  SetStoreFolders(settings.StoreFolders);
  SetCompressionType(settings.CompressionType);
  SetUseTempFiles(settings.UseTempFiles);
  SetOverwriteAction(settings.OverwriteAction);
  SetComponentVersion(settings.ComponentVersion);
  SetReadOnly(settings.ReadOnly);
  SetApplyAtributes(settings.ApplyAtributes);
}

void ApplyMainWindowSettings(TZipella& zipella) { zipella.ApplySettings(MainWindowZipSettings()); }
