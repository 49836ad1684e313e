#include "app/PendingOperations.h"

#include "rtl/Exceptions.h"
#include "rtl/FileSystem.h"

namespace {
[[noreturn]] void NotWired(const char* operation) {
  throw Exception(std::string(operation) + ": not available in this build");
}

class TPendingZip : public IZipArchive {
 public:
  void SetFileName(const std::string&) override {}
  void SetActive(bool active) override {
    if (active) NotWired("TZipella.Open");
  }
  bool Active() const override { return false; }
  bool IsZipFile() const override { return false; }
  void Open(const std::string&) override { NotWired("TZipella.Open"); }
  void ExtractAll(const std::string&) override { NotWired("TZipella.ExtractAll"); }
};
}  // namespace

std::vector<std::string> TPendingOperations::ListLogicalDrives() { NotWired("ListLogicalDrives"); }
std::int64_t TPendingOperations::GetFreeDiskSpace(int) { NotWired("GetFreeDiskSpace"); }
bool TPendingOperations::DirectoryExists(const std::string& path) { return ::DirectoryExists(path); }
bool TPendingOperations::FileExists(const std::string& path) { return ::FileExists(path); }
bool TPendingOperations::CreateDir(const std::string& path) { return ::CreateDir(path); }
bool TPendingOperations::RemoveDir(const std::string& path) { return ::RemoveDir(path); }
bool TPendingOperations::RemoveFile(const std::string& path) { return ::RemoveFile(path); }
void TPendingOperations::SaveToFile(const TMemoryStream& stream, const std::string& path) { stream.SaveToFile(path); }
std::vector<std::string> TPendingOperations::ListProcessNames() { NotWired("ListProcessNames"); }
bool TPendingOperations::RunProgram(const std::string&) { NotWired("RunProgram"); }
std::string TPendingOperations::LastRunError() { return {}; }
std::string TPendingOperations::GetWinVersionName() { NotWired("GetWinVersionName"); }
bool TPendingOperations::TcpConnect(const std::string&, const std::string&) { NotWired("TTcpClient.Connect"); }
std::int64_t TPendingOperations::HttpGet(const std::string&, TStream&) { NotWired("TIdHTTP.Get"); }
std::vector<std::string> TPendingOperations::GetLocalIPs() { NotWired("THalvexNetwork.GetLocalIPs"); }
TFormatSettings TPendingOperations::FormatSettings() { return DefaultFormatSettings(); }
std::unique_ptr<IZipArchive> TPendingOperations::CreateZipComponent(const TZipSettings&) {
  return std::make_unique<TPendingZip>();
}
