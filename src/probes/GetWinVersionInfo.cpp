#include "probes/GetWinVersionInfo.h"

#include <array>
#include <utility>

#include "rtl/Exceptions.h"
#include "rtl/Text.h"

namespace {

constexpr const char* kRegistryValueName = "ProductType";

std::string WindowsFamilyName(const TWinVersionInputs& in) {
  // Three independent tests; the last that applies wins, as they exclude one another.
  std::string name = "Error";
  const char second = in.CSDVersion.size() > 1 ? in.CSDVersion[1] : '\0';
  if (in.MajorVersion == 4 && in.MinorVersion == 0) {
    name = "Windows 95 ";
    if (second == 'C') name += "OSR2";
  }
  if (in.MajorVersion == 4 && in.MinorVersion == 10) {
    name = "Windows 98 ";
    if (second == 'A') name += "SE";
  }
  if (in.MajorVersion == 4 && in.MinorVersion == 90) name = "Windows Me";
  return name;
}

// Answers the NT version's name and whether the suffix rules may still follow.
std::pair<std::string, bool> NTVersionName(const TWinVersionInputs& in) {
  const std::uint32_t major = in.MajorVersion;
  const std::uint32_t minor = in.MinorVersion;
  bool suffixes = in.ExtendedAvailable;
  std::string name = "Error";
  if (major <= 4) {
    name = "Windows NT ";
  } else if (major == 5 && minor == 0) {
    name = "Windows 2000 ";
  } else if (major == 5 && minor == 1) {
    name = "Windows XP ";
  } else if (major == 6 && minor == 1) {
    name = "Windows 7 ";
  } else if (major == 6 && minor == 2) {
    name = "Windows 8 ";
  } else if (major == 6 && minor == 3) {
    name = "Windows 8.1 ";
  } else if (major == 10 && minor == 0) {
    // Windows 11 still reports 10.0; its builds start at 22000.
    name = in.BuildNumber >= 22000 ? "Windows 11 " : "Windows 10 ";
  } else if (major == 6 && minor == 0) {
    name = "Windows Vista ";
    if (in.ProductInfo.has_value()) {
      name += ProductInfoEdition(*in.ProductInfo);
      suffixes = false;
    }
  }
  return {name, suffixes};
}

std::string WorkstationSuffix(std::uint16_t suiteMask) {
  if (suiteMask == 0x0200) return "Personal";
  if (suiteMask == 0x0300) return "Home Premium";
  return " - Product type: " + IntToStr(suiteMask);
}

std::string ServerSuffix(std::uint16_t suiteMask) {
  if (suiteMask == 0x0080) return "DataCenter Server";
  if (suiteMask == 0x0002) return "Advanced Server";
  return "Server";
}

std::string RegistrySuffix(const TWinVersionInputs& in) {
  switch (in.Registry) {
    case TWinVersionInputs::TRegistry::KeyMissing:
      return std::string();
    case TWinVersionInputs::TRegistry::NotText:
      throw ERegistryException(Format("Invalid data type for '%s'", {kRegistryValueName}));
    case TWinVersionInputs::TRegistry::ReadFailed:
      throw ERegistryException(Format("Failed to get data for '%s'", {kRegistryValueName}));
    case TWinVersionInputs::TRegistry::Text:
      break;
  }
  const std::string value = UpperCase(in.RegistryValue);
  if (value == "WINNT") return "Workstation";
  if (value == "SERVERNT") return "Server";
  return std::string();
}

// Non-workstation NT: a server (product type 3) is named from its suite mask,
// which tells its edition without a registry read; a domain controller (2) or
// any other type takes the registry's word.
std::string NonWorkstationSuffix(const TWinVersionInputs& in) {
  return in.ProductType == kVerNTServer ? ServerSuffix(in.SuiteMask) : RegistrySuffix(in);
}

}  // namespace

std::string ProductInfoEdition(std::uint32_t productType) {
  static constexpr std::array<const char*, 29> kEditions = {
      "An unknown product",
      "Ultimate Edition",
      "Home Basic Edition",
      "Home Premium Edition",
      "Enterprise Edition",
      "Home Basic Edition",
      "Business Edition",
      "Server Standard Edition (full installation)",
      "Server Datacenter Edition (full installation)",
      "Small Business Server",
      "Server Enterprise Edition (full installation)",
      "Starter Edition",
      "Server Datacenter Edition (core installation)",
      "Server Standard Edition (core installation)",
      "Server Enterprise Edition (core installation)",
      "Server Enterprise Edition for Itanium-based Systems",
      "Business Edition",
      "Web Server Edition",
      "Cluster Server Edition",
      "Home Server Edition",
      "Storage Server Express Edition",
      "Storage Server Standard Edition",
      "Storage Server Workgroup Edition",
      "Storage Server Enterprise Edition",
      "Server for Small Business Edition",
      "Small Business Server Premium Edition",
      "Home Premium Edition",
      "Enterprise Edition",
      "Ultimate Edition",
  };
  if (productType == 0xABCDABCD) return "Unlicensed product";
  return productType < kEditions.size() ? kEditions[productType] : "";
}

std::string GetWinVersionName(const TWinVersionInputs& in) {
  if (!in.BasicAvailable && !in.ExtendedAvailable) return "Error";
  switch (in.PlatformId) {
    case kVerPlatformWin32s:
      return "Microsoft Win32s";
    case kVerPlatformWindows:
      return WindowsFamilyName(in);
    case kVerPlatformNT:
      break;
    default:
      return "Unknown";
  }
  auto [name, suffixes] = NTVersionName(in);
  if (!suffixes) return name;
  if (in.ProductType == kVerNTWorkstation) return name + WorkstationSuffix(in.SuiteMask);
  return name + NonWorkstationSuffix(in);
}

std::string GetWinVersionName() { return GetWinVersionName(ReadWinVersionInputs()); }
