// Native substitute of the system probes: a drive map onto folders, POSIX file
// calls, process names from /proc, posix_spawn.
#include <dirent.h>
#include <spawn.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <fstream>

#include "probes/SystemProbes.h"
#include "rtl/FileSystem.h"

extern char** environ;

namespace {
std::string BaseName(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The executable's name: the link of /proc/PID/exe, else the kernel's short name.
std::string ProcessName(const std::string& pid) {
  std::vector<char> buffer(PATH_MAX + 1);
  const ssize_t n = ::readlink(("/proc/" + pid + "/exe").c_str(), buffer.data(), buffer.size() - 1);
  if (n > 0) return BaseName(std::string(buffer.data(), static_cast<std::size_t>(n)));
  std::ifstream comm("/proc/" + pid + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}
}  // namespace

TPosixSystemProbes::TPosixSystemProbes(std::map<char, std::string> drives)
    : FDrives(std::move(drives)) {}

std::string TPosixSystemProbes::MapPath(const std::string& path) const {
  if (path.size() < 2 || path[1] != ':' || !std::isalpha(static_cast<unsigned char>(path[0])))
    return path;
  const auto it =
      FDrives.find(static_cast<char>(std::toupper(static_cast<unsigned char>(path[0]))));
  if (it == FDrives.end()) return "/nonexistent-drive-" + std::string(1, path[0]) + "/";
  std::string rest = path.substr(2);
  for (char& c : rest) {
    if (c == '\\') c = '/';
  }
  if (!rest.empty() && rest[0] != '/') rest.insert(rest.begin(), '/');
  return it->second + rest;
}

std::vector<std::string> TPosixSystemProbes::ListLogicalDrives() {
  std::vector<std::string> roots;
  for (const auto& [letter, folder] : FDrives) {
    if (::DirectoryExists(folder)) roots.push_back(std::string(1, letter) + ":\\");
  }
  return roots;
}

std::int64_t TPosixSystemProbes::GetFreeDiskSpace(int drive) {
  std::string folder;
  if (drive == kCurrentDrive) {
    folder = GetCurrentDir();
  } else {
    const auto it = FDrives.find(static_cast<char>('A' + drive - kDriveA));
    if (drive < kCurrentDrive || drive > kDriveZ || it == FDrives.end()) return -1;
    folder = it->second;
  }
  struct statvfs st {};
  if (::statvfs(folder.c_str(), &st) != 0) return -1;
  // f_bavail counts what an unprivileged caller may use, as the quota-aware figure does.
  return static_cast<std::int64_t>(st.f_bavail) * static_cast<std::int64_t>(st.f_frsize);
}

bool TPosixSystemProbes::DirectoryExists(const std::string& path) {
  return ::DirectoryExists(MapPath(path));
}
bool TPosixSystemProbes::FileExists(const std::string& path) { return ::FileExists(MapPath(path)); }
bool TPosixSystemProbes::CreateDirectory(const std::string& path) {
  return ::CreateDir(MapPath(path));
}
bool TPosixSystemProbes::RemoveDirectory(const std::string& path) {
  return ::RemoveDir(MapPath(path));
}
bool TPosixSystemProbes::DeleteFile(const std::string& path) { return ::RemoveFile(MapPath(path)); }
TPrivateDirResult TPosixSystemProbes::CreatePrivateDirectory(const std::string& path) {
  return ::CreatePrivateDir(MapPath(path));
}

std::vector<std::string> TPosixSystemProbes::ListProcessNames() {
  std::vector<std::string> names;
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return names;
  while (const dirent* e = ::readdir(proc)) {
    const std::string pid = e->d_name;
    if (pid.empty() || !std::isdigit(static_cast<unsigned char>(pid[0]))) continue;
    const std::string name = ProcessName(pid);
    if (!name.empty()) names.push_back(name);
  }
  ::closedir(proc);
  return names;
}

std::optional<std::vector<TFolderEntry>> TPosixSystemProbes::ListFolder(const std::string& path) {
  return ::ListFolder(MapPath(path));
}
bool TPosixSystemProbes::RemoveEntry(const std::string& path, TEntryKind kind) {
  return ::RemoveEntry(MapPath(path), kind);
}

std::optional<std::uint32_t> TPosixSystemProbes::RunProgram(const TProgramStart& start) {
  std::vector<std::string> tokens = SplitCommandLine(start.CommandLine);
  if (tokens.empty()) tokens.push_back(start.Application);
  const std::string program = MapPath(start.Application);
  const std::string folder = MapPath(start.CurrentDir);
  std::vector<char*> argv;
  for (auto& t : tokens) argv.push_back(t.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  if (!folder.empty()) ::posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  pid_t pid = 0;
  // The program by its path, never along PATH; posix_spawn reports a program
  // that cannot be run as its result: keep it where callers look for the reason.
  const int rc = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    errno = rc;
    return std::nullopt;
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return std::nullopt;
  }
  // A signal ends the program as the shell reports it.
  if (WIFSIGNALED(status)) return 128 + static_cast<std::uint32_t>(WTERMSIG(status));
  return static_cast<std::uint32_t>(WEXITSTATUS(status));
}

std::unique_ptr<ISystemProbes> CreateSystemProbes(const std::string& cDrive) {
  return std::make_unique<TPosixSystemProbes>(
      std::map<char, std::string>{{'C', cDrive.empty() ? GetCurrentDir() : cDrive}});
}
