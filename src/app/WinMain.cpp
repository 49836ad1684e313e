// The installer's entry on Windows: the Win32 window system and the system's operations.
#include <windows.h>

#include "app/Program.h"
#include "app/SystemOperations.h"
#include "rtl/SystemLibrary.h"
#include "ui/Win32Platform.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // Before anything can load a module: the process runs elevated from a
  // folder others can write to, and only the system folder may supply one.
  RestrictLibrarySearch();
  TWin32Platform platform(instance);
  TSystemOperations operations;
  return TramelaMain(platform, operations);
}
