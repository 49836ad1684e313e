// The local address list's edge over Winsock 1.1 (wsock32): WSAStartup,
// gethostname, gethostbyname, WSACleanup. Without wsock32 the host has no
// name to look up, and the list is empty.
#include <winsock.h>

#include "probes/HalvexNetwork.h"
#include "probes/Winsock11Windows.h"
#include "rtl/Exceptions.h"

namespace {

// Null when wsock32 or one of its functions is missing.
const TWinsock11* LoadedWinsock() {
  try {
    return &Winsock11();
  } catch (const EOSError&) {
    return nullptr;
  }
}

class TLocalAddressCallsWindows final : public TLocalAddressCalls {
 public:
  void Startup() override {
    FApi = LoadedWinsock();
    WSADATA data{};
    if (FApi != nullptr) FApi->WSAStartup(MAKEWORD(1, 1), &data);
  }

  void Cleanup() override {
    if (FApi != nullptr) FApi->WSACleanup();
  }

  int GetHostName(char* buffer, int size) override {
    return FApi != nullptr ? FApi->gethostname(buffer, size) : SOCKET_ERROR;
  }

  std::optional<std::vector<TIPv4Bytes>> HostAddresses(const std::string& name) override {
    if (FApi == nullptr) return std::nullopt;
    const hostent* entry = FApi->gethostbyname(name.c_str());
    if (entry == nullptr) return std::nullopt;
    if (entry->h_length != 4) return std::vector<TIPv4Bytes>{};
    return CopyIPv4List(entry->h_addr_list);
  }

 private:
  const TWinsock11* FApi = nullptr;
};

}  // namespace

std::unique_ptr<TLocalAddressCalls> PlatformLocalAddressCalls() {
  return std::make_unique<TLocalAddressCallsWindows>();
}
