// One socket with its local and remote address, owned by an I/O handler;
// every operation goes to the process-wide stack.
#pragma once

#include <cstdint>
#include <string>

#include "rtl/Component.h"
#include "transport/IdStack.h"

class TIdSocketHandle : public TObject {
 public:
  TIdSocketHandle();
  ~TIdSocketHandle() override;

  void AllocateHandle(int socketType = kSockStream, int protocol = 0);
  // Binds to IP:Port, or into ClientPortMin..ClientPortMax tried from the top.
  void BindLocal();
  // Sets the remote address without any check.
  void SetPeer(const std::string& ip, std::uint16_t port, TIdIPVersion version);
  void ConnectPeer();
  // Timeout in ms; -1 and -2 wait without limit. Raises EIdConnClosedGracefully without a socket.
  bool WaitReadable(int timeout);
  int Receive(TIdBytes& buffer);
  int Receive(void* buffer, int length);
  int Send(const TIdBytes& buffer, int count = -1, int offset = 0);
  // Shuts down and closes a held socket; harmless without one.
  void ReleaseHandle();
  void Reset(bool resetLocal = true);

  TIdStackSocketHandle Handle() const { return FHandle; }
  bool SocketHeld() const { return FSocketHeld; }
  int SocketType() const { return FSocketType; }

  std::uint16_t ClientPortMin() const { return FClientPortMin; }
  void SetClientPortMin(std::uint16_t value) { FClientPortMin = value; }
  std::uint16_t ClientPortMax() const { return FClientPortMax; }
  void SetClientPortMax(std::uint16_t value) { FClientPortMax = value; }
  const std::string& IP() const { return FIP; }
  void SetIP(std::string value) { FIP = std::move(value); }
  std::uint16_t Port() const { return FPort; }
  void SetPort(std::uint16_t value) { FPort = value; }
  const std::string& TargetIP() const { return FTargetIP; }
  std::uint16_t TargetPort() const { return FTargetPort; }
  TIdIPVersion IPVersion() const { return FIPVersion; }
  // Raises EIdCannotSetIPVersionWhenConnected for a change while a socket is held.
  void SetIPVersion(TIdIPVersion value);
  bool Overlapped() const { return FOverlapped; }
  void SetOverlapped(bool value) { FOverlapped = value; }
  bool BroadcastEnabled() const { return FBroadcastEnabled; }
  void SetBroadcastEnabled(bool value) { FBroadcastEnabled = value; }
  bool UseNagle() const { return FUseNagle; }
  void SetUseNagle(bool value);
  TIdReuseSocket ReuseSocket() const { return FReuseSocket; }
  void SetReuseSocket(TIdReuseSocket value) { FReuseSocket = value; }

 private:
  void SetHandle(TIdStackSocketHandle handle);
  [[nodiscard]] bool TryBind(std::uint16_t port);
  void ReadLocalAddress();

  TIdStackUse FStackUse;  // the stack outlives every handle
  std::uint16_t FClientPortMin = 0;
  std::uint16_t FClientPortMax = 0;
  TIdStackSocketHandle FHandle = kInvalidSocket;
  bool FSocketHeld = false;
  std::string FIP;
  std::string FTargetIP;
  std::uint16_t FPort = 0;
  std::uint16_t FTargetPort = 0;
  TIdSocketList FReadSet;
  int FSocketType = 0;
  bool FOverlapped = false;
  TIdIPVersion FIPVersion = Id_IPv4;
  // Keeps a connect thread's address read-back apart from a close on another thread.
  TIdCriticalSection FConnectionLock;
  bool FBroadcastEnabled = false;
  bool FUseNagle = true;
  TIdReuseSocket FReuseSocket = rsOSDependent;
};
