#include "transport/IdTCPConnection.h"

TIdTCPConnection::TIdTCPConnection(TComponent* owner) : TIdComponent(owner) {}

TIdTCPConnection::~TIdTCPConnection() {
  try {
    if (FIOHandler != nullptr) FIOHandler->Close();
  } catch (...) {
    // A destructor never throws; the handler is detached below either way.
  }
  TIdTCPConnection::SetIOHandler(nullptr);
  if (FIntercept != nullptr) RemoveFreeNotification(FIntercept);
}

void TIdTCPConnection::SetIntercept(TIdConnectionIntercept* value) {
  if (value == FIntercept) return;
  if (FIntercept != nullptr) RemoveFreeNotification(FIntercept);
  FIntercept = value;
  if (FIntercept != nullptr) FreeNotification(FIntercept);
  if (FIOHandler != nullptr) FIOHandler->SetIntercept(FIntercept);
}

void TIdTCPConnection::SetIOHandler(TIdIOHandler* handler) {
  if (handler == FIOHandler) return;
  if (handler != nullptr && FIntercept != nullptr && handler->Intercept() != nullptr &&
      handler->Intercept() != FIntercept) {
    throw EIdException(kMsgInterceptIsDifferent);
  }
  if (FOwnsHandler && FIOHandler != nullptr) {
    TIdIOHandler* owned = FIOHandler;
    FIOHandler = nullptr;
    FSocket = nullptr;
    FOwnsHandler = false;
    RemoveFreeNotification(owned);
    // The handler was made by CreateDefaultHandler as one of our components.
    if (owned->Owner() == this) {
      FreeComponent(owned);
    } else {
      owned->SetWorkForward(nullptr);
    }
  }
  FOwnsHandler = false;
  FSocket = nullptr;
  if (FIOHandler != nullptr) {
    FIOHandler->SetWorkForward(nullptr);
    RemoveFreeNotification(FIOHandler);
  }
  FIOHandler = handler;
  if (handler != nullptr) {
    FreeNotification(handler);
    handler->SetWorkForward(this);
    if (FIntercept != nullptr) handler->SetIntercept(FIntercept);
    FSocket = dynamic_cast<TIdIOHandlerSocket*>(handler);
  }
}

void TIdTCPConnection::Notification(TComponent* component, TOperation operation) {
  if (operation == TOperation::opRemove) {
    if (component == FIOHandler) {
      FIOHandler = nullptr;
      FSocket = nullptr;
      FOwnsHandler = false;
    } else if (component == FIntercept) {
      FIntercept = nullptr;
    }
  }
  TIdComponent::Notification(component, operation);
}

bool TIdTCPConnection::Connected() { return FIOHandler != nullptr && FIOHandler->Connected(); }

void TIdTCPConnection::CheckGracefulClose(bool raiseWhenClosed) {
  if (FIOHandler != nullptr) {
    FIOHandler->CheckClosed(raiseWhenClosed, false);
  } else if (raiseWhenClosed) {
    throw EIdException(kMsgNotConnected);
  }
}

void TIdTCPConnection::Disconnect(bool notifyPeer) {
  // Step one may raise (the poll in Connected sees a reset); close anyway, then pass it on.
  std::exception_ptr failure;
  try {
    if (notifyPeer && Connected()) NotifyPeerOfClose();
  } catch (...) {
    failure = std::current_exception();
  }
  if (FIOHandler != nullptr && FIOHandler->IsOpen()) {
    ReportStatus(hsDisconnecting);
    FIOHandler->Close();
    NotifyDisconnected();
    ReportStatus(hsDisconnected);
  }
  if (failure) std::rethrow_exception(failure);
}

void TIdTCPConnection::NotifyDisconnected() {
  if (OnDisconnected) OnDisconnected(this);
}
