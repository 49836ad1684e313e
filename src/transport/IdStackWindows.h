// The socket stack over Winsock 2, loaded at run time from "WS2_32.DLL"; its
// entry points are bound by name on their first call.
#pragma once

#include <string>

#include "transport/IdStack.h"

class TIdStackWindows : public TIdStackBSDBase {
 public:
  // Loads and starts the socket library once per process; any failure is
  // raised as EIdStackInitializationFailed with the cause's message.
  TIdStackWindows();

  std::string LookupHost(const std::string& host, TIdIPVersion version) override;
  TIdStackSocketHandle CreateSocket(int socketType, int protocol, TIdIPVersion version,
                                    bool overlapped) override;
  int SelectRead(const TIdSocketList& list, int timeout) override;
  int LastSocketError() override;

 protected:
  int WSBind(TIdStackSocketHandle socket, const TIdSockAddr& addr, int length) override;
  int WSConnect(TIdStackSocketHandle socket, const TIdSockAddr& addr, int length) override;
  int WSRecv(TIdStackSocketHandle socket, void* buffer, int length) override;
  int WSSend(TIdStackSocketHandle socket, const void* buffer, int length) override;
  int WSShutdown(TIdStackSocketHandle socket, int how) override;
  int WSCloseSocket(TIdStackSocketHandle socket) override;
  int WSGetSockOpt(TIdStackSocketHandle socket, int level, int optionName, int& value) override;
  int WSSetSockOpt(TIdStackSocketHandle socket, int level, int optionName, int value) override;
  int WSGetSockName(TIdStackSocketHandle socket, TIdSockAddr& addr) override;
  int WSGetPeerName(TIdStackSocketHandle socket, TIdSockAddr& addr) override;
};

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
