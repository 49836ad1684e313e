// The installer's operations over the real components: the system probes, the
// TCP reachability probe, the HTTP client and the zip component.
#pragma once

#include <memory>
#include <optional>

#include "app/InstallOperations.h"
#include "http/IdHTTPResume.h"
#include "probes/SystemProbes.h"

// A server that sends nothing for this long (ms) fails the download with the
// transport's "Read timed out."; without it a stalled server would hold the
// installer for ever.
inline constexpr int kPackageReadTimeoutMs = 30000;

class TSystemOperations : public IInstallOperations {
 public:
  // probes: the platform's own when null (natively, drive C: is the current folder).
  explicit TSystemOperations(std::unique_ptr<ISystemProbes> probes = nullptr);

  std::vector<std::string> ListLogicalDrives() override;
  std::int64_t GetFreeDiskSpace(int drive) override;
  bool DirectoryExists(const std::string& path) override;
  bool FileExists(const std::string& path) override;
  bool CreateDir(const std::string& path) override;
  bool RemoveDir(const std::string& path) override;
  bool RemoveFile(const std::string& path) override;
  bool CreateWorkingDir(const std::string& path) override;
  std::unique_ptr<TStream> SaveToFile(const TMemoryStream& stream,
                                      const std::string& path) override;
  std::optional<std::vector<TFolderEntry>> ListFolder(const std::string& path) override;
  bool RemoveEntry(const std::string& path, TEntryKind kind) override;
  std::vector<std::string> ListProcessNames() override;
  std::optional<std::uint32_t> RunProgram(const TProgramStart& start) override;
  std::string LastRunError() override;
  std::string GetWinVersionName() override;
  bool TcpConnect(const std::string& host, const std::string& port) override;
  std::string LastConnectError() override { return FLastConnectError; }
  std::int64_t HttpGet(const std::string& url, TMemoryStream& body, std::int64_t maxBody) override;
  std::int64_t HttpGetSized(const std::string& url, TMemoryStream& body, std::int64_t size,
                            TSha256Digest& digest) override;
  // Read from the system's settings once, on the first call.
  TProxyChoice ProxyFor(const std::string& host) override;
  void AttachMonitor(TOperationMonitor* monitor) override { FMonitor = monitor; }
  // Tests wait less than a user would.
  void SetReadTimeout(int milliseconds) { FReadTimeout = milliseconds; }
  void SetRetryOptions(const TIdRetryOptions& options) { FRetry = options; }
  // Stands in for the system's proxy settings.
  void SetProxySettings(const TSystemProxySettings& settings) { FProxySettings = settings; }
  std::vector<std::string> GetLocalIPs() override;
  TFormatSettings FormatSettings() override;
  std::unique_ptr<IZipArchive> CreateZipComponent(const TZipSettings& settings) override;

 private:
  std::unique_ptr<ISystemProbes> FProbes;
  std::string FLastRunError;
  std::string FLastConnectError;
  TOperationMonitor* FMonitor = nullptr;  // we don't own it
  int FReadTimeout = kPackageReadTimeoutMs;
  TIdRetryOptions FRetry;
  std::optional<TSystemProxySettings> FProxySettings;

  // GET with retries into body, at most its limit; expectedSize -1 fetches the
  // file again whole after a break.
  std::int64_t Fetch(const std::string& url, TIdLimitedMemoryStream& body,
                     std::int64_t expectedSize);
};
