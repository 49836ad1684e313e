// The test peers' edge over Winsock 2, the test process's own start-up apart
// from the transport's run-time loading.
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <climits>
#include <stdexcept>

#include "TestPeerEdge.h"

namespace testpeer::edge {
namespace {

// Started on the first socket a test opens and held for the rest of the run.
class TWinsockStartup {
 public:
  TWinsockStartup() {
    WSADATA data{};
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("WSAStartup failed");
  }
  TWinsockStartup(const TWinsockStartup&) = delete;
  TWinsockStartup& operator=(const TWinsockStartup&) = delete;
  ~TWinsockStartup() { ::WSACleanup(); }
};

SOCKET Fd(THandle socket) { return static_cast<SOCKET>(socket); }

sockaddr_in Loopback(std::uint16_t port) {
  sockaddr_in in{};
  in.sin_family = AF_INET;
  in.sin_port = htons(port);
  in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return in;
}

int Clamp(std::size_t size) { return size > INT_MAX ? INT_MAX : static_cast<int>(size); }

}  // namespace

THandle OpenStream() {
  static TWinsockStartup startup;
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
  return s == INVALID_SOCKET ? kInvalid : static_cast<THandle>(s);
}

bool BindLoopback(THandle socket, std::uint16_t port) {
  const sockaddr_in in = Loopback(port);
  return ::bind(Fd(socket), reinterpret_cast<const sockaddr*>(&in), sizeof in) == 0;
}

bool Listen(THandle socket, int backlog) { return ::listen(Fd(socket), backlog) == 0; }

std::uint16_t LocalPort(THandle socket) {
  sockaddr_in in{};
  int length = sizeof in;
  if (::getsockname(Fd(socket), reinterpret_cast<sockaddr*>(&in), &length) != 0) return 0;
  return ntohs(in.sin_port);
}

bool ConnectLoopback(THandle socket, std::uint16_t port) {
  const sockaddr_in in = Loopback(port);
  return ::connect(Fd(socket), reinterpret_cast<const sockaddr*>(&in), sizeof in) == 0;
}

THandle AcceptOne(THandle listener) {
  const SOCKET s = ::accept(Fd(listener), nullptr, nullptr);
  return s == INVALID_SOCKET ? kInvalid : static_cast<THandle>(s);
}

bool WaitReadable(THandle socket, int timeoutMs) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(Fd(socket), &set);
  timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  return ::select(0, &set, nullptr, nullptr, &limit) > 0;
}

int SendSome(THandle socket, const char* data, std::size_t size) {
  return ::send(Fd(socket), data, Clamp(size), 0);
}

int ReceiveSome(THandle socket, char* data, std::size_t size) {
  return ::recv(Fd(socket), data, Clamp(size), 0);
}

void ShutdownSend(THandle socket) { ::shutdown(Fd(socket), SD_SEND); }

void ResetOnClose(THandle socket) {
  linger l{1, 0};
  ::setsockopt(Fd(socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
}

void CloseSocket(THandle socket) { ::closesocket(Fd(socket)); }

bool RunningUnderWine() {
  HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace testpeer::edge
