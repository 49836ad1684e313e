// The system probes over the Win32 services: drive strings, free space for the
// caller, attributes, one-level folder calls, the toolhelp process snapshot and
// CreateProcessW.
#include <windows.h>
#include <tlhelp32.h>

#include <cstring>
#include <memory>

#include "probes/SystemProbes.h"
#include "rtl/FileSystem.h"
#include "rtl/Win32Text.h"

namespace {

using TCreateSnapshot = HANDLE(WINAPI*)(DWORD, DWORD);
using TProcessWalk = BOOL(WINAPI*)(HANDLE, PROCESSENTRY32*);

// The snapshot functions, looked up by name the first time they are needed.
struct TToolhelp {
  TCreateSnapshot CreateSnapshot = nullptr;
  TProcessWalk First = nullptr;
  TProcessWalk Next = nullptr;
  bool Available() const { return CreateSnapshot != nullptr; }
};

template <class T>
T Lookup(HMODULE module, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

const TToolhelp& Toolhelp() {
  static const TToolhelp functions = [] {
    TToolhelp t;
    const HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr) return t;
    t.CreateSnapshot = Lookup<TCreateSnapshot>(kernel, "CreateToolhelp32Snapshot");
    t.First = Lookup<TProcessWalk>(kernel, "Process32First");
    t.Next = Lookup<TProcessWalk>(kernel, "Process32Next");
    return t;
  }();
  return functions;
}

// Owns a kernel handle; closes it once. The invalid value is left alone.
struct TCloseHandle {
  void operator()(HANDLE handle) const noexcept {
    if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  }
};
using TScopedHandle = std::unique_ptr<void, TCloseHandle>;

std::string EntryName(const PROCESSENTRY32& entry) {
  return std::string(entry.szExeFile, ::strnlen(entry.szExeFile, sizeof entry.szExeFile));
}

// The program file, opened for reading with sharing that denies writes and
// deletion; INVALID_HANDLE_VALUE (with the system's reason) when it is missing
// or a link rather than a plain file.
HANDLE OpenProgramFile(const std::string& path) {
  const HANDLE h =
      ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return h;
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(h, &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    ::CloseHandle(h);
    ::SetLastError(ERROR_CANT_ACCESS_FILE);
    return INVALID_HANDLE_VALUE;
  }
  return h;
}

class TWin32SystemProbes : public ISystemProbes {
 public:
  std::vector<std::string> ListLogicalDrives() override {
    std::vector<std::string> roots;
    const DWORD need = ::GetLogicalDriveStringsA(0, nullptr);
    if (need == 0) return roots;
    std::vector<char> buffer(need + 1, '\0');
    ::GetLogicalDriveStringsA(need, buffer.data());
    std::size_t at = 0;
    while (at < need && buffer[at] != '\0') {
      const std::string root(buffer.data() + at);
      roots.push_back(root);
      at += root.size() + 1;
    }
    return roots;
  }

  std::int64_t GetFreeDiskSpace(int drive) override {
    std::string root;
    if (drive != kCurrentDrive)
      root = std::string(1, static_cast<char>('A' + drive - kDriveA)) + ":\\";
    ULARGE_INTEGER callerFree{};
    ULARGE_INTEGER total{};
    if (!::GetDiskFreeSpaceExA(drive == kCurrentDrive ? nullptr : root.c_str(), &callerFree, &total,
                               nullptr))
      return -1;
    return static_cast<std::int64_t>(callerFree.QuadPart);
  }

  bool DirectoryExists(const std::string& path) override { return ::DirectoryExists(path); }
  bool FileExists(const std::string& path) override { return ::FileExists(path); }
  bool CreateDirectory(const std::string& path) override { return ::CreateDir(path); }
  bool RemoveDirectory(const std::string& path) override { return ::RemoveDir(path); }
  bool DeleteFile(const std::string& path) override { return ::RemoveFile(path); }
  TPrivateDirResult CreatePrivateDirectory(const std::string& path) override {
    return ::CreatePrivateDir(path);
  }

  std::vector<std::string> ListProcessNames() override {
    std::vector<std::string> names;
    const TToolhelp& th = Toolhelp();
    if (!th.Available() || th.First == nullptr || th.Next == nullptr) return names;
    const TScopedHandle snapshot(th.CreateSnapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;  // the system's own size: 304 bytes in a 64-bit process
    if (th.First(snapshot.get(), &entry)) {
      names.push_back(EntryName(entry));
      while (th.Next(snapshot.get(), &entry)) names.push_back(EntryName(entry));
    }
    return names;
  }

  std::optional<std::vector<TFolderEntry>> ListFolder(const std::string& path) override {
    return ::ListFolder(path);
  }
  bool RemoveEntry(const std::string& path, TEntryKind kind) override {
    return ::RemoveEntry(path, kind);
  }

  std::optional<std::uint32_t> RunProgram(const TProgramStart& start) override {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_FORCEONFEEDBACK | STARTF_USESTDHANDLES;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION info{};
    // Held open, denying writes, from the check until the process has started:
    // nobody can swap the program in between. The same path is the process's
    // image, so the command line cannot name another file.
    const TScopedHandle program(OpenProgramFile(start.Application));
    if (program.get() == INVALID_HANDLE_VALUE) return std::nullopt;
    const std::wstring application = AnsiToWide(start.Application);
    const std::wstring folder = AnsiToWide(start.CurrentDir);
    // CreateProcessW may write into the command line, so it gets a copy of its own.
    std::wstring line = AnsiToWide(start.CommandLine);
    line.push_back(L'\0');
    // Its own folder as the current one: the program's library search never
    // reaches the folder this installer was started from.
    if (!::CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, FALSE,
                          NORMAL_PRIORITY_CLASS, nullptr, folder.empty() ? nullptr : folder.c_str(),
                          &startup, &info)) {
      return std::nullopt;
    }
    ::CloseHandle(info.hThread);
    const TScopedHandle process(info.hProcess);
    DWORD code = 0;
    if (::WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0 ||
        !::GetExitCodeProcess(process.get(), &code)) {
      return std::nullopt;
    }
    return static_cast<std::uint32_t>(code);
  }
};

}  // namespace

std::unique_ptr<ISystemProbes> CreateSystemProbes(const std::string& /*cDrive*/) {
  return std::make_unique<TWin32SystemProbes>();
}
