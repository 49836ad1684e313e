// The substitute operations' behaviour and their record of calls.
#include "FakeOperations.h"

#include "rtl/Exceptions.h"

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

void TFakeOperations::SaveToFile(const TMemoryStream& stream, const std::string& path) {
  Calls.push_back("save " + path);
  const auto bytes = stream.Bytes();
  if (SaveKeepsFile) Files[path] = std::string(bytes.begin(), bytes.end());
}

std::vector<std::string> TFakeOperations::ListProcessNames() {
  Calls.push_back("processes");
  RaiseIf(ProcessesRaise);
  return Processes;
}

bool TFakeOperations::RunProgram(const std::string& commandLine) {
  Calls.push_back("run");
  RunCommands.push_back(commandLine);
  RaiseIf(RunProgramRaises);
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

std::int64_t TFakeOperations::HttpGet(const std::string& url, TStream& body) {
  Calls.push_back("get " + url);
  Urls.push_back(url);
  RaiseIf(HttpRaises);
  body.WriteBuffer(Body.data(), static_cast<std::int64_t>(Body.size()));
  return Announced == -2 ? static_cast<std::int64_t>(Body.size()) : Announced;
}

std::vector<std::string> TFakeOperations::GetLocalIPs() {
  if (LocalIPsRaise) throw Exception("gethostbyname failed");
  return LocalIPs;
}

std::unique_ptr<IZipArchive> TFakeOperations::CreateZipComponent(const TZipSettings& settings) {
  ZipSettings = settings;
  return std::make_unique<TFakeZip>(*this);
}
