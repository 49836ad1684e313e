// The socket stack over Winsock 2, loaded at run time from "WS2_32.DLL"; its
// entry points are bound by name on their first call. The stack class itself
// is private to IdStackWindows.cpp, made through CreatePlatformStack.
#pragma once

#include <string>

#include "transport/IdStack.h"

// Loading and unloading; internal to the stack, open to its tests.
void LoadSocketLibrary();
void LoadAddressInfoFunctions();
void UnloadSocketLibrary();
bool SocketLibraryStarted();
// Switches to the built-in IPv4-only getaddrinfo family, as when the system lacks one.
void UseBuiltInAddressInfo();
bool UsingBuiltInAddressInfo();
// The module loaded as the socket library ("WS2_32.DLL"); tests name a missing one.
void SetSocketLibraryName(std::string name);
