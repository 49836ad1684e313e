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
  if (FBinding) {
    FBinding->Reset(true);
  } else {
    FBinding = std::make_unique<TIdSocketHandle>();
  }
  FBinding->SetClientPortMin(FBoundPortMin);
  FBinding->SetClientPortMax(FBoundPortMax);
  if (!Host().empty() && Port() > 0) ConnectToPeer();
}

void TIdIOHandlerSocket::Close() {
  if (FBinding) FBinding->ReleaseHandle();
  TIdIOHandler::Close();
}

void TIdIOHandlerSocket::ConnectToPeer() {
  if (!FBinding) FBinding = std::make_unique<TIdSocketHandle>();
  DoBeforeBind();
  FBinding->SetIPVersion(FIPVersion);
  FBinding->AllocateHandle(Id_SOCK_STREAM, 0);
  DoSocketAllocated();
  if (!FBoundIP.empty()) FBinding->SetIP(FBoundIP);
  FBinding->SetPort(FBoundPort);
  FBinding->SetClientPortMin(FBoundPortMin);
  FBinding->SetClientPortMax(FBoundPortMax);
  FBinding->SetReuseSocket(FReuseSocket);
  FBinding->BindLocal();
  FBinding->SetUseNagle(FUseNagle);
  DoAfterBind();
}

bool TIdIOHandlerSocket::SourceIsAvailable() const { return FBinding && FBinding->SocketHeld(); }

void TIdIOHandlerSocket::SetUseNagle(bool value) {
  FUseNagle = value;
  if (FBinding) FBinding->SetUseNagle(value);
}

void TIdIOHandlerSocket::SetReuseSocket(TIdReuseSocket value) {
  FReuseSocket = value;
  if (FBinding) FBinding->SetReuseSocket(value);
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
