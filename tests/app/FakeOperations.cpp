// The substitute operations' behaviour.
#include "FakeOperations.h"

#include <chrono>
#include <stdexcept>
#include <thread>

#include "rtl/Exceptions.h"
#include "rtl/Text.h"

namespace {
void RaiseIf(const std::string& message) {
  if (!message.empty()) throw Exception(message);
}

class TFakeZip : public IZipArchive {
 public:
  explicit TFakeZip(TFakeOperations& ops) : FOps(ops) {}
  void SetFileName(const std::string& fileName) override { FFileName = fileName; }
  void SetActive(bool active) override {
    if (FFileName.empty()) return;
    if (!active) {
      FOps.ZipOpen = false;
      FArchive.reset();
      return;
    }
    FOps.ZipOpen = false;
    if (!FOps.FileExists(FFileName)) throw EFOpenError("Cannot open file \"" + FFileName + "\"");
    FOps.ZipOpen = FOps.PackageIsZip;
  }
  bool Active() const override { return FOps.ZipOpen; }
  bool IsZipFile() const override { return FOps.ZipOpen; }
  void AttachMonitor(TOperationMonitor* monitor) override { FOps.ZipMonitor = monitor; }
  void LoadArchive(std::unique_ptr<TStream> stream) override {
    ++FOps.ZipDirectoryReadings;
    FOps.ZipArchive.clear();
    FOps.ZipArchive.resize(static_cast<std::size_t>(stream->Size()));
    stream->SetPosition(0);
    stream->ReadBuffer(FOps.ZipArchive.data(), static_cast<std::int64_t>(FOps.ZipArchive.size()));
    FOps.ZipOpen = FOps.PackageIsZip;
    // Held until closed, as the real component holds its archive.
    if (FOps.ZipOpen) FArchive = std::move(stream);
  }
  void ExtractAll(const std::string& target) override {
    RaiseIf(FOps.ExtractRaises);
    FOps.ThrowIfSet("extract");
    if (FOps.ExtractStallsUntilCancel) {
      // One entry is out before the stall, as a real extraction would have it.
      const auto first = FOps.PackageEntries.begin();
      if (first != FOps.PackageEntries.end())
        FOps.WriteExtracted(target + first->first, first->second);
      StallUntilCancel(FOps.ZipMonitor, TProgressUnit::Files);
    }
    if (!FOps.ZipOpen) return;
    int index = 0;
    for (const auto& [name, data] : FOps.PackageEntries) {
      if (index++ == FOps.ExtractFailsAt) throw EWriteError("CRC error in " + name);
      FOps.WriteExtracted(target + name, data);
    }
  }
  std::int64_t UncompressedTotal() const override {
    if (FOps.PackageUncompressed >= 0) return FOps.PackageUncompressed;
    std::int64_t total = 0;
    for (const auto& entry : FOps.PackageEntries)
      total += static_cast<std::int64_t>(entry.second.size());
    return total;
  }

 private:
  TFakeOperations& FOps;
  std::string FFileName;
  std::unique_ptr<TStream> FArchive;
};

// The saved package as its handle reads it; the file counts as open while it lives.
class THeldFile : public TMemoryStream {
 public:
  explicit THeldFile(std::string& held, const std::string& path) : FHeld(held) { FHeld = path; }
  ~THeldFile() override { FHeld.clear(); }
  THeldFile(const THeldFile&) = delete;
  THeldFile& operator=(const THeldFile&) = delete;

 private:
  std::string& FHeld;
};
}  // namespace

std::vector<std::string> TFakeOperations::ListLogicalDrives() {
  RaiseIf(DrivesRaise);
  return Drives;
}

std::int64_t TFakeOperations::GetFreeDiskSpace(int drive) {
  ++FreeSpaceReadings;
  RaiseIf(FreeSpaceRaises);
  // Only drive C: has room; any other reads as unreadable.
  return drive == kDriveC ? FreeBytes : -1;
}

bool TFakeOperations::CreateDir(const std::string& path) {
  RaiseIf(CreateDirRaises);
  if (CreateDirFails || Directories.count(path) != 0) return false;
  Directories.insert(path);
  return true;
}

bool TFakeOperations::RemoveDir(const std::string& path) {
  if (RemoveDirFails) return false;
  return Directories.erase(path) != 0;
}

bool TFakeOperations::RemoveFile(const std::string& path) {
  // As on Windows, a file open without delete sharing cannot be removed.
  if (path == HeldFile) return false;
  return Stuck.count(path) == 0 && Files.erase(path) != 0;
}

bool TFakeOperations::CreateWorkingDir(const std::string& path) {
  RaiseIf(WorkingDirRaises);
  return Directories.insert(path).second;
}

std::unique_ptr<TStream> TFakeOperations::SaveToFile(const TMemoryStream& stream,
                                                     const std::string& path) {
  // As on a real drive, a file needs its folder.
  const std::size_t slash = path.rfind('\\');
  if (slash != std::string::npos && Directories.count(path.substr(0, slash)) == 0) {
    throw EFCreateError("Cannot create file \"" + path +
                        "\". The system cannot find the path specified.");
  }
  const auto bytes = stream.Bytes();
  if (path == SaveFailsFor) {
    Files[path] =
        std::string(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 2));
    throw EWriteError("Cannot write file \"" + path + "\". There is not enough space on the disk.");
  }
  std::string stored(bytes.begin(), bytes.end());
  if (SaveAlters) SaveAlters(path, stored);
  // The file as it reads back through its handle: what was stored.
  auto file = std::make_unique<THeldFile>(HeldFile, path);
  file->WriteBuffer(stored.data(), static_cast<std::int64_t>(stored.size()));
  if (SaveKeepsFile) Files[path] = std::move(stored);
  return file;
}

namespace {
// The last part of path when it lies directly in folder, else empty.
std::string NameIn(const std::string& folder, const std::string& path) {
  if (path.size() <= folder.size() + 1 || path.compare(0, folder.size(), folder) != 0 ||
      path[folder.size()] != '\\' || path.find('\\', folder.size() + 1) != std::string::npos)
    return {};
  return path.substr(folder.size() + 1);
}
}  // namespace

std::optional<std::vector<TFolderEntry>> TFakeOperations::ListFolder(const std::string& path) {
  if (Directories.count(path) == 0 || Links.count(path) != 0) return std::nullopt;
  std::vector<TFolderEntry> entries;
  const auto add = [&](const std::string& p, TEntryKind kind) {
    const std::string name = NameIn(path, p);
    if (!name.empty()) entries.push_back({name, kind});
  };
  for (const auto& d : Directories) add(d, TEntryKind::Folder);
  for (const auto& [f, data] : Files) add(f, TEntryKind::File);
  for (const auto& [l, target] : Links) add(l, TEntryKind::Link);
  return entries;
}

bool TFakeOperations::RemoveEntry(const std::string& path, TEntryKind kind) {
  if (Stuck.count(path) != 0 || path == HeldFile) return false;
  switch (kind) {
    case TEntryKind::File:
      return Files.erase(path) != 0;
    case TEntryKind::Link:
      return Links.erase(path) != 0;
    case TEntryKind::Folder:
      break;
  }
  // Only an empty folder goes, as on a real drive.
  const auto within = [&path](const std::string& p) {
    return p.size() > path.size() && p.compare(0, path.size() + 1, path + "\\") == 0;
  };
  for (const std::string& p : Everything())
    if (within(p)) return false;
  return Directories.erase(path) != 0;
}

void TFakeOperations::WriteExtracted(const std::string& path, const std::string& data) {
  for (std::size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
    Directories.insert(path.substr(0, at));
  Files[path] = data;
}

std::set<std::string> TFakeOperations::Everything() const {
  std::set<std::string> all(Directories);
  for (const auto& [f, data] : Files) all.insert(f);
  for (const auto& [l, target] : Links) all.insert(l);
  return all;
}

std::vector<std::string> TFakeOperations::ListProcessNames() {
  RaiseIf(ProcessesRaise);
  ThrowIfSet("processes");
  return Processes;
}

std::optional<std::uint32_t> TFakeOperations::RunProgram(const TProgramStart& start) {
  RunCommands.push_back(start.CommandLine);
  RunStarts.push_back(start);
  RaiseIf(RunProgramRaises);
  ThrowIfSet("run");
  if (!RunProgramStarts) return std::nullopt;
  std::this_thread::sleep_for(std::chrono::milliseconds(SetupMs));
  return SetupExitCode;
}

std::string TFakeOperations::GetWinVersionName() {
  RaiseIf(WinVersionRaises);
  return WinVersion;
}

bool TFakeOperations::TcpConnect(const std::string& host, const std::string& port) {
  ThrowIfSet("connect");
  if (TcpStallsUntilCancel) {
    try {
      StallUntilCancel(Monitor, TProgressUnit::None);
    } catch (const EAbort&) {
      return false;
    }
  }
  return Reachable && host + ":" + port == ServerAddress;
}

// Answers as the real client with its cap does: an announced length past the
// cap is refused before the body, a body past it ends with what fitted.
std::int64_t TFakeOperations::HttpGet(const std::string& url, TMemoryStream& body,
                                      std::int64_t maxBody) {
  Urls.push_back(url);
  BodyCaps.push_back(maxBody);
  if (OnGet) OnGet(url);
  const bool sig = url.size() > 4 && url.compare(url.size() - 4, 4, ".sig") == 0;
  RaiseIf(sig ? SigRaises : HttpRaises);
  ThrowIfSet("get");
  if (HttpHandler && !sig) return HttpHandler(url, body, maxBody);
  const std::string& content = sig ? Sig : Body;
  const std::int64_t size = static_cast<std::int64_t>(content.size());
  const std::int64_t announced =
      (sig ? SigAnnounced : Announced) == -2 ? size : (sig ? SigAnnounced : Announced);
  if (announced > maxBody) {
    throw EDownloadTooLarge(
        Format("The server announces %d bytes; at most %d are accepted.", {announced, maxBody}));
  }
  if (HttpStallsUntilCancel && !sig) {
    body.WriteBuffer(content.data(), std::min(size, maxBody) / 2);
    StallUntilCancel(Monitor, TProgressUnit::Bytes);
  }
  body.WriteBuffer(content.data(), std::min(size, maxBody));
  if (size > maxBody)
    throw EDownloadTooLarge(Format("The response body runs past %d bytes.", {maxBody}));
  return announced;
}

void StallUntilCancel(TOperationMonitor* monitor, TProgressUnit unit) {
  if (monitor == nullptr) throw std::logic_error("no monitor attached to stall on");
  if (unit != TProgressUnit::None) {
    monitor->Begin(unit, 10);
    monitor->Advance(3);
  }
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!monitor->CancelRequested()) {
    if (std::chrono::steady_clock::now() > giveUp)
      throw std::logic_error("the stalled operation was never cancelled");
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  monitor->CheckCancel();
}

std::vector<std::string> TFakeOperations::GetLocalIPs() {
  if (LocalIPsRaise) throw Exception("gethostbyname failed");
  return LocalIPs;
}

std::unique_ptr<IZipArchive> TFakeOperations::CreateZipComponent(const TZipSettings& settings) {
  ZipSettings = settings;
  return std::make_unique<TFakeZip>(*this);
}

void TFakeOperations::ThrowIfSet(const std::string& call) const {
  const auto it = Throws.find(call);
  if (it != Throws.end()) std::rethrow_exception(it->second);
}
