// The socket stack over BSD sockets. Platform errors are mapped by meaning
// onto Winsock's codes, so the user sees the same numbers and texts as on Windows.
#pragma once

#include "transport/IdStack.h"

// A getaddrinfo failure (the platform's EAI_* value) -> BSD resolver number of
// the resolver table; 0 for EAI_SYSTEM.
int BsdResolverCode(int platformCode);

class TIdStackPosix : public TIdStackBSDBase {
 public:
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
