// A library as someone else might leave it beside the installer, for the
// planting test: each copy is named after the module it impersonates, and
// whatever process loads it writes "<its own path>.loaded" holding the path of
// that process's program. It exports nothing, so an import bound to it fails.
#include <windows.h>

namespace {

constexpr DWORD kPathCapacity = 32768;

void WriteMarker(HINSTANCE self) {
  static wchar_t path[kPathCapacity + 8];
  static wchar_t program[kPathCapacity];
  const DWORD length = ::GetModuleFileNameW(self, path, kPathCapacity);
  if (length == 0 || length >= kPathCapacity) return;
  ::lstrcatW(path, L".loaded");
  const DWORD programLength = ::GetModuleFileNameW(nullptr, program, kPathCapacity);
  const HANDLE file =
      ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  ::WriteFile(file, program, programLength * sizeof(wchar_t), &written, nullptr);
  ::CloseHandle(file);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) WriteMarker(self);
  return TRUE;
}
