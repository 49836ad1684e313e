#include "transport/IdSocketHandle.h"

#include <mutex>

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
  if (FHandle != Id_INVALID_SOCKET) FReadSet.Remove(FHandle);
  FHandle = handle;
  FSocketHeld = handle != Id_INVALID_SOCKET;
  if (!FSocketHeld) {
    FSocketType = 0;
    return;
  }
  FReadSet.Add(handle);
  FSocketType = GStack().GetSocketOption(handle, Id_SOL_SOCKET, Id_SO_TYPE);
  if (FSocketType == Id_SOCK_STREAM) {
    FUseNagle = GStack().GetSocketOption(handle, Id_IPPROTO_TCP, Id_TCP_NODELAY) == 0;
  }
}

void TIdSocketHandle::AllocateHandle(int socketType, int protocol) {
  ReleaseHandle();
  const TIdStackSocketHandle handle =
      GStack().CreateSocket(socketType, protocol, FIPVersion, FOverlapped);
  try {
    SetHandle(handle);
  } catch (...) {
    // The option read-back failed: do not leak the fresh socket.
    GStack().ShutdownAndClose(handle);
    FReadSet.Remove(handle);
    FHandle = Id_INVALID_SOCKET;
    FSocketHeld = false;
    throw;
  }
}

bool TIdSocketHandle::TryBind(std::uint16_t port) {
  try {
    GStack().BindSocket(FHandle, FIP, port, FIPVersion);
  } catch (const EIdSocketError&) {
    return false;
  }
  ReadLocalAddress();
  return true;
}

void TIdSocketHandle::ReadLocalAddress() {
  const auto local = GStack().GetSocketName(FHandle);
  FIP = local.IP;
  FPort = local.Port;
}

void TIdSocketHandle::BindLocal() {
  GStack().SetSocketOption(FHandle, Id_SOL_SOCKET, Id_SO_REUSEADDR, FReuseSocket == rsTrue ? 1 : 0);
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
  GStack().ConnectSocket(handle, FTargetIP, FTargetPort, FIPVersion);
  std::lock_guard guard(FConnectionLock);
  // Another thread may have released the handle to abandon this connect.
  if (!FSocketHeld) return;
  const auto local = GStack().GetSocketName(FHandle);
  FIP = local.IP;
  FPort = local.Port;
  FIPVersion = local.IPVersion;
  const auto peer = GStack().GetPeerName(FHandle);
  FTargetIP = peer.IP;
  FTargetPort = peer.Port;
  FIPVersion = peer.IPVersion;
}

bool TIdSocketHandle::WaitReadable(int timeout) {
  if (timeout == -1) timeout = -2;
  if (!FSocketHeld) throw EIdConnClosedGracefully();
  return GStack().SelectRead(FReadSet, timeout < 0 ? -2 : timeout) > 0;
}

int TIdSocketHandle::Receive(TIdBytes& buffer) { return GStack().ReceiveBytes(FHandle, buffer); }

int TIdSocketHandle::Receive(void* buffer, int length) {
  return GStack().ReceiveBuffer(FHandle, buffer, length);
}

int TIdSocketHandle::Send(const TIdBytes& buffer, int count, int offset) {
  return GStack().SendBytes(FHandle, buffer, count, offset);
}

void TIdSocketHandle::ReleaseHandle() {
  if (!FSocketHeld) return;
  std::lock_guard guard(FConnectionLock);
  FSocketHeld = false;
  GStack().ShutdownAndClose(FHandle);
  SetHandle(Id_INVALID_SOCKET);
}

void TIdSocketHandle::Reset(bool resetLocal) {
  SetHandle(Id_INVALID_SOCKET);
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
  if (FSocketHeld && FSocketType == Id_SOCK_STREAM) {
    GStack().SetSocketOption(FHandle, Id_IPPROTO_TCP, Id_TCP_NODELAY, FUseNagle ? 0 : 1);
  }
}
