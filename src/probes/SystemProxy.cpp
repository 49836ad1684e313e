#include "probes/SystemProxy.h"

#include <vector>

#include "rtl/Text.h"

namespace {

std::vector<std::string> SplitEntries(const std::string& text) {
  std::vector<std::string> out;
  std::string current;
  for (const char c : text + ";") {
    if (c == ';' || c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      if (!current.empty()) out.push_back(current);
      current.clear();
    } else {
      current.push_back(c);
    }
  }
  return out;
}

// Decimal digits only, at most 5 of them: no sign, no blanks, no other base.
bool PortNumber(std::string_view text, std::int64_t& value) {
  if (text.empty() || text.size() > 5) return false;
  value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

// "*" matches any run of characters, also none; letters without regard to case.
bool Matches(std::string_view pattern, std::string_view text) {
  std::size_t p = 0, t = 0, star = std::string_view::npos, mark = 0;
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      mark = t;
    } else if (p < pattern.size() && lower(pattern[p]) == lower(text[t])) {
      ++p;
      ++t;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      t = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool IsLoopback(std::string host) {
  if (host.size() > 2 && host.front() == '[' && host.back() == ']')
    host = host.substr(1, host.size() - 2);
  if (SameText(host, "localhost") || SameText(host, "loopback") || host == "::1") return true;
  // Every address of 127.0.0.0/8 is the machine itself.
  if (!StartsText("127.", host)) return false;
  int parts = 0;
  std::int64_t value = 0;
  std::string rest = host;
  while (!rest.empty()) {
    const std::size_t dot = rest.find('.');
    if (!PortNumber(rest.substr(0, dot), value) || value > 255) return false;
    ++parts;
    rest = dot == std::string::npos ? "" : rest.substr(dot + 1);
    if (dot != std::string::npos && rest.empty()) return false;
  }
  return parts == 4;
}

// "host", "host:port" or "http://host:port/", as one server entry.
bool ParseServer(std::string text, std::string& host, std::uint16_t& port) {
  if (StartsText("http://", text)) text = text.substr(7);
  while (!text.empty() && text.back() == '/') text.pop_back();
  if (text.empty() || text.find_first_of("/@?#") != std::string::npos) return false;
  std::string name = text;
  std::string portText;
  if (text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string::npos) return false;
    name = text.substr(1, close - 1);
    const std::string after = text.substr(close + 1);
    if (!after.empty()) {
      if (after.front() != ':') return false;
      portText = after.substr(1);
    }
  } else if (const std::size_t colon = text.rfind(':'); colon != std::string::npos) {
    name = text.substr(0, colon);
    portText = text.substr(colon + 1);
    if (name.find(':') != std::string::npos) return false;
  }
  if (name.empty()) return false;
  std::int64_t number = 80;
  if (!portText.empty() && (!PortNumber(portText, number) || number < 1 || number > 65535))
    return false;
  if (portText.empty() && text.back() == ':') return false;
  host = name;
  port = static_cast<std::uint16_t>(number);
  return true;
}

}  // namespace

namespace {

enum class TServerEntry { None, Found, Invalid };

TServerEntry FindHttpServer(const std::string& value, std::string& host, std::uint16_t& port) {
  const std::vector<std::string> entries = SplitEntries(value);
  bool list = false;
  for (const std::string& entry : entries) {
    const std::size_t equals = entry.find('=');
    if (equals == std::string::npos) continue;
    list = true;
    if (SameText(entry.substr(0, equals), "http")) {
      return ParseServer(entry.substr(equals + 1), host, port) ? TServerEntry::Found
                                                               : TServerEntry::Invalid;
    }
  }
  // A list without an http entry names no proxy for HTTP.
  if (list || entries.empty()) return TServerEntry::None;
  if (entries.size() != 1) return TServerEntry::Invalid;
  return ParseServer(entries.front(), host, port) ? TServerEntry::Found : TServerEntry::Invalid;
}

}  // namespace

bool ParseProxyServer(const std::string& value, std::string& host, std::uint16_t& port) {
  return FindHttpServer(value, host, port) == TServerEntry::Found;
}

bool BypassesProxy(const std::string& overrideList, const std::string& host) {
  bool loopbackThroughProxy = false;
  bool bypass = false;
  for (const std::string& entry : SplitEntries(overrideList)) {
    if (SameText(entry, "<-loopback>")) {
      loopbackThroughProxy = true;
    } else if (SameText(entry, "<local>")) {
      if (host.find('.') == std::string::npos && host.find(':') == std::string::npos) bypass = true;
    } else {
      std::string pattern = entry;
      if (StartsText("http://", pattern)) pattern = pattern.substr(7);
      if (Matches(pattern, host)) bypass = true;
    }
  }
  return bypass || (!loopbackThroughProxy && IsLoopback(host));
}

TProxyChoice ChooseProxy(const TSystemProxySettings& settings, const std::string& host) {
  TProxyChoice choice;
  if (settings.Enabled && !BypassesProxy(settings.Override, host)) {
    std::string proxyHost;
    std::uint16_t proxyPort = 0;
    switch (FindHttpServer(settings.Server, proxyHost, proxyPort)) {
      case TServerEntry::Found:
        choice.Host = proxyHost;
        choice.Port = proxyPort;
        return choice;
      case TServerEntry::Invalid:
        choice.Invalid = settings.Server;
        break;
      case TServerEntry::None:
        break;
    }
  }
  choice.ScriptIgnored = settings.AutoConfig;
  return choice;
}
