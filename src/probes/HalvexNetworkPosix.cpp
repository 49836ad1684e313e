// The local address list's edge over the C library's gethostname and
// gethostbyname_r, as Winsock 1.1 offers them.
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include "probes/HalvexNetwork.h"

namespace {

class TLocalAddressCallsPosix final : public TLocalAddressCalls {
 public:
  int GetHostName(char* buffer, int size) override {
    return ::gethostname(buffer, static_cast<std::size_t>(size));
  }

  std::optional<std::vector<TIPv4Bytes>> HostAddresses(const std::string& name) override {
    hostent result{};
    hostent* entry = nullptr;
    std::vector<char> work(8192);
    int error = 0;
    // The reentrant form: the plain one shares one static buffer per process.
    if (::gethostbyname_r(name.c_str(), &result, work.data(), work.size(), &entry, &error) != 0 ||
        entry == nullptr) {
      return std::nullopt;
    }
    if (entry->h_addrtype != AF_INET || entry->h_length != 4) return std::vector<TIPv4Bytes>{};
    return CopyIPv4List(entry->h_addr_list);
  }
};

}  // namespace

std::unique_ptr<TLocalAddressCalls> PlatformLocalAddressCalls() {
  return std::make_unique<TLocalAddressCallsPosix>();
}
