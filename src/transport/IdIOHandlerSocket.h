// An I/O handler over one TIdSocketHandle: it owns the handle, binds it and
// passes the socket settings on.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "transport/IdIOHandler.h"
#include "transport/IdSocketHandle.h"

class TIdIOHandlerSocket : public TIdIOHandler {
 public:
  explicit TIdIOHandlerSocket(TComponent* owner = nullptr);
  ~TIdIOHandlerSocket() override;

  void Open() override;
  void Close() override;
  // Allocates the socket and binds it; the stack handler then connects it.
  virtual void ConnectToPeer();

  TNotifyEvent OnBeforeBind;
  TNotifyEvent OnAfterBind;
  TNotifyEvent OnSocketAllocated;

  TIdSocketHandle* SocketHandle() const {
    return FSocketHandle.get();
  }  // none until the first Open
  const std::string& BoundIP() const { return FBoundIP; }
  void SetBoundIP(std::string value) { FBoundIP = std::move(value); }
  std::uint16_t BoundPort() const { return FBoundPort; }
  void SetBoundPort(std::uint16_t value) { FBoundPort = value; }
  std::uint16_t BoundPortMin() const { return FBoundPortMin; }
  void SetBoundPortMin(std::uint16_t value) { FBoundPortMin = value; }
  std::uint16_t BoundPortMax() const { return FBoundPortMax; }
  void SetBoundPortMax(std::uint16_t value) { FBoundPortMax = value; }
  std::uint16_t DefaultPort() const { return FDefaultPort; }
  void SetDefaultPort(std::uint16_t value) { FDefaultPort = value; }
  bool UseNagle() const { return FUseNagle; }
  void SetUseNagle(bool value);
  TIdReuseSocket ReuseSocket() const { return FReuseSocket; }
  void SetReuseSocket(TIdReuseSocket value);
  TIdIPVersion IPVersion() const { return FIPVersion; }
  void SetIPVersion(TIdIPVersion value) { FIPVersion = value; }

 protected:
  bool SourceIsAvailable() const override;
  // The bind notifications, each raised only when assigned.
  virtual void DoBeforeBind();
  virtual void DoAfterBind();
  virtual void DoSocketAllocated();

 private:
  std::unique_ptr<TIdSocketHandle> FSocketHandle;
  std::string FBoundIP;
  std::uint16_t FBoundPort = 0;
  std::uint16_t FBoundPortMax = 0;
  std::uint16_t FBoundPortMin = 0;
  std::uint16_t FDefaultPort = 0;
  bool FUseNagle = true;
  TIdReuseSocket FReuseSocket = rsOSDependent;
  TIdIPVersion FIPVersion = Id_IPv4;
};
