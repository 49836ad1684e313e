// Winsock 1.1 (wsock32) for the probes' Windows edges, loaded from the system
// folder on first use and bound by name: wsock32 is no KnownDLL, and a static
// import is loaded from the program's folder before the program's first line.
#pragma once

#include <windows.h>
#include <winsock.h>

#include "rtl/SystemLibrary.h"

struct TWinsock11 {
  explicit TWinsock11(const TSystemLibrary& lib)
      : WSAStartup(lib.Function<decltype(&::WSAStartup)>("WSAStartup")),
        WSACleanup(lib.Function<decltype(&::WSACleanup)>("WSACleanup")),
        WSAGetLastError(lib.Function<decltype(&::WSAGetLastError)>("WSAGetLastError")),
        socket(lib.Function<decltype(&::socket)>("socket")),
        ioctlsocket(lib.Function<decltype(&::ioctlsocket)>("ioctlsocket")),
        connect(lib.Function<decltype(&::connect)>("connect")),
        shutdown(lib.Function<decltype(&::shutdown)>("shutdown")),
        closesocket(lib.Function<decltype(&::closesocket)>("closesocket")),
        inet_addr(lib.Function<decltype(&::inet_addr)>("inet_addr")),
        gethostname(lib.Function<decltype(&::gethostname)>("gethostname")),
        gethostbyname(lib.Function<decltype(&::gethostbyname)>("gethostbyname")),
        getservbyname(lib.Function<decltype(&::getservbyname)>("getservbyname")),
        ntohs(lib.Function<decltype(&::ntohs)>("ntohs")) {}

  decltype(&::WSAStartup) WSAStartup;
  decltype(&::WSACleanup) WSACleanup;
  decltype(&::WSAGetLastError) WSAGetLastError;
  decltype(&::socket) socket;
  decltype(&::ioctlsocket) ioctlsocket;
  decltype(&::connect) connect;
  decltype(&::shutdown) shutdown;
  decltype(&::closesocket) closesocket;
  decltype(&::inet_addr) inet_addr;
  decltype(&::gethostname) gethostname;
  decltype(&::gethostbyname) gethostbyname;
  decltype(&::getservbyname) getservbyname;
  decltype(&::ntohs) ntohs;
};

// The functions, bound once per process. Throws EOSError when wsock32 or one
// of them is missing; a later call tries again.
inline const TWinsock11& Winsock11() {
  static const TSystemLibrary library("wsock32.dll");
  static const TWinsock11 api(library);
  return api;
}
