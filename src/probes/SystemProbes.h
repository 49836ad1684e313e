// The installer's view of the local machine: drives, free space, file and
// folder tests and changes, running processes, starting a program. Each answers
// a value and raises nothing. TWin32SystemProbes (Windows build) calls the
// system; TPosixSystemProbes (native build) maps drive letters onto folders.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "rtl/FileSystem.h"

// Drives by number, as the system's free-space call counts them.
inline constexpr int kCurrentDrive = 0;
inline constexpr int kDriveA = 1;
inline constexpr int kDriveC = 3;
inline constexpr int kDriveZ = 26;

// A program to run: the file it is, the command line it receives, and the
// folder it starts in.
struct TProgramStart {
  std::string Application;  // the program's full path; never looked up along a search path
  std::string CommandLine;
  std::string CurrentDir;
};

class ISystemProbes {
 public:
  virtual ~ISystemProbes() = default;
  // Drive roots such as "C:\", in the system's order.
  virtual std::vector<std::string> ListLogicalDrives() = 0;
  // Free bytes for the caller (honouring quotas) on a drive by number (kDriveC),
  // or kCurrentDrive; -1 when it cannot be read.
  virtual std::int64_t GetFreeDiskSpace(int drive) = 0;
  virtual bool DirectoryExists(const std::string& path) = 0;
  virtual bool FileExists(const std::string& path) = 0;
  virtual bool CreateDirectory(const std::string& path) = 0;  // one level; False if it exists
  virtual bool RemoveDirectory(const std::string& path) = 0;  // must be empty
  virtual bool DeleteFile(const std::string& path) = 0;
  // A new folder only other users cannot change (CreatePrivateDir).
  virtual TPrivateDirResult CreatePrivateDirectory(const std::string& path) = 0;
  // A folder's entries and the removal of one, links never followed (rtl's ListFolder).
  virtual std::optional<std::vector<TFolderEntry>> ListFolder(const std::string& path) = 0;
  virtual bool RemoveEntry(const std::string& path, TEntryKind kind) = 0;
  // Executable names of the running processes, as the system writes them.
  virtual std::vector<std::string> ListProcessNames() = 0;
  // Starts the program and waits for its end: its exit code, or none when it
  // could not be started (the system's reason in GetLastOSError). The program
  // must be a plain file, not a link, and is held so that nobody can change it
  // between that check and its start.
  virtual std::optional<std::uint32_t> RunProgram(const TProgramStart& start) = 0;
};

// The probes of the platform this program was built for. Natively, drive C:
// is the folder cDrive (the current folder when empty).
std::unique_ptr<ISystemProbes> CreateSystemProbes(const std::string& cDrive = std::string());

#ifndef _WIN32
// Native substitute: a drive map from letters to folders. Paths such as
// "C:\Tramela\x" become "<folder of C:>/Tramela/x"; other paths pass unchanged.
class TPosixSystemProbes : public ISystemProbes {
 public:
  explicit TPosixSystemProbes(std::map<char, std::string> drives);

  std::vector<std::string> ListLogicalDrives() override;
  std::int64_t GetFreeDiskSpace(int drive) override;
  bool DirectoryExists(const std::string& path) override;
  bool FileExists(const std::string& path) override;
  bool CreateDirectory(const std::string& path) override;
  bool RemoveDirectory(const std::string& path) override;
  bool DeleteFile(const std::string& path) override;
  TPrivateDirResult CreatePrivateDirectory(const std::string& path) override;
  std::optional<std::vector<TFolderEntry>> ListFolder(const std::string& path) override;
  bool RemoveEntry(const std::string& path, TEntryKind kind) override;
  std::vector<std::string> ListProcessNames() override;
  std::optional<std::uint32_t> RunProgram(const TProgramStart& start) override;

  // The native path a drive path stands for.
  std::string MapPath(const std::string& path) const;

 private:
  std::map<char, std::string> FDrives;
};
#endif

// Splits a command line into its tokens: blanks separate, double quotes group,
// as the Windows command-line convention has it for simple cases.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);
