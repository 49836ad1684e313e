// The TCP client: the settings of a connection and Connect, which creates and
// owns a stack handler when none is attached.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "transport/IdTCPConnection.h"

// The class of implicitly created handlers; registered as TIdIOHandlerStack.
using TIdIOHandlerClass = std::unique_ptr<TIdIOHandler> (*)(TComponent* owner);
TIdIOHandlerClass DefaultHandlerClass();
void SetDefaultHandlerClass(TIdIOHandlerClass handlerClass);

class TIdTCPClientCustom : public TIdTCPConnection {
 public:
  explicit TIdTCPClientCustom(TComponent* owner = nullptr);
  ~TIdTCPClientCustom() override;

  TNotifyEvent OnConnected;
  TNotifyEvent OnBeforeBind;
  TNotifyEvent OnAfterBind;
  TNotifyEvent OnSocketAllocated;

  virtual void Connect();
  void SetIOHandler(TIdIOHandler* handler) override;

  const std::string& BoundIP() const { return FBoundIP; }
  void SetBoundIP(std::string value);
  std::uint16_t BoundPort() const { return FBoundPort; }
  void SetBoundPort(std::uint16_t value);
  std::uint16_t BoundPortMin() const { return FBoundPortMin; }
  void SetBoundPortMin(std::uint16_t value);
  std::uint16_t BoundPortMax() const { return FBoundPortMax; }
  void SetBoundPortMax(std::uint16_t value);
  int ConnectTimeout() const { return FConnectTimeout; }
  void SetConnectTimeout(int value);
  const std::string& Host() const { return FHost; }
  virtual void SetHost(std::string value);
  std::uint16_t Port() const { return FPort; }
  virtual void SetPort(std::uint16_t value);
  TIdIPVersion IPVersion() const { return FIPVersion; }
  virtual void SetIPVersion(TIdIPVersion value);
  // Read from an attached handler when there is one.
  int ReadTimeout() const;
  void SetReadTimeout(int value);
  // Another thread's stop request for connects and reads (see TIdIOHandler); not owned.
  const std::atomic<bool>* AbortFlag() const { return FAbortFlag; }
  void SetAbortFlag(const std::atomic<bool>* flag);
  // The limit on a name look-up (ms, negative: none), passed to the handler.
  int LookupTimeout() const { return FLookupTimeout; }
  void SetLookupTimeout(int value);
  TIdReuseSocket ReuseSocket() const;
  void SetReuseSocket(TIdReuseSocket value);
  bool UseNagle() const;
  void SetUseNagle(bool value);
  // Passes a changed bind event on to an attached socket handler.
  void ApplyBindEvents();

 protected:
  virtual void NotifyConnected();
  virtual void CreateDefaultHandler();

 private:
  void PassSettingsTo(TIdIOHandler& handler);

  std::string FBoundIP;
  std::uint16_t FBoundPort = 0;
  std::uint16_t FBoundPortMax = 0;
  std::uint16_t FBoundPortMin = 0;
  int FConnectTimeout = 0;
  std::string FHost;
  TIdIPVersion FIPVersion = Id_IPv4;
  std::uint16_t FPort = 0;
  int FReadTimeout = -1;
  TIdReuseSocket FReuseSocket = rsOSDependent;
  bool FUseNagle = true;
  const std::atomic<bool>* FAbortFlag = nullptr;
  int FLookupTimeout = kLookupTimeoutDefault;
};

// The same settings for direct use.
class TIdTCPClient : public TIdTCPClientCustom {
 public:
  using TIdTCPClientCustom::TIdTCPClientCustom;
};
