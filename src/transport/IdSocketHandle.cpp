#include "transport/IdSocketHandle.h"

#include <mutex>

#include "rtl/ScopeExit.h"
#include "rtl/Text.h"

TIdSocketHandle::TIdSocketHandle() { Reset(true); }

TIdSocketHandle::~TIdSocketHandle() {
  try {
    ReleaseHandle();
  } catch (...) {
    // A destructor never throws; the socket is gone either way.
  }
}

void TIdSocketHandle::SetHandle(TIdStackSocketHandle handle) {
  if (FHandle != kInvalidSocket) FReadSet.Remove(FHandle);
  FHandle = handle;
  FSocketHeld = handle != kInvalidSocket;
  if (!FSocketHeld) {
    FSocketType = 0;
    return;
  }
  FReadSet.Add(handle);
  FSocketType = CurrentStack().GetSocketOption(handle, kSolSocket, kSoType);
  if (FSocketType == kSockStream) {
    FUseNagle = CurrentStack().GetSocketOption(handle, kIpProtoTcp, kTcpNoDelay) == 0;
  }
}

void TIdSocketHandle::AllocateHandle(int socketType, int protocol) {
  ReleaseHandle();
  const TIdStackSocketHandle handle =
      CurrentStack().CreateSocket(socketType, protocol, FIPVersion, FOverlapped);
  bool held = false;
  // The option read-back may fail: the fresh socket is not leaked then.
  const auto release = ScopeExit([&] {
    if (held) return;
    CurrentStack().ShutdownAndClose(handle);
    FReadSet.Remove(handle);
    FHandle = kInvalidSocket;
    FSocketHeld = false;
  });
  SetHandle(handle);
  held = true;
}

bool TIdSocketHandle::TryBind(std::uint16_t port) {
  try {
    CurrentStack().BindSocket(FHandle, FIP, port, FIPVersion);
  } catch (const EIdSocketError&) {
    return false;
  }
  ReadLocalAddress();
  return true;
}

void TIdSocketHandle::ReadLocalAddress() {
  const auto local = CurrentStack().GetSocketName(FHandle);
  FIP = local.IP;
  FPort = local.Port;
}

void TIdSocketHandle::BindLocal() {
  CurrentStack().SetSocketOption(FHandle, kSolSocket, kSoReuseAddr, FReuseSocket == rsTrue ? 1 : 0);
  if (FPort != 0 || FClientPortMin == 0 || FClientPortMax == 0) {
    if (!TryBind(FPort)) throw EIdCouldNotBindSocket();
    return;
  }
  if (FClientPortMax < FClientPortMin) {
    throw EIdInvalidPortRange(Format(kMsgInvalidPortRange, {FClientPortMin, FClientPortMax}));
  }
  for (int port = FClientPortMax; port >= FClientPortMin; --port) {
    if (TryBind(static_cast<std::uint16_t>(port))) return;
  }
  throw EIdCanNotBindPortInRange(Format(kMsgCannotBindRange, {FClientPortMin, FClientPortMax}));
}

void TIdSocketHandle::SetPeer(const std::string& ip, std::uint16_t port, TIdIPVersion version) {
  FTargetIP = ip;
  FTargetPort = port;
  FIPVersion = version;
}

void TIdSocketHandle::ConnectPeer() {
  TIdStackSocketHandle handle;
  {
    // A timed connect runs on its own thread while the caller may release the handle.
    std::lock_guard guard(FConnectionLock);
    handle = FHandle;
  }
  CurrentStack().ConnectSocket(handle, FTargetIP, FTargetPort, FIPVersion);
  std::lock_guard guard(FConnectionLock);
  // Another thread may have released the handle to abandon this connect.
  if (!FSocketHeld) return;
  const auto local = CurrentStack().GetSocketName(FHandle);
  FIP = local.IP;
  FPort = local.Port;
  FIPVersion = local.IPVersion;
  const auto peer = CurrentStack().GetPeerName(FHandle);
  FTargetIP = peer.IP;
  FTargetPort = peer.Port;
  FIPVersion = peer.IPVersion;
}

bool TIdSocketHandle::WaitReadable(int timeout) {
  if (timeout == -1) timeout = -2;
  if (!FSocketHeld) throw EIdConnClosedGracefully();
  return CurrentStack().SelectRead(FReadSet, timeout < 0 ? -2 : timeout) > 0;
}

int TIdSocketHandle::Receive(TIdBytes& buffer) {
  return CurrentStack().ReceiveBytes(FHandle, buffer);
}

int TIdSocketHandle::Receive(void* buffer, int length) {
  return CurrentStack().ReceiveBuffer(FHandle, buffer, length);
}

int TIdSocketHandle::Send(const TIdBytes& buffer, int count, int offset) {
  return CurrentStack().SendBytes(FHandle, buffer, count, offset);
}

void TIdSocketHandle::ReleaseHandle() {
  if (!FSocketHeld) return;
  std::lock_guard guard(FConnectionLock);
  FSocketHeld = false;
  CurrentStack().ShutdownAndClose(FHandle);
  SetHandle(kInvalidSocket);
}

void TIdSocketHandle::Reset(bool resetLocal) {
  SetHandle(kInvalidSocket);
  if (resetLocal) {
    FIP.clear();
    FPort = 0;
  }
  FTargetIP.clear();
  FTargetPort = 0;
  FIPVersion = Id_IPv4;
}

void TIdSocketHandle::SetIPVersion(TIdIPVersion value) {
  if (value == FIPVersion) return;
  if (FSocketHeld) throw EIdCannotSetIPVersionWhenConnected();
  FIPVersion = value;
}

void TIdSocketHandle::SetUseNagle(bool value) {
  if (value == FUseNagle) return;
  FUseNagle = value;
  if (FSocketHeld && FSocketType == kSockStream) {
    CurrentStack().SetSocketOption(FHandle, kIpProtoTcp, kTcpNoDelay, FUseNagle ? 0 : 1);
  }
}
