#include <gtest/gtest.h>

#include "TestSupport.h"
#include "probes/GetWinVersionInfo.h"

namespace {

TWinVersionInputs Version(std::uint32_t platform, std::uint32_t major, std::uint32_t minor) {
  TWinVersionInputs in;
  in.BasicAvailable = true;
  in.PlatformId = platform;
  in.MajorVersion = major;
  in.MinorVersion = minor;
  return in;
}

TWinVersionInputs NT(std::uint32_t major, std::uint32_t minor, std::uint16_t suite,
                     std::uint8_t product = 1) {
  TWinVersionInputs in = Version(kVerPlatformNT, major, minor);
  in.ExtendedAvailable = true;
  in.BuildNumber = 7601;
  in.SuiteMask = suite;
  in.ProductType = product;
  return in;
}

TWinVersionInputs Win9x(std::uint32_t minor, const char* csd) {
  TWinVersionInputs in = Version(kVerPlatformWindows, 4, minor);
  in.CSDVersion = csd;
  return in;
}

struct TNameCase {
  const char* what;
  TWinVersionInputs in;
  std::string expected;
};

TWinVersionInputs WithProductInfo(TWinVersionInputs in, std::uint32_t product) {
  in.ProductInfo = product;
  return in;
}
TWinVersionInputs WithBuild(TWinVersionInputs in, std::uint32_t build) {
  in.BuildNumber = build;
  return in;
}
TWinVersionInputs WithoutExtended(TWinVersionInputs in) {
  in.ExtendedAvailable = false;
  return in;
}

class WinVersionName : public ::testing::TestWithParam<TNameCase> {};

TEST_P(WinVersionName, FollowsTheRules) {
  EXPECT_EQ(GetWinVersionName(GetParam().in), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, WinVersionName,
    ::testing::Values(
        // Two spaces before the dash: the name brings one, the suffix another.
        TNameCase{"7 with an unnamed suite", NT(6, 1, 0x0100), "Windows 7  - Product type: 256"},
        TNameCase{"XP Personal", NT(5, 1, 0x0200), "Windows XP Personal"},
        TNameCase{"XP Home Premium", NT(5, 1, 0x0300), "Windows XP Home Premium"},
        TNameCase{"Vista Ultimate", WithProductInfo(NT(6, 0, 0x0200), 1),
                  "Windows Vista Ultimate Edition"},
        TNameCase{"Vista unlicensed", WithProductInfo(NT(6, 0, 0), 0xABCDABCD),
                  "Windows Vista Unlicensed product"},
        TNameCase{"Vista unknown edition: no suffix either", WithProductInfo(NT(6, 0, 0x0200), 100),
                  "Windows Vista "},
        TNameCase{"Vista without the product query", NT(6, 0, 0x0200), "Windows Vista Personal"},
        TNameCase{"10 is named", WithBuild(NT(10, 0, 0x0100), 19045),
                  "Windows 10  - Product type: 256"},
        TNameCase{"11 from its build", WithBuild(NT(10, 0, 0x0300), 22621),
                  "Windows 11 Home Premium"},
        TNameCase{"a version with no name", NT(6, 4, 0x0200), "ErrorPersonal"},
        TNameCase{"NT 4 without the extended record", WithoutExtended(NT(4, 0, 0x0200)),
                  "Windows NT "},
        TNameCase{"2000", NT(5, 0, 0x0200), "Windows 2000 Personal"},
        TNameCase{"8.1", NT(6, 3, 0x0300), "Windows 8.1 Home Premium"},
        TNameCase{"95 OSR2", Win9x(0, " C"), "Windows 95 OSR2"},
        TNameCase{"95 plain", Win9x(0, " B"), "Windows 95 "},
        TNameCase{"98 SE", Win9x(10, " A"), "Windows 98 SE"},
        TNameCase{"Me", Win9x(90, ""), "Windows Me"},
        TNameCase{"95 with an empty service-pack text", Win9x(0, ""), "Windows 95 "}));

TEST(WinVersionNameFamilies, Win32sUnknownPlatformAndNoRecord) {
  TWinVersionInputs in;
  in.BasicAvailable = true;
  in.PlatformId = 0;
  EXPECT_EQ(GetWinVersionName(in), "Microsoft Win32s");
  in.PlatformId = 3;
  EXPECT_EQ(GetWinVersionName(in), "Unknown");
  in.BasicAvailable = false;
  EXPECT_EQ(GetWinVersionName(in), "Error");
}

TEST(WinVersionNameServers, ServerSuffixComesFromTheSuiteMask) {
  EXPECT_EQ(GetWinVersionName(NT(6, 1, 0x0080, 3)), "Windows 7 DataCenter Server");
  EXPECT_EQ(GetWinVersionName(NT(6, 1, 0x0002, 3)), "Windows 7 Advanced Server");
  EXPECT_EQ(GetWinVersionName(NT(6, 1, 0x0010, 3)), "Windows 7 Server");
}

TEST(WinVersionNameServers, DomainControllerTakesTheRegistryWord) {
  TWinVersionInputs in = NT(5, 0, 0, 2);
  in.Registry = TWinVersionInputs::TRegistry::Text;
  in.RegistryValue = "ServerNT";
  EXPECT_EQ(GetWinVersionName(in), "Windows 2000 Server");
  in.RegistryValue = "winnt";
  EXPECT_EQ(GetWinVersionName(in), "Windows 2000 Workstation");
  in.RegistryValue = "LanmanNT";
  EXPECT_EQ(GetWinVersionName(in), "Windows 2000 ");
  in.Registry = TWinVersionInputs::TRegistry::KeyMissing;
  EXPECT_EQ(GetWinVersionName(in), "Windows 2000 ");
  in.Registry = TWinVersionInputs::TRegistry::NotText;
  testsupport::ExpectThrowMessage<ERegistryException>([&] { GetWinVersionName(in); },
                                                      "Invalid data type for 'ProductType'");
  in.Registry = TWinVersionInputs::TRegistry::ReadFailed;
  testsupport::ExpectThrowMessage<ERegistryException>([&] { GetWinVersionName(in); },
                                                      "Failed to get data for 'ProductType'");
}

TEST(WinVersionNameOfThisSystem, IsNeverEmpty) {
#ifndef _WIN32
  SetWinVersionInputs(NT(6, 1, 0x0300));
  EXPECT_EQ(GetWinVersionName(), "Windows 7 Home Premium");
  SetWinVersionInputs(TWinVersionInputs{});
#endif
  // Under Wine: whatever version it reports has a name and a suffix.
  EXPECT_FALSE(GetWinVersionName().empty());
}

}  // namespace
