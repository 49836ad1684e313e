// Substitute system operations: a small in-memory drive C:, processes, network
// and zip component, each able to fail or raise on demand. Tests read the
// outcome from the drive, the programs started and the requests made.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/HalvexConst.h"
#include "app/InstallOperations.h"

inline constexpr std::int64_t kGiB = std::int64_t{1} << 30;

// Reports a step at 3 of 10, waits for the monitor's cancel request and raises
// EAbort, as the client's abortable waits do.
void StallUntilCancel(TOperationMonitor* monitor, TProgressUnit unit);

class TFakeOperations : public IInstallOperations {
 public:
  // Settings.
  std::vector<std::string> Drives{"A:\\", "C:\\", "D:\\"};
  std::int64_t FreeBytes = 120 * kGiB + 4 * kGiB / 10;
  std::set<std::string> Directories;
  std::map<std::string, std::string> Files;
  bool CreateDirFails = false;
  bool RemoveDirFails = false;
  std::string CreateDirRaises;  // non-empty: the message of an Exception
  std::string DrivesRaise;
  std::string FreeSpaceRaises;
  std::vector<std::string> Processes{"System", "explorer.exe"};
  std::string ProcessesRaise;
  bool RunProgramStarts = true;
  std::string RunProgramRaises;
  std::uint32_t SetupExitCode = 0;
  int SetupMs = 0;  // how long the setup runs
  std::string RunError = "The system cannot find the file specified.";
  std::string WinVersion = "Windows 7 Professional";
  std::string WinVersionRaises;
  bool Reachable = true;
  // What the system's proxy settings name for the distribution host.
  TProxyChoice Proxy;
  // The reason an unreachable probe gives (a look-up past its limit).
  std::string ConnectError;
  // The one server that answers a connect.
  std::string ServerAddress = std::string(DistributionHost) + ":" + DistributionPort;
  // The package and its signature file (the fixture puts signed ones in).
  std::string Body = "PK-package";
  std::int64_t Announced = -2;  // -2: the body's own length
  std::string HttpRaises;
  std::string Sig;
  std::int64_t SigAnnounced = -2;
  std::string SigRaises;
  // Called at each GET before it answers (a peer acting meanwhile).
  std::function<void(const std::string& url)> OnGet;
  std::string WorkingDirRaises;
  // A transfer that stalls until the run is cancelled (then EAbort, as the
  // client's abortable waits raise), for at most a few seconds.
  bool HttpStallsUntilCancel = false;
  // A probe that cannot be stopped: it answers "not reachable" only once the run is cancelled.
  bool TcpStallsUntilCancel = false;
  // Takes the download over when set (a real client against a test server).
  std::function<std::int64_t(const std::string& url, TMemoryStream& body, std::int64_t maxBody)>
      HttpHandler;
  bool ExtractStallsUntilCancel = false;
  bool SaveKeepsFile = true;  // false: the package file is missing afterwards
  // Changes the bytes SaveToFile stores (a drive or filter that writes other data).
  std::function<void(const std::string& path, std::string& stored)> SaveAlters;
  // A write to this path leaves half the file and raises.
  std::string SaveFailsFor;
  // Links by path, to what they point at (which the drive may hold too).
  std::map<std::string, std::string> Links;
  // Paths that cannot be removed.
  std::set<std::string> Stuck;
  std::vector<std::string> LocalIPs{"192.168.1.10", "10.0.0.5"};
  bool LocalIPsRaise = false;
  TFormatSettings Settings{",", "."};
  // The zip component.
  bool PackageIsZip = true;
  std::string ExtractRaises;
  int ExtractFailsAt = -1;  // the entry, from 0, whose write fails
  std::map<std::string, std::string> PackageEntries{
      {"Install\\Firebird-2.1.3.18185_0_Win32.exe", "MZ"}};
  std::int64_t PackageUncompressed = -1;  // -1: the entries' own sizes
  // Any exception, raised by the call of that name: "connect", "get", "extract",
  // "processes", "run".
  std::map<std::string, std::exception_ptr> Throws;

  // Record.
  std::vector<std::string> RunCommands;
  std::vector<TProgramStart> RunStarts;
  std::vector<std::string> Urls;
  std::vector<std::int64_t> BodyCaps;  // the cap of each GET
  int FreeSpaceReadings = 0;
  bool ZipOpen = false;
  // What the zip component read as the archive, and how often it read a directory.
  std::string ZipArchive;
  int ZipDirectoryReadings = 0;
  // The path of the file SaveToFile answered while its stream lives: it cannot be removed.
  std::string HeldFile;

  std::vector<std::string> ListLogicalDrives() override;
  std::int64_t GetFreeDiskSpace(int drive) override;
  bool DirectoryExists(const std::string& path) override { return Directories.count(path) != 0; }
  bool FileExists(const std::string& path) override { return Files.count(path) != 0; }
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
  std::string LastRunError() override { return RunError; }
  std::string GetWinVersionName() override;
  bool TcpConnect(const std::string& host, const std::string& port) override;
  TProxyChoice ProxyFor(const std::string& /*host*/) override { return Proxy; }
  std::string LastConnectError() override { return Reachable ? "" : ConnectError; }
  std::int64_t HttpGet(const std::string& url, TMemoryStream& body, std::int64_t maxBody) override;
  std::vector<std::string> GetLocalIPs() override;
  TFormatSettings FormatSettings() override { return Settings; }
  std::unique_ptr<IZipArchive> CreateZipComponent(const TZipSettings& settings) override;
  void AttachMonitor(TOperationMonitor* monitor) override { Monitor = monitor; }

  TZipSettings ZipSettings;
  TOperationMonitor* Monitor = nullptr;     // we don't own it
  TOperationMonitor* ZipMonitor = nullptr;  // the zip component's; we don't own it
  void ThrowIfSet(const std::string& call) const;
  // Writes a file as extraction does, making the folders above it that are missing.
  void WriteExtracted(const std::string& path, const std::string& data);
  // Every file, folder and link on the drive, by path.
  std::set<std::string> Everything() const;
};
