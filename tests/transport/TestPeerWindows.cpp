// The test peers' edge over Winsock 2, the test process's own start-up apart
// from the transport's run-time loading: what differs from BSD sockets; the
// calls themselves are in TestPeerBsd.inl.
#include <winsock2.h>
#include <windows.h>
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

struct TPlatform {
  using TNative = SOCKET;
  using TLength = int;
  static constexpr TNative kInvalidNative = INVALID_SOCKET;
  static constexpr int kSocketFlags = 0;
  static constexpr int kSendFlags = 0;
  static constexpr int kShutSend = SD_SEND;

  static void StartOnce() { static TWinsockStartup startup; }
  static int Length(std::size_t size) { return size > INT_MAX ? INT_MAX : static_cast<int>(size); }
  static bool WaitReadable(TNative socket, int timeoutMs) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    return ::select(0, &set, nullptr, nullptr, &limit) > 0;
  }
  static void Close(TNative socket) { ::closesocket(socket); }
  static bool UnderWine() {
    HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
  }
};

}  // namespace
}  // namespace testpeer::edge

#include "TestPeerBsd.inl"
