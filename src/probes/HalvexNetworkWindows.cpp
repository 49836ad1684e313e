// The local address list's edge over Winsock 1.1 (wsock32): WSAStartup,
// gethostname, gethostbyname, WSACleanup.
#include <winsock.h>

#include "probes/HalvexNetwork.h"

namespace {

class TLocalAddressCallsWindows final : public TLocalAddressCalls {
 public:
  void Startup() override {
    WSADATA data{};
    ::WSAStartup(MAKEWORD(1, 1), &data);
  }

  void Cleanup() override { ::WSACleanup(); }

  int GetHostName(char* buffer, int size) override { return ::gethostname(buffer, size); }

  std::optional<std::vector<TIPv4Bytes>> HostAddresses(const std::string& name) override {
    const hostent* entry = ::gethostbyname(name.c_str());
    if (entry == nullptr) return std::nullopt;
    if (entry->h_length != 4) return std::vector<TIPv4Bytes>{};
    return CopyIPv4List(entry->h_addr_list);
  }
};

}  // namespace

std::unique_ptr<TLocalAddressCalls> PlatformLocalAddressCalls() {
  return std::make_unique<TLocalAddressCallsWindows>();
}
