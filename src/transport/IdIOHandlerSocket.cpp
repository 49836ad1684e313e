#include "transport/IdIOHandlerSocket.h"

TIdIOHandlerSocket::TIdIOHandlerSocket(TComponent* owner) : TIdIOHandler(owner) {}

TIdIOHandlerSocket::~TIdIOHandlerSocket() {
  try {
    Close();
  } catch (...) {
    // A destructor never throws; the socket is released either way.
  }
}

void TIdIOHandlerSocket::Open() {
  TIdIOHandler::Open();
  if (FSocketHandle) {
    FSocketHandle->Reset(true);
  } else {
    FSocketHandle = std::make_unique<TIdSocketHandle>();
  }
  FSocketHandle->SetClientPortMin(FBoundPortMin);
  FSocketHandle->SetClientPortMax(FBoundPortMax);
  if (!Host().empty() && Port() > 0) ConnectToPeer();
}

void TIdIOHandlerSocket::Close() {
  if (FSocketHandle) FSocketHandle->ReleaseHandle();
  TIdIOHandler::Close();
}

void TIdIOHandlerSocket::ConnectToPeer() {
  if (!FSocketHandle) FSocketHandle = std::make_unique<TIdSocketHandle>();
  DoBeforeBind();
  FSocketHandle->SetIPVersion(FIPVersion);
  FSocketHandle->AllocateHandle(kSockStream, 0);
  DoSocketAllocated();
  if (!FBoundIP.empty()) FSocketHandle->SetIP(FBoundIP);
  FSocketHandle->SetPort(FBoundPort);
  FSocketHandle->SetClientPortMin(FBoundPortMin);
  FSocketHandle->SetClientPortMax(FBoundPortMax);
  FSocketHandle->SetReuseSocket(FReuseSocket);
  FSocketHandle->BindLocal();
  FSocketHandle->SetUseNagle(FUseNagle);
  DoAfterBind();
}

bool TIdIOHandlerSocket::SourceIsAvailable() const {
  return FSocketHandle && FSocketHandle->SocketHeld();
}

void TIdIOHandlerSocket::SetUseNagle(bool value) {
  FUseNagle = value;
  if (FSocketHandle) FSocketHandle->SetUseNagle(value);
}

void TIdIOHandlerSocket::SetReuseSocket(TIdReuseSocket value) {
  FReuseSocket = value;
  if (FSocketHandle) FSocketHandle->SetReuseSocket(value);
}

void TIdIOHandlerSocket::DoBeforeBind() {
  if (OnBeforeBind) OnBeforeBind(this);
}

void TIdIOHandlerSocket::DoAfterBind() {
  if (OnAfterBind) OnAfterBind(this);
}

void TIdIOHandlerSocket::DoSocketAllocated() {
  if (OnSocketAllocated) OnSocketAllocated(this);
}
