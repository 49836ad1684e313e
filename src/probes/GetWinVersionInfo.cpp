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

// The NT releases named by their version alone.
struct TNTRelease {
  std::uint32_t Major, Minor;
  const char* Name;
};
constexpr TNTRelease kNTReleases[] = {
    {5, 0, "Windows 2000 "}, {5, 1, "Windows XP "},  {6, 1, "Windows 7 "},
    {6, 2, "Windows 8 "},    {6, 3, "Windows 8.1 "},
};
// Windows 11 still reports 10.0; its builds start here.
constexpr std::uint32_t kWindows11FirstBuild = 22000;

// Answers the NT version's name and whether the suffix rules may still follow.
std::pair<std::string, bool> NTVersionName(const TWinVersionInputs& in) {
  const std::uint32_t major = in.MajorVersion;
  const std::uint32_t minor = in.MinorVersion;
  if (major <= 4) return {"Windows NT ", in.ExtendedAvailable};
  for (const TNTRelease& release : kNTReleases) {
    if (major == release.Major && minor == release.Minor)
      return {release.Name, in.ExtendedAvailable};
  }
  if (major == 10 && minor == 0) {
    return {in.BuildNumber >= kWindows11FirstBuild ? "Windows 11 " : "Windows 10 ",
            in.ExtendedAvailable};
  }
  if (major == 6 && minor == 0) {
    // Vista names its edition from the product type instead of the suffixes.
    if (in.ProductInfo.has_value())
      return {"Windows Vista " + ProductInfoEdition(*in.ProductInfo), false};
    return {"Windows Vista ", in.ExtendedAvailable};
  }
  return {"Error", in.ExtendedAvailable};
}

// Suite masks as the version information reports them.
constexpr std::uint16_t kSuiteEnterprise = 0x0002;
constexpr std::uint16_t kSuiteDataCenter = 0x0080;
constexpr std::uint16_t kSuitePersonal = 0x0200;
// Personal together with the single-user terminal services bit (0x0100).
constexpr std::uint16_t kSuiteHomePremium = 0x0300;
// The product type GetProductInfo answers for an unlicensed copy.
constexpr std::uint32_t kProductUnlicensed = 0xABCDABCD;

std::string WorkstationSuffix(std::uint16_t suiteMask) {
  if (suiteMask == kSuitePersonal) return "Personal";
  if (suiteMask == kSuiteHomePremium) return "Home Premium";
  return " - Product type: " + IntToStr(suiteMask);
}

std::string ServerSuffix(std::uint16_t suiteMask) {
  if (suiteMask == kSuiteDataCenter) return "DataCenter Server";
  if (suiteMask == kSuiteEnterprise) return "Advanced Server";
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
  if (productType == kProductUnlicensed) return "Unlicensed product";
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
