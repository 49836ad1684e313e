// The probe's edge over BSD sockets; errno values leave as Winsock codes.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "probes/SocketsEdge.h"
#include "rtl/Text.h"
#include "transport/IdWinsockCodes.h"

namespace {

class TSocketsEdgePosix final : public TSocketsEdge {
 public:
  std::intptr_t Socket(int family, int type, int protocol) override {
    const int nativeFamily = family == kAfInet ? AF_INET : family;
    const int nativeType = type == kSockStream ? SOCK_STREAM : type;
    return ::socket(nativeFamily, nativeType | SOCK_CLOEXEC, protocol);
  }

  int SetNonBlocking(std::intptr_t socket) override {
    int on = 1;
    return ::ioctl(static_cast<int>(socket), FIONBIO, &on) == 0 ? 0 : -1;
  }

  int Connect(std::intptr_t socket, std::uint32_t address, std::uint16_t port) override {
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_port = port;
    in.sin_addr.s_addr = address;
    return ::connect(static_cast<int>(socket), reinterpret_cast<const sockaddr*>(&in), sizeof in) ==
                   0
               ? 0
               : -1;
  }

  int Shutdown(std::intptr_t socket, int how) override {
    const int nativeHow = how == 0 ? SHUT_RD : how == 1 ? SHUT_WR : SHUT_RDWR;
    return ::shutdown(static_cast<int>(socket), nativeHow) == 0 ? 0 : -1;
  }

  int CloseSocket(std::intptr_t socket) override {
    return ::close(static_cast<int>(socket)) == 0 ? 0 : -1;
  }

  int LastError() override { return WinsockCodeOfErrno(errno); }

  std::optional<std::uint32_t> InetAddr(const std::string& text) override {
    const in_addr_t value = ::inet_addr(text.c_str());
    if (value == INADDR_NONE) return std::nullopt;
    return static_cast<std::uint32_t>(value);
  }

  std::uint32_t InetAddrRaw(const std::string& text) override {
    return static_cast<std::uint32_t>(::inet_addr(text.c_str()));
  }

  std::optional<std::string> GetHostByName(const std::string& name) override {
    // getaddrinfo stands in for gethostbyname, which is not thread-safe here.
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    if (::getaddrinfo(name.c_str(), nullptr, &hints, &result) != 0 || result == nullptr)
      return std::nullopt;
    const std::unique_ptr<addrinfo, void (*)(addrinfo*)> owner(result, ::freeaddrinfo);
    const auto* in = reinterpret_cast<const sockaddr_in*>(result->ai_addr);
    const auto* b = reinterpret_cast<const std::uint8_t*>(&in->sin_addr);
    return Format("%d.%d.%d.%d", {b[0], b[1], b[2], b[3]});
  }

  std::optional<std::uint16_t> GetServByName(const std::string& name) override {
    const servent* entry = ::getservbyname(name.c_str(), nullptr);
    if (entry == nullptr) return std::nullopt;
    return ntohs(static_cast<std::uint16_t>(entry->s_port));
  }
};

}  // namespace

TSocketsEdge& PlatformSocketsEdge() {
  // Made on first use and kept to program end; a constructor that raised is tried again next time.
  static TSocketsEdgePosix edge;
  return edge;
}
