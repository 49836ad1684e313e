// The reachability probe over its platform edge; see Sockets.h.
#include "probes/Sockets.h"

#include "probes/SocketsEdge.h"
#include "rtl/AbandonableCall.h"
#include "rtl/Text.h"

// ---------------------------------------------------------------- TBaseSocket

TBaseSocket::TBaseSocket(TComponent* owner) : TComponent(owner) {}

TBaseSocket::~TBaseSocket() {
  // Each class closes what it opened; this level only holds the handle.
  TBaseSocket::Deactivate();
}

void TBaseSocket::SetActive(bool value) {
  if (value == FActive) return;
  if (FLoading) {
    FActive = value;
    return;
  }
  if (value) {
    Activate();
  } else {
    Deactivate();
  }
}

void TBaseSocket::Loaded() {
  FLoading = false;
  if (FActive) {
    FActive = false;  // only the stored flag: the socket is made now
    Activate();
  }
}

void TBaseSocket::SetBlockMode(TSocketBlockMode value) {
  if (value == FBlockMode) return;
  if (!FLoading) Deactivate();
  FBlockMode = value;
}

void TBaseSocket::DataReceived(char* buf, int& dataLen) {
  if (OnReceive) OnReceive(this, buf, dataLen);
  FBytesReceived += static_cast<std::uint32_t>(dataLen);
}

void TBaseSocket::DataSent(char* buf, int& dataLen) {
  if (OnSend) OnSend(this, buf, dataLen);
}

int TBaseSocket::CheckSocketResult(int rc) {
  if (rc == -1) ReportSocketError();
  return rc;
}

void TBaseSocket::Activate() {
  if (FActive) return;
  FSocket = PlatformSocketsEdge().Socket(FAddressFamily, FSocketType, FProtocol);
  if (FSocket == -1) CheckSocketResult(-1);
  FActive = FSocket != -1;
  if (!FActive) return;
  if (FBlockMode == bmNonBlocking) CheckSocketResult(PlatformSocketsEdge().SetNonBlocking(FSocket));
  FBytesReceived = 0;
  FBytesSent = 0;
  HandleCreated();
}

void TBaseSocket::Deactivate() {
  if (!FActive) return;
  CheckSocketResult(PlatformSocketsEdge().CloseSocket(FSocket));
  FSocket = -1;
  FActive = false;
  HandleDestroyed();
}

void TBaseSocket::HandleCreated() {
  if (FActive && OnCreateHandle) OnCreateHandle(this);
}

void TBaseSocket::HandleDestroyed() {
  if (OnDestroyHandle) OnDestroyHandle(this);
}

void TBaseSocket::ReportSocketError() {
  const int code = PlatformSocketsEdge().LastError();
  if (OnError) OnError(this, code);
}

// ---------------------------------------------------------------- TIpSocket

TIpSocket::TIpSocket(TComponent* owner) : TBaseSocket(owner) {
  FAddressFamily = TSocketsEdge::kAfInet;
  FProtocol = 0;
}

void TIpSocket::SetRemoteHost(TSocketHost value) {
  if (value == FRemoteHost) return;
  if (!FLoading) Deactivate();
  FRemoteHost = std::move(value);
}

void TIpSocket::SetRemotePort(TSocketPort value) {
  if (value == FRemotePort) return;
  if (!FLoading) Deactivate();
  FRemotePort = std::move(value);
}

std::string TIpSocket::HostToAddress(const std::string& host) const {
  if (host.empty()) return "0.0.0.0";
  // Text that starts with a digit is an address or nothing; it is never looked up.
  if (host[0] >= '0' && host[0] <= '9') return PlatformSocketsEdge().InetAddr(host) ? host : "";
  // The edge is the process's own and outlives an abandoned look-up.
  auto lookUp = [host] { return PlatformSocketsEdge().GetHostByName(host).value_or(""); };
  std::string address;
  const TCallOutcome outcome =
      RunAbandonable(std::move(lookUp), FStopFlag, FLookupTimeout, address);
  FLookupTimedOut = outcome == TCallOutcome::TimedOut;
  return outcome == TCallOutcome::Done ? address : "";
}

std::uint16_t TIpSocket::PortToNumber(const std::string& port) const {
  if (port.empty()) return 0;
  if (const auto service = PlatformSocketsEdge().GetServByName(port)) return *service;
  return static_cast<std::uint16_t>(StrToInt(port));
}

// ---------------------------------------------------------------- TCustomIpClient

TCustomIpClient::TCustomIpClient(TComponent* owner) : TIpSocket(owner) {}

TCustomIpClient::~TCustomIpClient() { TCustomIpClient::Deactivate(); }

void TCustomIpClient::Activate() {
  TBaseSocket::Activate();
  if (!FActive || FConnected) return;
  const std::string address = HostToAddress(RemoteHost());
  // No address: inet_addr of empty text, which names no reachable destination.
  const std::uint32_t inAddr = PlatformSocketsEdge().InetAddrRaw(address);
  const std::uint16_t port = PortToNumber(RemotePort());
  const std::uint16_t netPort = static_cast<std::uint16_t>((port << 8) | (port >> 8));
  const int rc = CheckSocketResult(PlatformSocketsEdge().Connect(FSocket, inAddr, netPort));
  FConnected = rc == 0;
  if (FConnected) NotifyConnect();
}

void TCustomIpClient::Deactivate() {
  if (FConnected) {
    CheckSocketResult(PlatformSocketsEdge().Shutdown(FSocket, TSocketsEdge::kSdBoth));
    FConnected = false;
    NotifyDisconnect();
  }
  TBaseSocket::Deactivate();
}

void TCustomIpClient::NotifyConnect() {
  if (OnConnect) OnConnect(this);
}

void TCustomIpClient::NotifyDisconnect() {
  if (OnDisconnect) OnDisconnect(this);
}

// ---------------------------------------------------------------- TTcpClient

bool TTcpClient::Connect() {
  Activate();
  return Connected();
}

void TTcpClient::Disconnect() { Deactivate(); }
