// The test peers over their platform edge; see TestPeer.h.
#include "TestPeer.h"

#include <stdexcept>

#include "TestPeerEdge.h"

namespace testpeer {

TSocket& TSocket::operator=(TSocket&& other) noexcept {
  if (this != &other) {
    Close();
    FFd = other.FFd;
    other.FFd = -1;
  }
  return *this;
}

bool TSocket::Send(std::string_view bytes) {
  while (!bytes.empty()) {
    const int n = edge::SendSome(FFd, bytes.data(), bytes.size());
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

int TSocket::ReceiveSome(char* buffer, int size, int timeoutMs) {
  if (!edge::WaitReadable(FFd, timeoutMs)) return -1;
  const int n = edge::ReceiveSome(FFd, buffer, static_cast<std::size_t>(size));
  return n < 0 ? -1 : n;
}

std::string TSocket::Receive(int max, int timeoutMs) {
  std::string buffer(static_cast<std::size_t>(max), '\0');
  const int n = ReceiveSome(buffer.data(), max, timeoutMs);
  buffer.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return buffer;
}

std::string TSocket::ReceiveExactly(int count, int timeoutMs) {
  std::string out;
  while (static_cast<int>(out.size()) < count) {
    const std::string part = Receive(count - static_cast<int>(out.size()), timeoutMs);
    if (part.empty()) break;
    out += part;
  }
  return out;
}

std::string TSocket::ReceiveUntilClosed(int timeoutMs) {
  std::string out;
  while (true) {
    const std::string part = Receive(65536, timeoutMs);
    if (part.empty()) break;
    out += part;
  }
  return out;
}

void TSocket::ShutdownWrite() { edge::ShutdownSend(FFd); }

void TSocket::Reset() {
  if (FFd == -1) return;
  edge::ResetOnClose(FFd);
  Close();
}

void TSocket::Close() {
  if (FFd != -1) edge::CloseSocket(FFd);
  FFd = -1;
}

TListener::TListener(int backlog) {
  FFd = edge::OpenStream();
  if (FFd == edge::kInvalid || !edge::BindLoopback(FFd, 0) || !edge::Listen(FFd, backlog)) {
    Close();
    throw std::runtime_error("test listener could not start");
  }
  FPort = edge::LocalPort(FFd);
}

TListener::~TListener() { Close(); }

void TListener::Close() {
  if (FFd != -1) edge::CloseSocket(FFd);
  FFd = -1;
}

TSocket TListener::Accept(int timeoutMs) {
  if (!edge::WaitReadable(FFd, timeoutMs)) return TSocket();
  return TSocket(edge::AcceptOne(FFd));
}

TPeer::TPeer(TScript script, int connections) {
  FThread = std::thread([this, script = std::move(script), connections] {
    for (int i = 0; i < connections; ++i) {
      TSocket socket = FListener.Accept();
      if (!socket.Valid()) return;
      script(socket);
    }
  });
}

TPeer::~TPeer() { Join(); }

void TPeer::Join() {
  if (FThread.joinable()) FThread.join();
}

bool RunningUnderWine() { return edge::RunningUnderWine(); }

std::uint16_t ClosedPort() {
  // Bound and closed again: the system handed it out, and now nobody holds it.
  TSocket socket(edge::OpenStream());
  edge::BindLoopback(socket.Handle(), 0);
  return edge::LocalPort(socket.Handle());
}

TUnansweredTarget::TUnansweredTarget() {
  FFiller = TSocket(edge::OpenStream());
  if (!edge::ConnectLoopback(FFiller.Handle(), FListener.Port())) {
    throw std::runtime_error("filler connection failed");
  }
}

TPortHolder::TPortHolder(std::uint16_t port) {
  TSocket socket(edge::OpenStream());
  if (!edge::BindLoopback(socket.Handle(), port)) return;
  FFd = socket.Release();
}

TPortHolder::~TPortHolder() {
  if (FFd != -1) edge::CloseSocket(FFd);
}

}  // namespace testpeer
