// Reads the version inputs from the system: GetVersionExA with the extended
// (156-byte) and basic (148-byte) records, GetProductInfo, the registry value.
#include <windows.h>

#include <cstring>

#include "probes/GetWinVersionInfo.h"

namespace {

using TGetProductInfo = BOOL(WINAPI*)(DWORD, DWORD, DWORD, DWORD, PDWORD);

// Looked up once at start-up; no address means the system has no such query.
TGetProductInfo LookupGetProductInfo() {
  const HMODULE kernel = ::GetModuleHandleA("KERNEL32.DLL");
  if (kernel == nullptr) return nullptr;
  return reinterpret_cast<TGetProductInfo>(
      reinterpret_cast<void*>(::GetProcAddress(kernel, "GetProductInfo")));
}
const TGetProductInfo gGetProductInfo = LookupGetProductInfo();

static_assert(sizeof(OSVERSIONINFOEXA) == 156 && sizeof(OSVERSIONINFOA) == 148);

// GetVersionExA is marked deprecated in newer headers; the installer needs the
// real call, which the manifest keeps honest on Windows 10 and 11.
BOOL QueryVersion(OSVERSIONINFOA* record) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  return ::GetVersionExA(record);
#pragma GCC diagnostic pop
}

void ReadRegistry(TWinVersionInputs& in) {
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\ProductOptions", 0,
                      KEY_READ, &key) != ERROR_SUCCESS) {
    in.Registry = TWinVersionInputs::TRegistry::KeyMissing;
    return;
  }
  DWORD type = 0;
  DWORD size = 0;
  LONG rc = ::RegQueryValueExA(key, "ProductType", nullptr, &type, nullptr, &size);
  if (rc == ERROR_FILE_NOT_FOUND) {
    in.Registry = TWinVersionInputs::TRegistry::Text;  // a missing value reads as the empty text
  } else if (rc != ERROR_SUCCESS) {
    in.Registry = TWinVersionInputs::TRegistry::ReadFailed;
  } else if (type != REG_SZ && type != REG_EXPAND_SZ) {
    in.Registry = TWinVersionInputs::TRegistry::NotText;
  } else {
    std::string value(size + 1, '\0');
    DWORD got = size;
    rc = ::RegQueryValueExA(key, "ProductType", nullptr, &type,
                            reinterpret_cast<BYTE*>(value.data()), &got);
    if (rc != ERROR_SUCCESS) {
      in.Registry = TWinVersionInputs::TRegistry::ReadFailed;
    } else {
      value.resize(std::strlen(value.c_str()));
      in.Registry = TWinVersionInputs::TRegistry::Text;
      in.RegistryValue = value;
    }
  }
  ::RegCloseKey(key);
}

}  // namespace

TWinVersionInputs ReadWinVersionInputs() {
  TWinVersionInputs in;
  OSVERSIONINFOEXA extended{};
  OSVERSIONINFOA basic{};
  extended.dwOSVersionInfoSize = sizeof extended;
  in.ExtendedAvailable = QueryVersion(reinterpret_cast<OSVERSIONINFOA*>(&extended)) != 0;
  basic.dwOSVersionInfoSize = sizeof basic;
  in.BasicAvailable = QueryVersion(&basic) != 0;
  if (in.BasicAvailable) {
    // The basic record's fields stand over the extended record's first 148 bytes.
    std::memcpy(&extended, &basic, sizeof basic);
  }
  in.PlatformId = extended.dwPlatformId;
  in.MajorVersion = extended.dwMajorVersion;
  in.MinorVersion = extended.dwMinorVersion;
  in.BuildNumber = extended.dwBuildNumber;
  in.CSDVersion.assign(extended.szCSDVersion,
                       ::strnlen(extended.szCSDVersion, sizeof extended.szCSDVersion));
  in.ServicePackMajor = extended.wServicePackMajor;
  in.ServicePackMinor = extended.wServicePackMinor;
  in.SuiteMask = extended.wSuiteMask;
  in.ProductType = extended.wProductType;
  if (gGetProductInfo != nullptr && in.PlatformId == VER_PLATFORM_WIN32_NT &&
      in.MajorVersion == 6 && in.MinorVersion == 0) {
    DWORD product = 0;
    gGetProductInfo(in.MajorVersion, in.MinorVersion, in.ServicePackMajor, in.ServicePackMinor,
                    &product);
    in.ProductInfo = product;
  }
  if (in.PlatformId == VER_PLATFORM_WIN32_NT && in.ProductType != VER_NT_WORKSTATION)
    ReadRegistry(in);
  return in;
}
