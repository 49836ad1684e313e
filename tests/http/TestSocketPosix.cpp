// POSIX half of the tests' socket layer.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>

#include "TestSocket.h"

namespace testsocket {

namespace {
bool WaitReadable(THandle socket, int timeoutMs) {
  pollfd p{static_cast<int>(socket), POLLIN, 0};
  return ::poll(&p, 1, timeoutMs) > 0;
}
}  // namespace

THandle ListenLocal(std::uint16_t& port) {
  // A peer that vanished must not kill the test with SIGPIPE.
  std::signal(SIGPIPE, SIG_IGN);
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  if (s < 0) return kInvalid;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof addr;
  if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(s, 16) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
    ::close(s);
    return kInvalid;
  }
  port = ntohs(addr.sin_port);
  return s;
}

THandle Accept(THandle listener, int timeoutMs) {
  if (!WaitReadable(listener, timeoutMs)) return kInvalid;
  const int s = ::accept(static_cast<int>(listener), nullptr, nullptr);
  return s < 0 ? kInvalid : s;
}

int Receive(THandle socket, char* buffer, int size, int timeoutMs) {
  if (!WaitReadable(socket, timeoutMs)) return -1;
  const auto n = ::recv(static_cast<int>(socket), buffer, static_cast<std::size_t>(size), 0);
  return n < 0 ? -1 : static_cast<int>(n);
}

bool SendAll(THandle socket, std::string_view bytes) {
  while (!bytes.empty()) {
    const auto n = ::send(static_cast<int>(socket), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

void ShutdownSend(THandle socket) { ::shutdown(static_cast<int>(socket), SHUT_WR); }

void Abort(THandle socket) {
  linger l{1, 0};
  ::setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_LINGER, &l, sizeof l);
  ::close(static_cast<int>(socket));
}

void Close(THandle socket) { ::close(static_cast<int>(socket)); }

}  // namespace testsocket
