// A TCP connection: it owns or borrows an I/O handler, knows whether it is
// connected and how to disconnect.
#pragma once

#include "transport/IdComponent.h"
#include "transport/IdIOHandler.h"
#include "transport/IdIOHandlerSocket.h"

class TIdTCPConnection : public TIdComponent {
 public:
  explicit TIdTCPConnection(TComponent* owner = nullptr);
  ~TIdTCPConnection() override;

  TNotifyEvent OnDisconnected;

  // Lets the handler notice a peer close; without a handler raises EIdException "Not Connected".
  virtual void CheckGracefulClose(bool raiseWhenClosed = true);
  virtual bool Connected();
  // Closes an open handler and reports it; with notifyPeer first runs NotifyPeerOfClose.
  virtual void Disconnect(bool notifyPeer = true);

  TIdIOHandler* IOHandler() const { return FIOHandler; }
  // Attaches h (none detaches); an owned handler is freed first.
  virtual void SetIOHandler(TIdIOHandler* handler);
  bool OwnsHandler() const { return FOwnsHandler; }
  // The attached handler when it is a socket handler, else none.
  TIdIOHandlerSocket* Socket() const { return FSocket; }
  TIdConnectionIntercept* Intercept() const { return FIntercept; }
  void SetIntercept(TIdConnectionIntercept* value);

 protected:
  virtual void NotifyDisconnected();
  virtual void NotifyPeerOfClose() {}
  void SetOwnsHandler(bool value) { FOwnsHandler = value; }
  void Notification(TComponent* component, TOperation operation) override;

 private:
  TIdConnectionIntercept* FIntercept = nullptr;  // not owned
  TIdIOHandler* FIOHandler = nullptr;            // owned only when FOwnsHandler
  bool FOwnsHandler = false;
  TIdIOHandlerSocket* FSocket = nullptr;
};
