// Loading of system modules at run time, from the system folder only. The
// installer runs elevated from a folder others can write to (Downloads, a
// share), so no module may come from the program's folder, the current
// directory or PATH. Windows build only; every run-time load goes through here.
#pragma once

#include <windows.h>

#include <string>

// Limits every later library search of the process to the system folder:
// SetDefaultDllDirectories where the system has it, else SetDllDirectoryW(L"")
// takes the current directory out and the loads below use full paths. The
// program's first statement; LoadSystemLibrary runs it too before its first
// load, so a load from a static initialiser is covered as well. Runs once.
void RestrictLibrarySearch();

// The module NAME (a bare file name such as "bcrypt.dll") from the system
// folder, or from the side-by-side assembly the process's manifest binds it
// to (comctl32 version 6). Null with the last error set when it is missing;
// the system shows no "module not found" box. A name current Windows does not
// ship is simply not found: the search never leaves the system folder.
HMODULE LoadSystemLibrary(const char* name);

// The same for systems without the search flags (Windows 7 without its
// update): the full path in the system folder, or the bare name only where
// the activation context redirects it, which the system resolves before any
// search. LoadSystemLibrary takes this way by itself where it must.
HMODULE LoadSystemLibraryByPath(const char* name);

// The exported function NAME of MODULE as F; null when either is missing.
template <class F>
F SystemProc(HMODULE module, const char* name) {
  return module == nullptr
             ? nullptr
             : reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

// One system module, loaded when made and kept until the process ends, with
// its functions bound by name.
class TSystemLibrary {
 public:
  // Throws EOSError naming the module with the system's text when it cannot be loaded.
  explicit TSystemLibrary(const char* name);
  TSystemLibrary(const TSystemLibrary&) = delete;
  TSystemLibrary& operator=(const TSystemLibrary&) = delete;

  HMODULE Handle() const noexcept { return FModule; }

  // Throws EOSError naming the module and the function when it is not exported.
  template <class F>
  F Function(const char* name) const {
    return reinterpret_cast<F>(reinterpret_cast<void*>(RequireProc(name)));
  }

 private:
  FARPROC RequireProc(const char* name) const;
  std::string FName;
  HMODULE FModule;
};
