#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

#include "TestPeer.h"

namespace testpeer {
namespace {

int Fd(std::intptr_t fd) { return static_cast<int>(fd); }

bool WaitReadable(std::intptr_t fd, int timeoutMs) {
  pollfd p{Fd(fd), POLLIN, 0};
  return ::poll(&p, 1, timeoutMs) > 0;
}

sockaddr_in Loopback(std::uint16_t port) {
  sockaddr_in in{};
  in.sin_family = AF_INET;
  in.sin_port = htons(port);
  in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return in;
}

std::uint16_t LocalPort(int fd) {
  sockaddr_in in{};
  socklen_t length = sizeof in;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&in), &length);
  return ntohs(in.sin_port);
}

}  // namespace

void TSocket::Send(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::send(Fd(FFd), bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

std::string TSocket::Receive(int max, int timeoutMs) {
  if (!WaitReadable(FFd, timeoutMs)) return "";
  std::string buffer(static_cast<std::size_t>(max), '\0');
  const ssize_t n = ::recv(Fd(FFd), buffer.data(), buffer.size(), 0);
  buffer.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return buffer;
}

void TSocket::ShutdownWrite() { ::shutdown(Fd(FFd), SHUT_WR); }

void TSocket::Reset() {
  if (FFd == -1) return;
  linger l{1, 0};
  ::setsockopt(Fd(FFd), SOL_SOCKET, SO_LINGER, &l, sizeof l);
  Close();
}

void TSocket::Close() {
  if (FFd != -1) ::close(Fd(FFd));
  FFd = -1;
}

TListener::TListener(int backlog) {
  FFd = ::socket(AF_INET, SOCK_STREAM, 0);
  const sockaddr_in in = Loopback(0);
  if (FFd < 0 || ::bind(Fd(FFd), reinterpret_cast<const sockaddr*>(&in), sizeof in) != 0 ||
      ::listen(Fd(FFd), backlog) != 0) {
    throw std::runtime_error("test listener could not start");
  }
  FPort = LocalPort(Fd(FFd));
}

TListener::~TListener() { Close(); }

void TListener::Close() {
  if (FFd != -1) ::close(Fd(FFd));
  FFd = -1;
}

TSocket TListener::Accept(int timeoutMs) {
  if (!WaitReadable(FFd, timeoutMs)) return TSocket();
  return TSocket(::accept(Fd(FFd), nullptr, nullptr));
}

bool RunningUnderWine() { return false; }

std::uint16_t ClosedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  const sockaddr_in in = Loopback(0);
  ::bind(fd, reinterpret_cast<const sockaddr*>(&in), sizeof in);
  const std::uint16_t port = LocalPort(fd);
  ::close(fd);
  return port;
}

TUnansweredTarget::TUnansweredTarget() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  const sockaddr_in in = Loopback(FListener.Port());
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&in), sizeof in) != 0) {
    throw std::runtime_error("filler connection failed");
  }
  FFiller = TSocket(fd);
}

TPortHolder::TPortHolder(std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  const sockaddr_in in = Loopback(port);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&in), sizeof in) != 0) {
    ::close(fd);
    return;
  }
  FFd = fd;
}

TPortHolder::~TPortHolder() {
  if (FFd != -1) ::close(Fd(FFd));
}

}  // namespace testpeer
