// The user's Internet Settings, read from the registry (read only).
#include <windows.h>

#include <cstring>
#include <vector>

#include "probes/SystemProxy.h"
#include "rtl/Win32Text.h"

namespace {

constexpr wchar_t kInternetSettings[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
constexpr wchar_t kConnections[] = L"Connections";
// DefaultConnectionSettings: a version, a counter, then the flags; this flag
// asks for automatic detection (WPAD).
constexpr std::size_t kFlagsOffset = 8;
constexpr DWORD kFlagAutoDetect = 0x08;
// Longer values are no host list an administrator wrote; they are not read.
constexpr DWORD kMaxValueBytes = 64 * 1024;

class TKey {
 public:
  TKey(HKEY parent, const wchar_t* path) {
    if (::RegOpenKeyExW(parent, path, 0, KEY_READ, &FKey) != ERROR_SUCCESS) FKey = nullptr;
  }
  TKey(const TKey&) = delete;
  TKey& operator=(const TKey&) = delete;
  ~TKey() {
    if (FKey != nullptr) ::RegCloseKey(FKey);
  }
  HKEY Get() const { return FKey; }

 private:
  HKEY FKey = nullptr;
};

std::vector<BYTE> ReadValue(HKEY key, const wchar_t* name, DWORD& type) {
  DWORD size = 0;
  if (key == nullptr ||
      ::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      size > kMaxValueBytes) {
    return {};
  }
  std::vector<BYTE> data(size);
  if (::RegQueryValueExW(key, name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) return {};
  data.resize(size);
  return data;
}

std::string ReadText(HKEY key, const wchar_t* name) {
  DWORD type = 0;
  const std::vector<BYTE> data = ReadValue(key, name, type);
  if (type != REG_SZ && type != REG_EXPAND_SZ) return {};
  std::wstring text(data.size() / sizeof(wchar_t), L'\0');
  if (!text.empty()) std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
  // The stored value may or may not carry its terminator.
  if (const std::size_t end = text.find(L'\0'); end != std::wstring::npos) text.resize(end);
  return WideToUtf8(text);
}

DWORD ReadNumber(HKEY key, const wchar_t* name) {
  DWORD type = 0;
  const std::vector<BYTE> data = ReadValue(key, name, type);
  if (type != REG_DWORD || data.size() != sizeof(DWORD)) return 0;
  DWORD value = 0;
  std::memcpy(&value, data.data(), sizeof value);
  return value;
}

bool AutoDetectSet(HKEY settings) {
  const TKey connections(settings, kConnections);
  DWORD type = 0;
  const std::vector<BYTE> data = ReadValue(connections.Get(), L"DefaultConnectionSettings", type);
  if (type != REG_BINARY || data.size() < kFlagsOffset + sizeof(DWORD)) return false;
  DWORD flags = 0;
  std::memcpy(&flags, data.data() + kFlagsOffset, sizeof flags);
  return (flags & kFlagAutoDetect) != 0;
}

}  // namespace

TSystemProxySettings ReadSystemProxySettings() {
  TSystemProxySettings settings;
  const TKey key(HKEY_CURRENT_USER, kInternetSettings);
  if (key.Get() == nullptr) return settings;
  settings.Enabled = ReadNumber(key.Get(), L"ProxyEnable") != 0;
  settings.Server = ReadText(key.Get(), L"ProxyServer");
  settings.Override = ReadText(key.Get(), L"ProxyOverride");
  settings.AutoConfig = !ReadText(key.Get(), L"AutoConfigURL").empty() || AutoDetectSet(key.Get());
  return settings;
}
