// The concrete I/O handler over the socket stack: connect (with an optional
// time-out on its own thread), wait, receive, send, notice a peer close.
#pragma once

#include "transport/IdIOHandlerSocket.h"

class TIdIOHandlerStack : public TIdIOHandlerSocket {
 public:
  explicit TIdIOHandlerStack(TComponent* owner = nullptr);

  void ConnectToPeer() override;
  bool Connected() override;
  bool WaitReadable(int timeout) override;

 protected:
  // The host's address. The look-up runs on a thread of its own, so that the
  // abort flag and the look-up limit end the wait even while the resolver hangs.
  std::string ResolveHost(const std::string& host, TIdIPVersion version);
  // Connects on a thread of its own, abandoning it after timeout ms (-1: no limit).
  void ConnectWithTimeout(int timeout);
  int ReadDataFromSource(std::uint8_t* buffer, int length) override;
  int WriteDataToTarget(const TIdBytes& buffer, int offset, int length) override;
};
