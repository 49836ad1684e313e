// The program's start: the application with its title, the main window, then
// the notice window, and the event loop until the end is requested.
#pragma once

#include "app/InstallOperations.h"
#include "ui/Platform.h"

inline constexpr const char* kApplicationTitle = "Tramela-Namestitev CS";

int TramelaMain(IPlatform& platform, IInstallOperations& operations);
