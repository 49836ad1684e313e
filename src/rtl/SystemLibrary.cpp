// The system-folder loader; see SystemLibrary.h.
#include "rtl/SystemLibrary.h"

#include "rtl/Exceptions.h"
#include "rtl/FileSystem.h"
#include "rtl/Win32Text.h"

namespace {

using TSetDefaultDllDirectories = BOOL(WINAPI*)(DWORD);

// Looked up by name: Windows 7 has it only with its update.
bool LimitSearchToSystemFolder() {
  const auto setDefault = SystemProc<TSetDefaultDllDirectories>(::GetModuleHandleW(L"kernel32.dll"),
                                                                "SetDefaultDllDirectories");
  if (setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32) != 0) return true;
  // Without it the current directory at least leaves the search; the
  // program's folder stays in it, so every load here names a full path.
  ::SetDllDirectoryW(L"");
  return false;
}

// Whether LOAD_LIBRARY_SEARCH_SYSTEM32 is in force; decided on the first call.
bool SearchFlagsInForce() {
  static const bool inForce = LimitSearchToSystemFolder();
  return inForce;
}

// A bare file name only: a path would choose the folder itself.
bool IsBareName(const std::wstring& name) {
  return !name.empty() && name.find_first_of(L"\\/:") == std::wstring::npos;
}

// No "module not found" box for this thread's load; the caller sees the error.
class TQuietLoad {
 public:
  TQuietLoad() {
    ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &FPrevious);
  }
  ~TQuietLoad() {
    const DWORD error = ::GetLastError();
    ::SetThreadErrorMode(FPrevious, nullptr);
    ::SetLastError(error);
  }
  TQuietLoad(const TQuietLoad&) = delete;
  TQuietLoad& operator=(const TQuietLoad&) = delete;

 private:
  DWORD FPrevious = 0;
};

HMODULE LoadByPath(const std::wstring& name) {
  ACTCTX_SECTION_KEYED_DATA redirection{};
  redirection.cbSize = sizeof redirection;
  // The manifest's assembly (comctl32 version 6) is found before any folder
  // is searched; a full path would bypass it and bind the old version.
  if (::FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION,
                                 name.c_str(), &redirection) != 0) {
    return ::LoadLibraryW(name.c_str());
  }
  wchar_t folder[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  const std::wstring path = std::wstring(folder, length) + L"\\" + name;
  // The module's own imports are then looked for beside it, in the system folder.
  return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

HMODULE LoadQuietly(const char* name, bool byPath) {
  const std::wstring wide = Utf8ToWide(name);
  if (!IsBareName(wide)) {
    ::SetLastError(ERROR_INVALID_NAME);
    return nullptr;
  }
  const bool flags = SearchFlagsInForce();
  const TQuietLoad quiet;
  return flags && !byPath ? ::LoadLibraryExW(wide.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)
                          : LoadByPath(wide);
}

}  // namespace

void RestrictLibrarySearch() { static_cast<void>(SearchFlagsInForce()); }

HMODULE LoadSystemLibrary(const char* name) { return LoadQuietly(name, false); }

HMODULE LoadSystemLibraryByPath(const char* name) { return LoadQuietly(name, true); }

TSystemLibrary::TSystemLibrary(const char* name) : FName(name), FModule(LoadSystemLibrary(name)) {
  if (FModule == nullptr) {
    const DWORD error = ::GetLastError();
    throw EOSError(FName + ": " + SysErrorMessage(error), error);
  }
}

FARPROC TSystemLibrary::RequireProc(const char* name) const {
  const FARPROC proc = ::GetProcAddress(FModule, name);
  if (proc == nullptr) {
    const DWORD error = ::GetLastError();
    throw EOSError(FName + " (" + name + "): " + SysErrorMessage(error), error);
  }
  return proc;
}
