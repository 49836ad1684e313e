// The blocking TCP client the installer uses as its reachability probe:
// TBaseSocket -> TIpSocket -> TCustomIpClient -> TTcpClient. The platform edge
// is SocketsWindows.cpp (Winsock 1.1) or SocketsPosix.cpp (BSD sockets);
// error codes reach OnError as Winsock's numbers on both.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "rtl/Component.h"
#include "rtl/Exceptions.h"

enum TServerSocketBlockMode { bmBlocking, bmNonBlocking, bmThreadBlocking };
using TSocketBlockMode = TServerSocketBlockMode;  // bmBlocking..bmNonBlocking

using TSocketNotifyEvent = std::function<void(TObject* Sender)>;
using TSocketDataEvent = std::function<void(TObject* Sender, char* Buf, int& DataLen)>;
using TSocketErrorEvent = std::function<void(TObject* Sender, int SocketError)>;
using TSocketHost = std::string;
using TSocketPort = std::string;

// The socket library could not be started or cleaned up.
class ESocketError : public Exception {
 public:
  using Exception::Exception;
};

class TBaseSocket : public TComponent {
 public:
  explicit TBaseSocket(TComponent* owner = nullptr);
  ~TBaseSocket() override;

  TSocketNotifyEvent OnCreateHandle;
  TSocketNotifyEvent OnDestroyHandle;
  TSocketErrorEvent OnError;
  TSocketDataEvent OnReceive;
  TSocketDataEvent OnSend;

  bool Active() const { return FActive; }
  void SetActive(bool value);
  TSocketBlockMode BlockMode() const { return FBlockMode; }
  void SetBlockMode(TSocketBlockMode value);
  std::intptr_t Handle() const { return FSocket; }
  std::uint32_t BytesReceived() const { return FBytesReceived; }
  std::uint32_t BytesSent() const { return FBytesSent; }

  // Form loading: while loading, setters only store; Loaded runs a stored Active.
  void BeginLoading() { FLoading = true; }
  void Loaded();
  bool Loading() const { return FLoading; }

  virtual void DataReceived(char* buf, int& dataLen);
  virtual void DataSent(char* buf, int& dataLen);
  // Reports a Winsock error result (-1) through OnError; never raises.
  virtual int CheckSocketResult(int rc);
  virtual void Activate();
  virtual void Deactivate();

 protected:
  virtual void HandleCreated();
  virtual void HandleDestroyed();
  virtual void ReportSocketError();

  bool FActive = false;
  TSocketBlockMode FBlockMode = bmBlocking;
  std::uint32_t FBytesReceived = 0;
  std::uint32_t FBytesSent = 0;
  int FAddressFamily = 0;  // Winsock number
  std::uint16_t FProtocol = 0;
  std::intptr_t FSocket = -1;
  int FSocketType = 1;  // SOCK_STREAM
  bool FLoading = false;
};

// A name look-up of the probe that takes longer finds no address.
inline constexpr int kProbeLookupTimeoutMs = 30000;

class TIpSocket : public TBaseSocket {
 public:
  explicit TIpSocket(TComponent* owner = nullptr);

  const TSocketHost& LocalHost() const { return FLocalHost; }
  void SetLocalHost(TSocketHost value) { FLocalHost = std::move(value); }
  const TSocketPort& LocalPort() const { return FLocalPort; }
  void SetLocalPort(TSocketPort value) { FLocalPort = std::move(value); }
  const TSocketHost& RemoteHost() const { return FRemoteHost; }
  void SetRemoteHost(TSocketHost value);
  const TSocketPort& RemotePort() const { return FRemotePort; }
  void SetRemotePort(TSocketPort value);

  // Dotted text for host: "0.0.0.0" for "", unchanged dotted text, or the first
  // address of a name lookup; "" when there is no address. Digits are never looked up.
  // A name look-up runs on a thread of its own: a set stop flag or the look-up
  // limit ends the wait at once, and there is then no address.
  std::string HostToAddress(const std::string& host) const;
  // Another thread's stop request for the look-up (not owned); none by default.
  void SetStopFlag(const std::atomic<bool>* flag) { FStopFlag = flag; }
  // ms; negative: no limit.
  void SetLookupTimeout(int milliseconds) { FLookupTimeout = milliseconds; }
  // Whether the last look-up ended at the limit, without an answer.
  bool LookupTimedOut() const { return FLookupTimedOut; }
  // 0 for "", a service's port, or a decimal number; else EConvertError.
  std::uint16_t PortToNumber(const std::string& port) const;

 private:
  TSocketHost FLocalHost;
  TSocketPort FLocalPort;
  TSocketHost FRemoteHost;
  TSocketPort FRemotePort;
  const std::atomic<bool>* FStopFlag = nullptr;
  int FLookupTimeout = kProbeLookupTimeoutMs;
  mutable bool FLookupTimedOut = false;  // the outcome of a look-up, not state of the socket
};

class TCustomIpClient : public TIpSocket {
 public:
  explicit TCustomIpClient(TComponent* owner = nullptr);
  ~TCustomIpClient() override;

  TSocketNotifyEvent OnConnect;
  TSocketNotifyEvent OnDisconnect;

  bool Connected() const { return FConnected; }
  void Activate() override;
  void Deactivate() override;

 protected:
  virtual void NotifyConnect();
  virtual void NotifyDisconnect();

 private:
  bool FConnected = false;
};

class TTcpClient : public TCustomIpClient {
 public:
  explicit TTcpClient(TComponent* owner = nullptr) : TCustomIpClient(owner) {}
  // Activate, then whether the connection stands.
  bool Connect();
  void Disconnect();
};
