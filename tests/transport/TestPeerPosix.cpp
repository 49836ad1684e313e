// The test peers' edge over BSD sockets.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "TestPeerEdge.h"

namespace testpeer::edge {
namespace {

int Fd(THandle socket) { return static_cast<int>(socket); }

sockaddr_in Loopback(std::uint16_t port) {
  sockaddr_in in{};
  in.sin_family = AF_INET;
  in.sin_port = htons(port);
  in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return in;
}

}  // namespace

THandle OpenStream() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  return fd < 0 ? kInvalid : fd;
}

bool BindLoopback(THandle socket, std::uint16_t port) {
  const sockaddr_in in = Loopback(port);
  return ::bind(Fd(socket), reinterpret_cast<const sockaddr*>(&in), sizeof in) == 0;
}

bool Listen(THandle socket, int backlog) { return ::listen(Fd(socket), backlog) == 0; }

std::uint16_t LocalPort(THandle socket) {
  sockaddr_in in{};
  socklen_t length = sizeof in;
  if (::getsockname(Fd(socket), reinterpret_cast<sockaddr*>(&in), &length) != 0) return 0;
  return ntohs(in.sin_port);
}

bool ConnectLoopback(THandle socket, std::uint16_t port) {
  const sockaddr_in in = Loopback(port);
  return ::connect(Fd(socket), reinterpret_cast<const sockaddr*>(&in), sizeof in) == 0;
}

THandle AcceptOne(THandle listener) {
  const int fd = ::accept(Fd(listener), nullptr, nullptr);
  return fd < 0 ? kInvalid : fd;
}

bool WaitReadable(THandle socket, int timeoutMs) {
  pollfd p{Fd(socket), POLLIN, 0};
  return ::poll(&p, 1, timeoutMs) > 0;
}

int SendSome(THandle socket, const char* data, std::size_t size) {
  // MSG_NOSIGNAL: a client that went away must not end the test with SIGPIPE.
  return static_cast<int>(::send(Fd(socket), data, size, MSG_NOSIGNAL));
}

int ReceiveSome(THandle socket, char* data, std::size_t size) {
  return static_cast<int>(::recv(Fd(socket), data, size, 0));
}

void ShutdownSend(THandle socket) { ::shutdown(Fd(socket), SHUT_WR); }

void ResetOnClose(THandle socket) {
  linger l{1, 0};
  ::setsockopt(Fd(socket), SOL_SOCKET, SO_LINGER, &l, sizeof l);
}

void CloseSocket(THandle socket) { ::close(Fd(socket)); }

bool RunningUnderWine() { return false; }

}  // namespace testpeer::edge
