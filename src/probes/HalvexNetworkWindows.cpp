// Winsock 1.1 (wsock32): WSAStartup, gethostname, gethostbyname, inet_ntoa, WSACleanup.
#include <winsock.h>

#include <cstring>

#include "probes/HalvexNetwork.h"

TLocalAddressCalls PlatformLocalAddressCalls() {
  TLocalAddressCalls calls;
  calls.Startup = [] {
    WSADATA data{};
    ::WSAStartup(MAKEWORD(1, 1), &data);
  };
  calls.HostName = []() -> std::optional<std::string> {
    char buffer[64] = {};
    if (::gethostname(buffer, sizeof buffer) != 0) return std::nullopt;
    buffer[sizeof buffer - 1] = '\0';
    return std::string(buffer);
  };
  calls.Resolve = [](const std::string& name) -> std::optional<std::vector<std::string>> {
    const hostent* entry = ::gethostbyname(name.c_str());
    if (entry == nullptr) return std::nullopt;
    std::vector<std::string> out;
    if (entry->h_length != 4) return out;
    for (char** p = entry->h_addr_list; *p != nullptr; ++p) {
      in_addr a{};
      std::memcpy(&a, *p, 4);
      out.emplace_back(::inet_ntoa(a));
    }
    return out;
  };
  calls.Cleanup = [] { ::WSACleanup(); };
  return calls;
}
