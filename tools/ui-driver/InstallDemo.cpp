// The installer's real windows over scripted operations, for the UI check of
// a whole run under Wine: every step succeeds, and the download takes a moment
// so that its progress and the animation can be seen. The package and its
// signature come from the folder TRAMELA_DEMO_PACKAGE names (signed with the
// development key by the test script), so that the real check passes.
#include <windows.h>

#include <cstdlib>
#include <map>
#include <set>

#include "app/Program.h"
#include "rtl/Threads.h"
#include "ui/Win32Platform.h"

namespace {

class TScriptedOperations : public IInstallOperations {
 public:
  std::vector<std::string> ListLogicalDrives() override { return {"C:\\", "D:\\"}; }
  // Over a thousand GiB, so that the log's free-space line shows the grouping.
  std::int64_t GetFreeDiskSpace(int) override { return std::int64_t{1234} << 30; }
  bool DirectoryExists(const std::string& path) override { return FDirs.count(path) != 0; }
  bool FileExists(const std::string& path) override { return FFiles.count(path) != 0; }
  bool CreateDir(const std::string& path) override { return FDirs.insert(path).second; }
  bool RemoveDir(const std::string& path) override { return FDirs.erase(path) != 0; }
  bool RemoveFile(const std::string& path) override { return FFiles.erase(path) != 0; }
  std::unique_ptr<TStream> SaveToFile(const TMemoryStream& stream,
                                      const std::string& path) override {
    FFiles[path] = static_cast<std::int64_t>(stream.Bytes().size());
    auto file = std::make_unique<TMemoryStream>();
    file->WriteBuffer(stream.Bytes());
    return file;
  }
  std::optional<std::vector<TFolderEntry>> ListFolder(const std::string& path) override {
    if (FDirs.count(path) == 0) return std::nullopt;
    std::vector<TFolderEntry> entries;
    const auto below = [&path](const std::string& p) {
      return p.size() > path.size() + 1 && p.compare(0, path.size() + 1, path + "\\") == 0 &&
             p.find('\\', path.size() + 1) == std::string::npos;
    };
    for (const std::string& d : FDirs)
      if (below(d)) entries.push_back({d.substr(path.size() + 1), TEntryKind::Folder});
    for (const auto& [f, size] : FFiles)
      if (below(f)) entries.push_back({f.substr(path.size() + 1), TEntryKind::File});
    return entries;
  }
  bool RemoveEntry(const std::string& path, TEntryKind kind) override {
    return kind == TEntryKind::Folder ? FDirs.erase(path) != 0 : FFiles.erase(path) != 0;
  }
  std::vector<std::string> ListProcessNames() override { return {"System", "explorer.exe"}; }
  std::optional<std::uint32_t> RunProgram(const TProgramStart&) override { return 0; }
  std::string LastRunError() override { return {}; }
  std::string GetWinVersionName() override { return "Windows 10 Pro"; }
  bool TcpConnect(const std::string&, const std::string&) override { return true; }
  bool CreateWorkingDir(const std::string& path) override { return FDirs.insert(path).second; }
  std::int64_t HttpGet(const std::string& url, TMemoryStream& body, std::int64_t maxBody) override {
    const char* folder = std::getenv("TRAMELA_DEMO_PACKAGE");
    const bool sig = url.size() > 4 && url.compare(url.size() - 4, 4, ".sig") == 0;
    if (!sig) ShowSlowTransfer();
    body.LoadFromFile(std::string(folder != nullptr ? folder : ".") + "/" +
                      (sig ? "TramelaCoreServer.zip.sig" : "TramelaCoreServer.zip"));
    if (body.Size() > maxBody) throw EDownloadTooLarge("The scripted body is longer than the cap.");
    return body.Size();
  }
  void AttachMonitor(TOperationMonitor* monitor) override { FMonitor = monitor; }
  std::vector<std::string> GetLocalIPs() override { return {"192.168.1.10"}; }
  // The system's own separators, so that a run under another locale shows them.
  TFormatSettings FormatSettings() override { return DefaultFormatSettings(); }
  std::unique_ptr<IZipArchive> CreateZipComponent(const TZipSettings&) override {
    return std::make_unique<TScriptedZip>();
  }

 private:
  // 2.5 s of a 24 MB transfer for the progress line to show.
  void ShowSlowTransfer() {
    constexpr std::int64_t kShownSize = std::int64_t{24} << 20;
    constexpr int kSteps = 25;
    if (FMonitor != nullptr) FMonitor->Begin(TProgressUnit::Bytes, kShownSize);
    for (int i = 1; i <= kSteps; ++i) {
      SleepMs(100);
      if (FMonitor == nullptr) continue;
      FMonitor->CheckCancel();
      FMonitor->Advance(kShownSize * i / kSteps);
    }
  }

  class TScriptedZip : public IZipArchive {
   public:
    void SetFileName(const std::string&) override {}
    void SetActive(bool active) override { FOpen = active; }
    bool Active() const override { return FOpen; }
    bool IsZipFile() const override { return FOpen; }
    void LoadArchive(std::unique_ptr<TStream>) override { FOpen = true; }
    void ExtractAll(const std::string&) override {}
    std::int64_t UncompressedTotal() const override { return 2; }
    void AttachMonitor(TOperationMonitor*) override {}

   private:
    bool FOpen = false;
  };
  std::set<std::string> FDirs;
  std::map<std::string, std::int64_t> FFiles;
  TOperationMonitor* FMonitor = nullptr;  // we don't own it
};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  TWin32Platform platform(instance);
  TScriptedOperations operations;
  return TramelaMain(platform, operations);
}
