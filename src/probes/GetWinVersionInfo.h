// The display name of the running Windows version, built by fixed rules from
// the system's version records. The rules are a pure function of the inputs;
// WinVersionInputsWindows.cpp reads them from the system, WinVersionInputsPosix.cpp
// reports what a test set.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct TWinVersionInputs {
  // Which of the two GetVersionExA queries succeeded.
  bool BasicAvailable = false;
  bool ExtendedAvailable = false;
  // Basic record.
  std::uint32_t PlatformId = 0;
  std::uint32_t MajorVersion = 0;
  std::uint32_t MinorVersion = 0;
  std::uint32_t BuildNumber = 0;
  std::string CSDVersion;  // service-pack text, at most 128 characters
  // Extended record.
  std::uint16_t ServicePackMajor = 0;
  std::uint16_t ServicePackMinor = 0;
  std::uint16_t SuiteMask = 0;
  std::uint8_t ProductType = 0;
  // What GetProductInfo reported for this version; empty when the system has no
  // such query.
  std::optional<std::uint32_t> ProductInfo;

  // The registry value ProductType under HKLM\SYSTEM\CurrentControlSet\Control\ProductOptions.
  enum class TRegistry {
    KeyMissing,  // the key did not open: nothing is appended
    Text,        // a string value (a missing value reads as the empty text)
    NotText,     // the value exists but is not a string
    ReadFailed,  // the value could not be read
  };
  TRegistry Registry = TRegistry::KeyMissing;
  std::string RegistryValue;
};

inline constexpr std::uint32_t kVerPlatformWin32s = 0;
inline constexpr std::uint32_t kVerPlatformWindows = 1;
inline constexpr std::uint32_t kVerPlatformNT = 2;
inline constexpr std::uint8_t kVerNTWorkstation = 1;
inline constexpr std::uint8_t kVerNTServer = 3;

// The rules. Raises ERegistryException "Invalid data type for 'ProductType'" or
// "Failed to get data for 'ProductType'" when the registry rule meets such a value.
std::string GetWinVersionName(const TWinVersionInputs& inputs);

// The name of the system this program runs on. Never empty.
std::string GetWinVersionName();

// The inputs as the platform reports them now.
TWinVersionInputs ReadWinVersionInputs();

// The edition text for a product type reported by GetProductInfo ("" for unknown values).
std::string ProductInfoEdition(std::uint32_t productType);

#ifndef _WIN32
// Native builds have no version records: tests give the inputs to report.
void SetWinVersionInputs(const TWinVersionInputs& inputs);
#endif
