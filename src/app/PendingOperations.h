// The exe's operations until the probes, the HTTP client and the zip component
// are wired in: files and folders go to the real file system; every other
// operation raises, naming itself, so that nothing passes for done.
#pragma once

#include "app/InstallOperations.h"

class TPendingOperations : public IInstallOperations {
 public:
  std::vector<std::string> ListLogicalDrives() override;
  std::int64_t GetFreeDiskSpace(int drive) override;
  bool DirectoryExists(const std::string& path) override;
  bool FileExists(const std::string& path) override;
  bool CreateDir(const std::string& path) override;
  bool RemoveDir(const std::string& path) override;
  bool RemoveFile(const std::string& path) override;
  void SaveToFile(const TMemoryStream& stream, const std::string& path) override;
  std::vector<std::string> ListProcessNames() override;
  bool RunProgram(const std::string& commandLine) override;
  std::string LastRunError() override;
  std::string GetWinVersionName() override;
  bool TcpConnect(const std::string& host, const std::string& port) override;
  std::int64_t HttpGet(const std::string& url, TStream& body) override;
  std::vector<std::string> GetLocalIPs() override;
  TFormatSettings FormatSettings() override;
  std::unique_ptr<IZipArchive> CreateZipComponent(const TZipSettings& settings) override;
};
