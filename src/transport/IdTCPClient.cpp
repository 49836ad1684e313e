#include "transport/IdTCPClient.h"

#include "rtl/ScopeExit.h"
#include "transport/IdIOHandlerStack.h"

namespace {

std::unique_ptr<TIdIOHandler> CreateStackHandler(TComponent* owner) {
  return std::make_unique<TIdIOHandlerStack>(owner);
}

// Registered at start-up; tests may substitute another class.
TIdIOHandlerClass gDefaultHandlerClass = &CreateStackHandler;

}  // namespace

TIdIOHandlerClass DefaultHandlerClass() { return gDefaultHandlerClass; }
void SetDefaultHandlerClass(TIdIOHandlerClass handlerClass) { gDefaultHandlerClass = handlerClass; }

TIdTCPClientCustom::TIdTCPClientCustom(TComponent* owner) : TIdTCPConnection(owner) {}

TIdTCPClientCustom::~TIdTCPClientCustom() = default;

void TIdTCPClientCustom::CreateDefaultHandler() {
  std::unique_ptr<TIdIOHandler> handler = DefaultHandlerClass()(nullptr);
  TIdIOHandler* raw = handler.get();
  InsertComponent(std::move(handler));
  SetIOHandler(raw);
  raw->OnStatus = OnStatus;
  SetOwnsHandler(true);
}

void TIdTCPClientCustom::Connect() {
  if (Connected()) throw EIdAlreadyConnected();
  if (FHost.empty()) throw EIdHostRequired();
  if (FPort == 0) throw EIdPortRequired();
  if (IOHandler() == nullptr) CreateDefaultHandler();
  bool connected = false;
  // A failed connect leaves no owned handler behind; the next Connect makes a fresh one.
  const auto undo = ScopeExit([&] {
    if (connected || IOHandler() == nullptr) return;
    try {
      IOHandler()->Close();
    } catch (...) {
      // The connect's own failure is the one to report.
    }
    if (OwnsHandler()) SetIOHandler(nullptr);
  });
  PassSettingsTo(*IOHandler());
  IOHandler()->Open();
  if (IOHandler()->Intercept() != nullptr) IOHandler()->Intercept()->Connect(this);
  ReportStatus(hsConnected, {FHost});
  NotifyConnected();
  connected = true;
}

void TIdTCPClientCustom::PassSettingsTo(TIdIOHandler& handler) {
  handler.SetPort(FPort);
  handler.SetHost(FHost);
  handler.SetConnectTimeout(FConnectTimeout);
  handler.SetReadTimeout(FReadTimeout);
  handler.SetAbortFlag(FAbortFlag);
  handler.SetLookupTimeout(FLookupTimeout);
  if (auto* socket = dynamic_cast<TIdIOHandlerSocket*>(&handler)) {
    socket->SetBoundIP(FBoundIP);
    socket->SetBoundPort(FBoundPort);
    socket->SetBoundPortMin(FBoundPortMin);
    socket->SetBoundPortMax(FBoundPortMax);
    socket->SetIPVersion(FIPVersion);
    socket->SetReuseSocket(FReuseSocket);
    socket->SetUseNagle(FUseNagle);
    socket->OnBeforeBind = OnBeforeBind;
    socket->OnAfterBind = OnAfterBind;
    socket->OnSocketAllocated = OnSocketAllocated;
  }
}

void TIdTCPClientCustom::ApplyBindEvents() {
  if (Socket() == nullptr) return;
  Socket()->OnBeforeBind = OnBeforeBind;
  Socket()->OnAfterBind = OnAfterBind;
  Socket()->OnSocketAllocated = OnSocketAllocated;
}

void TIdTCPClientCustom::SetIOHandler(TIdIOHandler* handler) {
  TIdTCPConnection::SetIOHandler(handler);
  if (IOHandler() != nullptr) PassSettingsTo(*IOHandler());
}

void TIdTCPClientCustom::NotifyConnected() {
  if (OnConnected) OnConnected(this);
}

void TIdTCPClientCustom::SetBoundIP(std::string value) {
  FBoundIP = std::move(value);
  if (Socket() != nullptr) Socket()->SetBoundIP(FBoundIP);
}

void TIdTCPClientCustom::SetBoundPort(std::uint16_t value) {
  FBoundPort = value;
  if (Socket() != nullptr) Socket()->SetBoundPort(value);
}

void TIdTCPClientCustom::SetBoundPortMin(std::uint16_t value) {
  FBoundPortMin = value;
  if (Socket() != nullptr) Socket()->SetBoundPortMin(value);
}

void TIdTCPClientCustom::SetBoundPortMax(std::uint16_t value) {
  FBoundPortMax = value;
  if (Socket() != nullptr) Socket()->SetBoundPortMax(value);
}

void TIdTCPClientCustom::SetConnectTimeout(int value) {
  FConnectTimeout = value;
  if (IOHandler() != nullptr) IOHandler()->SetConnectTimeout(value);
}

void TIdTCPClientCustom::SetHost(std::string value) {
  FHost = std::move(value);
  if (IOHandler() != nullptr) IOHandler()->SetHost(FHost);
}

void TIdTCPClientCustom::SetPort(std::uint16_t value) {
  FPort = value;
  if (IOHandler() != nullptr) IOHandler()->SetPort(value);
}

void TIdTCPClientCustom::SetIPVersion(TIdIPVersion value) {
  FIPVersion = value;
  if (Socket() != nullptr) Socket()->SetIPVersion(value);
}

int TIdTCPClientCustom::ReadTimeout() const {
  return IOHandler() != nullptr ? IOHandler()->ReadTimeout() : FReadTimeout;
}

void TIdTCPClientCustom::SetAbortFlag(const std::atomic<bool>* flag) {
  FAbortFlag = flag;
  if (IOHandler() != nullptr) IOHandler()->SetAbortFlag(flag);
}

void TIdTCPClientCustom::SetLookupTimeout(int value) {
  FLookupTimeout = value;
  if (IOHandler() != nullptr) IOHandler()->SetLookupTimeout(value);
}

void TIdTCPClientCustom::SetReadTimeout(int value) {
  FReadTimeout = value;
  if (IOHandler() != nullptr) IOHandler()->SetReadTimeout(value);
}

TIdReuseSocket TIdTCPClientCustom::ReuseSocket() const {
  return Socket() != nullptr ? Socket()->ReuseSocket() : FReuseSocket;
}

void TIdTCPClientCustom::SetReuseSocket(TIdReuseSocket value) {
  FReuseSocket = value;
  if (Socket() != nullptr) Socket()->SetReuseSocket(value);
}

bool TIdTCPClientCustom::UseNagle() const {
  return Socket() != nullptr ? Socket()->UseNagle() : FUseNagle;
}

void TIdTCPClientCustom::SetUseNagle(bool value) {
  FUseNagle = value;
  if (Socket() != nullptr) Socket()->SetUseNagle(value);
}
