#include "TestPeer.h"

namespace testpeer {

TSocket& TSocket::operator=(TSocket&& other) noexcept {
  if (this != &other) {
    Close();
    FFd = other.FFd;
    other.FFd = -1;
  }
  return *this;
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

}  // namespace testpeer
