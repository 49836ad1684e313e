// The proxy settings of the environment: http_proxy names the server and
// no_proxy the hosts reached without it, under the same rules as Windows'.
#include <cstdlib>

#include "probes/SystemProxy.h"

namespace {

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

// no_proxy's "," between entries and its ".example.com" for a domain's hosts.
std::string AsOverrideList(const std::string& noProxy) {
  std::string list;
  std::string entry;
  for (const char c : noProxy + ",") {
    if (c != ',' && c != ';') {
      entry.push_back(c);
      continue;
    }
    if (!entry.empty())
      list += (list.empty() ? "" : ";") + (entry.front() == '.' ? "*" + entry : entry);
    entry.clear();
  }
  return list;
}

}  // namespace

TSystemProxySettings ReadSystemProxySettings() {
  TSystemProxySettings settings;
  settings.Server = Variable("http_proxy");
  settings.Enabled = !settings.Server.empty();
  settings.Override = AsOverrideList(Variable("no_proxy"));
  return settings;
}
