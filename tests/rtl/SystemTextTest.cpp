// Texts that come from the system in the user's language (error messages, the
// locale's separators) reach the program as whole UTF-8. The rtl_tests_cs run
// sets a Czech locale; in other runs these tests have nothing to look at.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "rtl/FileSystem.h"
#include "rtl/Text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <locale.h>
#endif

namespace {

class CzechSystemText : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* wanted = std::getenv("TRAMELA_TEST_LOCALE");
    if (wanted == nullptr || std::string(wanted) != "cs")
      GTEST_SKIP() << "needs the Czech run (rtl_tests_cs)";
      // The run asked for Czech: a missing locale is a broken set-up, not a pass.
#ifdef _WIN32
    ASSERT_EQ(PRIMARYLANGID(LANGIDFROMLCID(GetUserDefaultLCID())), LANG_CZECH)
        << "Wine did not take LANG=cs_CZ.UTF-8: is the glibc locale made (scripts/deps.sh)?";
#else
    const locale_t czech = newlocale(LC_ALL_MASK, "cs_CZ.UTF-8", static_cast<locale_t>(0));
    ASSERT_NE(czech, static_cast<locale_t>(0))
        << "the cs_CZ.UTF-8 locale is missing (scripts/deps.sh)";
    freelocale(czech);
#endif
  }
};

TEST_F(CzechSystemText, ThousandsSeparatorIsAWholeNoBreakSpace) {
  const TFormatSettings settings = PlatformFormatSettings();
#ifdef _WIN32
  EXPECT_EQ(settings.ThousandSeparator, "\u00A0");
#else
  EXPECT_EQ(settings.ThousandSeparator, "\u202F");  // glibc's Czech groups with a narrow one
#endif
  EXPECT_EQ(settings.DecimalSeparator, ",");
  EXPECT_EQ(Format("%15.0n", {1234.4}, settings),
            std::string(10, ' ') + "1" + settings.ThousandSeparator + "234");
}

#ifdef _WIN32
bool ValidUtf8(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    const std::size_t n = c < 0x80           ? 1
                          : (c >> 5) == 0x6  ? 2
                          : (c >> 4) == 0xE  ? 3
                          : (c >> 3) == 0x1E ? 4
                                             : 0;
    if (n == 0 || i + n > text.size()) return false;
    for (std::size_t k = 1; k < n; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += n;
  }
  return true;
}

TEST_F(CzechSystemText, ErrorMessagesAreUtf8InTheUsersLanguage) {
  // The ANSI form of a Czech text is not UTF-8 as soon as it has a "č", "š" or "ž".
  int accented = 0;
  for (std::uint32_t code = 1; code < 1300; ++code) {
    const std::string text = SysErrorMessage(code);
    EXPECT_TRUE(ValidUtf8(text)) << code << ": " << text;
    for (const char c : text) accented += static_cast<unsigned char>(c) >= 0x80 ? 1 : 0;
  }
  EXPECT_GT(accented, 0) << "no Czech text at all: the system answered in another language";
}
#endif

}  // namespace
