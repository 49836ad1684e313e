// The substitute operations' behaviour and their record of calls.
#include "FakeOperations.h"

#include "rtl/Exceptions.h"
#include "rtl/Text.h"

namespace {
void RaiseIf(const std::string& message) {
  if (!message.empty()) throw Exception(message);
}

class TFakeZip : public IZipArchive {
 public:
  explicit TFakeZip(TFakeOperations& ops) : FOps(ops) {}
  void SetFileName(const std::string& fileName) override {
    FFileName = fileName;
    FOps.Calls.push_back("zip FileName " + fileName);
  }
  void SetActive(bool active) override {
    FOps.Calls.push_back(active ? "zip Active True" : "zip Active False");
    if (FFileName.empty()) return;
    if (active) Open(FFileName); else FOps.ZipOpen = false;
  }
  bool Active() const override { return FOps.ZipOpen; }
  bool IsZipFile() const override { return FOps.ZipOpen; }
  void Open(const std::string& fileName) override {
    FOps.Calls.push_back("zip Open " + fileName);
    FOps.ZipOpen = false;
    if (!FOps.FileExists(fileName)) throw EFOpenError("Cannot open file \"" + fileName + "\"");
    FOps.ZipOpen = FOps.PackageIsZip;
  }
  void ExtractAll(const std::string& target) override {
    FOps.Calls.push_back("zip ExtractAll " + target);
    RaiseIf(FOps.ExtractRaises);
    FOps.ThrowIfSet("extract");
    if (!FOps.ZipOpen) return;
    for (const auto& [name, data] : FOps.PackageEntries) FOps.Files[target + name] = data;
  }
  std::int64_t UncompressedTotal() const override {
    if (FOps.PackageUncompressed >= 0) return FOps.PackageUncompressed;
    std::int64_t total = 0;
    for (const auto& entry : FOps.PackageEntries) total += static_cast<std::int64_t>(entry.second.size());
    return total;
  }

 private:
  TFakeOperations& FOps;
  std::string FFileName;
};
}  // namespace

std::vector<std::string> TFakeOperations::ListLogicalDrives() {
  RaiseIf(DrivesRaise);
  return Drives;
}

std::int64_t TFakeOperations::GetFreeDiskSpace(int drive) {
  Calls.push_back("free " + std::to_string(drive));
  ++FreeSpaceReadings;
  RaiseIf(FreeSpaceRaises);
  return FreeBytes;
}

bool TFakeOperations::CreateDir(const std::string& path) {
  Calls.push_back("mkdir " + path);
  RaiseIf(CreateDirRaises);
  if (CreateDirFails || Directories.count(path) != 0) return false;
  Directories.insert(path);
  return true;
}

bool TFakeOperations::RemoveDir(const std::string& path) {
  Calls.push_back("rmdir " + path);
  if (RemoveDirFails) return false;
  return Directories.erase(path) != 0;
}

bool TFakeOperations::RemoveFile(const std::string& path) {
  Calls.push_back("delete " + path);
  return Files.erase(path) != 0;
}

bool TFakeOperations::CreateWorkingDir(const std::string& path) {
  Calls.push_back("mkdir private " + path);
  RaiseIf(WorkingDirRaises);
  return Directories.insert(path).second;
}

void TFakeOperations::SaveToFile(const TMemoryStream& stream, const std::string& path) {
  Calls.push_back("save " + path);
  const auto bytes = stream.Bytes();
  if (SaveKeepsFile) Files[path] = std::string(bytes.begin(), bytes.end());
}

std::vector<std::string> TFakeOperations::ListProcessNames() {
  Calls.push_back("processes");
  RaiseIf(ProcessesRaise);
  ThrowIfSet("processes");
  return Processes;
}

bool TFakeOperations::RunProgram(const std::string& commandLine) {
  Calls.push_back("run");
  RunCommands.push_back(commandLine);
  RaiseIf(RunProgramRaises);
  ThrowIfSet("run");
  return RunProgramStarts;
}

std::string TFakeOperations::GetWinVersionName() {
  RaiseIf(WinVersionRaises);
  return WinVersion;
}

bool TFakeOperations::TcpConnect(const std::string& host, const std::string& port) {
  Calls.push_back("connect " + host + ":" + port);
  return Reachable;
}

// Answers as the real client with its cap does: an announced length past the
// cap is refused before the body, a body past it ends with what fitted.
std::int64_t TFakeOperations::HttpGet(const std::string& url, TMemoryStream& body, std::int64_t maxBody) {
  Calls.push_back("get " + url);
  Urls.push_back(url);
  BodyCaps.push_back(maxBody);
  if (OnGet) OnGet(url);
  const bool sig = url.size() > 4 && url.compare(url.size() - 4, 4, ".sig") == 0;
  RaiseIf(sig ? SigRaises : HttpRaises);
  ThrowIfSet("get");
  const std::string& content = sig ? Sig : Body;
  const std::int64_t size = static_cast<std::int64_t>(content.size());
  const std::int64_t announced = (sig ? SigAnnounced : Announced) == -2 ? size : (sig ? SigAnnounced : Announced);
  if (announced > maxBody) {
    throw EDownloadTooLarge(Format("The server announces %d bytes; at most %d are accepted.", {announced, maxBody}));
  }
  body.WriteBuffer(content.data(), std::min(size, maxBody));
  if (size > maxBody) throw EDownloadTooLarge(Format("The response body runs past %d bytes.", {maxBody}));
  return announced;
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
