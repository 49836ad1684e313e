// The installer's entry on Windows: the Win32 window system and the system's operations.
#include <windows.h>

#include "app/Program.h"
#include "app/SystemOperations.h"
#include "ui/Win32Platform.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  TWin32Platform platform(instance);
  TSystemOperations operations;
  return TramelaMain(platform, operations);
}
