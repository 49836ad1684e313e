// The proxy that the administrator's settings name for plain HTTP: on Windows
// the user's Internet Settings in the registry, natively http_proxy and
// no_proxy. Reading them is the platform half (SystemProxyWindows.cpp,
// SystemProxyPosix.cpp); choosing a proxy for a host follows Windows' rules
// and is portable. Automatic configuration scripts are noticed, not followed.
#pragma once

#include <cstdint>
#include <string>

struct TSystemProxySettings {
  bool Enabled = false;     // ProxyEnable
  std::string Server;       // ProxyServer: "host:port" or "http=host:port;https=..."
  std::string Override;     // ProxyOverride: the bypass list, entries split by ";"
  bool AutoConfig = false;  // a configuration script (AutoConfigURL) or WPAD is set
};

TSystemProxySettings ReadSystemProxySettings();

struct TProxyChoice {
  std::string Host;  // empty: the connection goes direct
  std::uint16_t Port = 0;
  // A script is set but no proxy server applies: it was not used.
  bool ScriptIgnored = false;
  // The server setting that could not be read as host and port; the
  // connection then goes direct.
  std::string Invalid;
  bool UsesProxy() const { return !Host.empty(); }
};

// The proxy for plain HTTP that a ProxyServer value names: its "http=" entry
// in a list, else the one server for all. False when none is named or the
// entry is no host with a port of 1 to 65535 (a missing port is 80).
[[nodiscard]] bool ParseProxyServer(const std::string& value, std::string& host,
                                    std::uint16_t& port);
// Whether host is reached without the proxy under a ProxyOverride list:
// "*" matches any run of characters, "<local>" names without a dot, and
// loopback names and addresses unless the list holds "<-loopback>".
bool BypassesProxy(const std::string& overrideList, const std::string& host);
TProxyChoice ChooseProxy(const TSystemProxySettings& settings, const std::string& host);
