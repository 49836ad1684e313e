// The local host's IPv4 addresses, for the location label. The socket calls sit
// behind TLocalAddressCalls so tests can stand in for the resolver;
// HalvexNetworkWindows.cpp (Winsock 1.1) and HalvexNetworkPosix.cpp give the real ones.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "rtl/Strings.h"

struct TLocalAddressCalls {
  std::function<void()> Startup;                    // WSAStartup 1.1; result not looked at
  std::function<std::optional<std::string>()> HostName;  // gethostname into 64 bytes
  // gethostbyname's address list as dotted text; empty optional when no entry.
  std::function<std::optional<std::vector<std::string>>(const std::string&)> Resolve;
  std::function<void()> Cleanup;                    // WSACleanup
};

TLocalAddressCalls PlatformLocalAddressCalls();

class THalvexNetwork : public TObject {
 public:
  THalvexNetwork() : FCalls(PlatformLocalAddressCalls()) {}
  explicit THalvexNetwork(TLocalAddressCalls calls) : FCalls(std::move(calls)) {}

  // A new list, owned by the caller, in the resolver's order; empty when no
  // address could be found. Never raises for network reasons.
  std::unique_ptr<TStringList> GetLocalIPs() const;

 private:
  TLocalAddressCalls FCalls;
};
