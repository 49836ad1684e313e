// The test peers' edge over BSD sockets: what differs from Winsock; the calls
// themselves are in TestPeerBsd.inl.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "TestPeerEdge.h"

namespace testpeer::edge {
namespace {

struct TPlatform {
  using TNative = int;
  using TLength = socklen_t;
  static constexpr TNative kInvalidNative = -1;
  static constexpr int kSocketFlags = SOCK_CLOEXEC;
  static constexpr int kSendFlags = MSG_NOSIGNAL;
  static constexpr int kShutSend = SHUT_WR;

  static void StartOnce() {}
  static std::size_t Length(std::size_t size) { return size; }
  static bool WaitReadable(TNative socket, int timeoutMs) {
    pollfd p{socket, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) > 0;
  }
  static void Close(TNative socket) { ::close(socket); }
  static bool UnderWine() { return false; }
};

}  // namespace
}  // namespace testpeer::edge

#include "TestPeerBsd.inl"
