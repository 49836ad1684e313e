// The local host's IPv4 addresses, for the location label. The socket calls
// sit behind TLocalAddressCalls, so tests can stand in for the resolver; the
// platform half (HalvexNetworkWindows.cpp over Winsock 1.1, or
// HalvexNetworkPosix.cpp) is picked by CMake.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "rtl/Strings.h"

using TIPv4Bytes = std::array<std::uint8_t, 4>;

class TLocalAddressCalls : public TObject {
 public:
  // WSAStartup 1.1 and WSACleanup where the platform has them; results not looked at.
  virtual void Startup() {}
  virtual void Cleanup() {}
  // gethostname into buffer: 0 on success.
  virtual int GetHostName(char* buffer, int size) = 0;
  // gethostbyname's IPv4 addresses in the resolver's order; none when the
  // name has no entry, an empty list when the entry is not IPv4.
  virtual std::optional<std::vector<TIPv4Bytes>> HostAddresses(const std::string& name) = 0;
};

std::unique_ptr<TLocalAddressCalls> PlatformLocalAddressCalls();

// A host entry's null-ended list of 4-byte addresses, copied out.
std::vector<TIPv4Bytes> CopyIPv4List(const char* const* list);

class THalvexNetwork : public TObject {
 public:
  THalvexNetwork() : FCalls(PlatformLocalAddressCalls()) {}
  explicit THalvexNetwork(std::unique_ptr<TLocalAddressCalls> calls) : FCalls(std::move(calls)) {}

  // A new list, owned by the caller, in the resolver's order; empty when no
  // address could be found. Never raises for network reasons.
  std::unique_ptr<TStringList> GetLocalIPs() const;

 private:
  std::unique_ptr<TLocalAddressCalls> FCalls;
};
