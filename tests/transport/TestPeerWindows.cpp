#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <stdexcept>

#include "TestPeer.h"

namespace testpeer {
namespace {

// The test process's own Winsock, apart from the transport's run-time loading.
struct TStartup {
  TStartup() {
    WSADATA data{};
    ::WSAStartup(0x0202, &data);
  }
  ~TStartup() { ::WSACleanup(); }
} gStartup;

SOCKET Fd(std::intptr_t fd) { return static_cast<SOCKET>(fd); }

bool WaitReadable(std::intptr_t fd, int timeoutMs) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(Fd(fd), &set);
  timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  return ::select(0, &set, nullptr, nullptr, &limit) > 0;
}

sockaddr_in Loopback(std::uint16_t port) {
  sockaddr_in in{};
  in.sin_family = AF_INET;
  in.sin_port = htons(port);
  in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return in;
}

std::uint16_t LocalPort(SOCKET fd) {
  sockaddr_in in{};
  int length = sizeof in;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&in), &length);
  return ntohs(in.sin_port);
}

}  // namespace

void TSocket::Send(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const int n = ::send(Fd(FFd), bytes.data() + done, static_cast<int>(bytes.size() - done), 0);
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

std::string TSocket::Receive(int max, int timeoutMs) {
  if (!WaitReadable(FFd, timeoutMs)) return "";
  std::string buffer(static_cast<std::size_t>(max), '\0');
  const int n = ::recv(Fd(FFd), buffer.data(), static_cast<int>(buffer.size()), 0);
  buffer.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return buffer;
}

void TSocket::ShutdownWrite() { ::shutdown(Fd(FFd), SD_SEND); }

void TSocket::Reset() {
  if (FFd == -1) return;
  linger l{1, 0};
  ::setsockopt(Fd(FFd), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
  Close();
}

void TSocket::Close() {
  if (FFd != -1) ::closesocket(Fd(FFd));
  FFd = -1;
}

TListener::TListener(int backlog) {
  FFd = static_cast<std::intptr_t>(::socket(AF_INET, SOCK_STREAM, 0));
  const sockaddr_in in = Loopback(0);
  if (FFd == -1 || ::bind(Fd(FFd), reinterpret_cast<const sockaddr*>(&in), sizeof in) != 0 ||
      ::listen(Fd(FFd), backlog) != 0) {
    throw std::runtime_error("test listener could not start");
  }
  FPort = LocalPort(Fd(FFd));
}

TListener::~TListener() { Close(); }

void TListener::Close() {
  if (FFd != -1) ::closesocket(Fd(FFd));
  FFd = -1;
}

TSocket TListener::Accept(int timeoutMs) {
  if (!WaitReadable(FFd, timeoutMs)) return TSocket();
  return TSocket(static_cast<std::intptr_t>(::accept(Fd(FFd), nullptr, nullptr)));
}

bool RunningUnderWine() {
  HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::uint16_t ClosedPort() {
  const SOCKET fd = ::socket(AF_INET, SOCK_STREAM, 0);
  const sockaddr_in in = Loopback(0);
  ::bind(fd, reinterpret_cast<const sockaddr*>(&in), sizeof in);
  const std::uint16_t port = LocalPort(fd);
  ::closesocket(fd);
  return port;
}

TUnansweredTarget::TUnansweredTarget() {
  const SOCKET fd = ::socket(AF_INET, SOCK_STREAM, 0);
  const sockaddr_in in = Loopback(FListener.Port());
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&in), sizeof in) != 0) {
    throw std::runtime_error("filler connection failed");
  }
  FFiller = TSocket(static_cast<std::intptr_t>(fd));
}

TPortHolder::TPortHolder(std::uint16_t port) {
  const SOCKET fd = ::socket(AF_INET, SOCK_STREAM, 0);
  const sockaddr_in in = Loopback(port);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&in), sizeof in) != 0) {
    ::closesocket(fd);
    return;
  }
  FFd = static_cast<std::intptr_t>(fd);
}

TPortHolder::~TPortHolder() {
  if (FFd != -1) ::closesocket(Fd(FFd));
}

}  // namespace testpeer
