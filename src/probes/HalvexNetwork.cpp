// The local address list over its platform edge; see HalvexNetwork.h.
#include "probes/HalvexNetwork.h"

#include <cstring>

#include "rtl/ScopeExit.h"
#include "rtl/Text.h"

namespace {
// The host name buffer of the original Winsock 1.1 call.
constexpr int kHostNameSize = 64;
}  // namespace

std::vector<TIPv4Bytes> CopyIPv4List(const char* const* list) {
  std::vector<TIPv4Bytes> out;
  for (const char* const* p = list; *p != nullptr; ++p) {
    TIPv4Bytes bytes{};
    std::memcpy(bytes.data(), *p, bytes.size());
    out.push_back(bytes);
  }
  return out;
}

std::unique_ptr<TStringList> THalvexNetwork::GetLocalIPs() const {
  auto list = std::make_unique<TStringList>();
  FCalls->Startup();
  // Winsock is cleaned up whatever the lookup gave.
  const auto cleanup = ScopeExit([this] { FCalls->Cleanup(); });
  char buffer[kHostNameSize] = {};
  if (FCalls->GetHostName(buffer, sizeof buffer) != 0) return list;
  buffer[sizeof buffer - 1] = '\0';
  const auto addresses = FCalls->HostAddresses(buffer);
  if (!addresses) return list;
  for (const auto& b : *addresses) list->Add(Format("%d.%d.%d.%d", {b[0], b[1], b[2], b[3]}));
  return list;
}
