// Winsock half of the tests' socket layer.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "TestSocket.h"

namespace testsocket {

namespace {
// The tests' own Winsock start-up, held for the whole run.
struct TWinsock {
  TWinsock() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
  ~TWinsock() { WSACleanup(); }
};
void EnsureWinsock() { static TWinsock winsock; }

bool WaitReadable(THandle socket, int timeoutMs) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(static_cast<SOCKET>(socket), &set);
  timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  return select(0, &set, nullptr, nullptr, &tv) > 0;
}
}  // namespace

THandle ListenLocal(std::uint16_t& port) {
  EnsureWinsock();
  const SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  if (s == INVALID_SOCKET) return kInvalid;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof addr;
  if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(s, 16) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
    closesocket(s);
    return kInvalid;
  }
  port = ntohs(addr.sin_port);
  return static_cast<THandle>(s);
}

THandle Accept(THandle listener, int timeoutMs) {
  if (!WaitReadable(listener, timeoutMs)) return kInvalid;
  const SOCKET s = accept(static_cast<SOCKET>(listener), nullptr, nullptr);
  return s == INVALID_SOCKET ? kInvalid : static_cast<THandle>(s);
}

int Receive(THandle socket, char* buffer, int size, int timeoutMs) {
  if (!WaitReadable(socket, timeoutMs)) return -1;
  const int n = recv(static_cast<SOCKET>(socket), buffer, size, 0);
  return n < 0 ? -1 : n;
}

bool SendAll(THandle socket, std::string_view bytes) {
  while (!bytes.empty()) {
    const int n = send(static_cast<SOCKET>(socket), bytes.data(), static_cast<int>(bytes.size()), 0);
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

void ShutdownSend(THandle socket) { shutdown(static_cast<SOCKET>(socket), SD_SEND); }

void Abort(THandle socket) {
  linger l{1, 0};
  setsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
  closesocket(static_cast<SOCKET>(socket));
}

void Close(THandle socket) { closesocket(static_cast<SOCKET>(socket)); }

}  // namespace testsocket
