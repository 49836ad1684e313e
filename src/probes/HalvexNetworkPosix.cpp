// gethostname and gethostbyname of the C library, as Winsock 1.1 offers them.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cstring>

#include "probes/HalvexNetwork.h"

TLocalAddressCalls PlatformLocalAddressCalls() {
  TLocalAddressCalls calls;
  calls.HostName = []() -> std::optional<std::string> {
    char buffer[64] = {};
    if (::gethostname(buffer, sizeof buffer) != 0) return std::nullopt;
    buffer[sizeof buffer - 1] = '\0';
    return std::string(buffer);
  };
  calls.Resolve = [](const std::string& name) -> std::optional<std::vector<std::string>> {
    hostent result{};
    hostent* entry = nullptr;
    std::vector<char> work(8192);
    int error = 0;
    // The reentrant form: the plain one shares one static buffer per process.
    if (::gethostbyname_r(name.c_str(), &result, work.data(), work.size(), &entry, &error) != 0 || entry == nullptr) {
      return std::nullopt;
    }
    std::vector<std::string> out;
    if (entry->h_addrtype != AF_INET || entry->h_length != 4) return out;
    for (char** p = entry->h_addr_list; *p != nullptr; ++p) {
      in_addr a{};
      std::memcpy(&a, *p, 4);
      char text[INET_ADDRSTRLEN] = {};
      ::inet_ntop(AF_INET, &a, text, sizeof text);
      out.emplace_back(text);
    }
    return out;
  };
  return calls;
}
