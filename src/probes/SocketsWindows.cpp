// The probe's edge over Winsock 1.1 (wsock32), loaded and started on the
// probe's first use and cleaned up at program end.
#include <windows.h>
#include <winsock.h>

#include <cstring>

#include "probes/Sockets.h"
#include "probes/SocketsEdge.h"
#include "probes/Winsock11Windows.h"
#include "rtl/Exceptions.h"
#include "rtl/Text.h"

namespace {

SOCKET AsSocket(std::intptr_t socket) { return static_cast<SOCKET>(socket); }

class TSocketsEdgeWindows final : public TSocketsEdge {
 public:
  // Winsock 1.1 is started with the edge, on the probe's first use.
  TSocketsEdgeWindows() : FApi(LoadedWinsock()) {
    WSADATA data{};
    if (FApi.WSAStartup(0x0101, &data) != 0) throw ESocketError("WSAStartup");
  }
  // A failed clean-up at program end has no one left to tell: raising here
  // would only abort the exiting program.
  ~TSocketsEdgeWindows() override { static_cast<void>(FApi.WSACleanup()); }

  std::intptr_t Socket(int family, int type, int protocol) override {
    const SOCKET s = FApi.socket(family, type, protocol);
    return s == INVALID_SOCKET ? -1 : static_cast<std::intptr_t>(s);
  }

  int SetNonBlocking(std::intptr_t socket) override {
    u_long on = 1;
    return FApi.ioctlsocket(AsSocket(socket), FIONBIO, &on) == SOCKET_ERROR ? -1 : 0;
  }

  int Connect(std::intptr_t socket, std::uint32_t address, std::uint16_t port) override {
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_port = port;
    in.sin_addr.s_addr = address;
    return FApi.connect(AsSocket(socket), reinterpret_cast<const sockaddr*>(&in), sizeof in) ==
                   SOCKET_ERROR
               ? -1
               : 0;
  }

  int Shutdown(std::intptr_t socket, int how) override {
    return FApi.shutdown(AsSocket(socket), how) == SOCKET_ERROR ? -1 : 0;
  }

  int CloseSocket(std::intptr_t socket) override {
    return FApi.closesocket(AsSocket(socket)) == SOCKET_ERROR ? -1 : 0;
  }

  int LastError() override { return FApi.WSAGetLastError(); }

  std::optional<std::uint32_t> InetAddr(const std::string& text) override {
    const unsigned long value = FApi.inet_addr(text.c_str());
    if (value == INADDR_NONE) return std::nullopt;
    return static_cast<std::uint32_t>(value);
  }

  std::uint32_t InetAddrRaw(const std::string& text) override {
    return static_cast<std::uint32_t>(FApi.inet_addr(text.c_str()));
  }

  std::optional<std::string> GetHostByName(const std::string& name) override {
    const hostent* host = FApi.gethostbyname(name.c_str());
    if (host == nullptr || host->h_addr_list[0] == nullptr) return std::nullopt;
    const auto* b = reinterpret_cast<const std::uint8_t*>(host->h_addr_list[0]);
    return Format("%d.%d.%d.%d", {b[0], b[1], b[2], b[3]});
  }

  std::optional<std::uint16_t> GetServByName(const std::string& name) override {
    const servent* entry = FApi.getservbyname(name.c_str(), nullptr);
    if (entry == nullptr) return std::nullopt;
    return FApi.ntohs(static_cast<u_short>(entry->s_port));
  }

 private:
  static const TWinsock11& LoadedWinsock() {
    try {
      return Winsock11();
    } catch (const EOSError& e) {
      throw ESocketError(e.Message());
    }
  }

  const TWinsock11& FApi;
};

}  // namespace

TSocketsEdge& PlatformSocketsEdge() {
  // Made on first use and kept to program end; a constructor that raised is tried again next time.
  static TSocketsEdgeWindows edge;
  return edge;
}
