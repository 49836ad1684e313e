#include "probes/HalvexNetwork.h"

std::unique_ptr<TStringList> THalvexNetwork::GetLocalIPs() const {
  auto list = std::make_unique<TStringList>();
  if (FCalls.Startup) FCalls.Startup();
  // Winsock is cleaned up whatever the lookup gave.
  struct TCleanup {
    const std::function<void()>& Fn;
    ~TCleanup() {
      if (Fn) Fn();
    }
  } cleanup{FCalls.Cleanup};
  const auto name = FCalls.HostName ? FCalls.HostName() : std::nullopt;
  if (!name || !FCalls.Resolve) return list;
  const auto addresses = FCalls.Resolve(*name);
  if (!addresses) return list;
  for (const auto& address : *addresses) list->Add(address);
  return list;
}
