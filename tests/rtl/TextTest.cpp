#include <gtest/gtest.h>

#include "TestSupport.h"
#include "rtl/Strings.h"
#include "rtl/Text.h"

namespace {

using testsupport::ExpectThrowMessage;

TEST(FormatNumber, GroupsRoundsAndPadsToFifteen) {
  const TFormatSettings dots{".", ","};
  // 120.4 GiB free: twelve spaces, then 120.
  EXPECT_EQ(Format("%15.0n", {120.4}, dots), std::string(12, ' ') + "120");
  EXPECT_EQ(Format("%15.0n", {1234567.5}, dots), "      1.234.568");
  EXPECT_EQ(Format("%15.0n", {999.5}, dots), "          1.000");
  // A number longer than the field takes the room it needs.
  EXPECT_EQ(Format("%3.0n", {1234567.0}, dots), "1.234.567");
  EXPECT_EQ(Format("%.2n", {-1234.567}, dots), "-1.234,57");
  EXPECT_EQ(Format("%.0n", {-0.4}, dots), "0");
}

TEST(FormatNumber, MultiByteSeparatorsStayWholeAndTheWidthCountsCharacters) {
  // Czech groups with a no-break space: two bytes, one character of the field.
  const TFormatSettings czech{"\u00A0", ","};
  EXPECT_EQ(Format("%15.0n", {1234567.0}, czech), "      1\u00A0234\u00A0567");
  // A narrow no-break space (three bytes) and a two-byte decimal sign.
  const TFormatSettings wide{"\u202F", "\u066B"};
  EXPECT_EQ(Format("%.2n", {-1234.5}, wide), "-1\u202F234\u066B50");
  EXPECT_EQ(Format("%8.1f", {1234.5}, wide), "  1234\u066B5");  // %f never groups
  const TFormatSettings none{"", "."};
  EXPECT_EQ(Format("%.0n", {1234567.0}, none), "1234567");
}

TEST(FormatSpecifiers, IntegersTextsAndHex) {
  EXPECT_EQ(Format("Socket Error # %d", {10061}), "Socket Error # 10061");
  EXPECT_EQ(Format("%s:%d", {"localhost", 80}), "localhost:80");
  EXPECT_EQ(Format("%x|%.4X|%5d|%-5d|", {255, 0xab, 42, 42}), "ff|00AB|   42|42   |");
  EXPECT_EQ(Format("100%% %.3s", {"abcdef"}), "100% abc");
  EXPECT_EQ(Format("%d", {-9223372036854775807LL - 1}), "-9223372036854775808");
}

TEST(FormatSpecifiers, MismatchAndMissingArgumentRaise) {
  ExpectThrowMessage<EConvertError>([] { Format("%d", {"x"}); },
                                    "Format '%d' invalid or incompatible with argument");
  ExpectThrowMessage<EConvertError>([] { Format("%s %s", {"x"}); },
                                    "Format '%s %s' invalid or incompatible with argument");
  ExpectThrowMessage<EConvertError>([] { Format("50%", {}); },
                                    "Format '50%' invalid or incompatible with argument");
}

TEST(StrToInt, AcceptsDecimalAndHexAndRejectsTheRest) {
  EXPECT_EQ(StrToInt("80"), 80);
  EXPECT_EQ(StrToInt(" -12"), -12);
  EXPECT_EQ(StrToInt("$1F"), 31);
  EXPECT_EQ(StrToInt64("9223372036854775807"), 9223372036854775807LL);
  ExpectThrowMessage<EConvertError>([] { StrToInt("abc"); }, "'abc' is not a valid integer value");
  ExpectThrowMessage<EConvertError>([] { StrToInt("12 "); }, "'12 ' is not a valid integer value");
  ExpectThrowMessage<EConvertError>([] { StrToInt("4294967296"); },
                                    "'4294967296' is not a valid integer value");
  ExpectThrowMessage<EConvertError>([] { StrToInt64("9223372036854775808"); },
                                    "'9223372036854775808' is not a valid integer value");
  EXPECT_EQ(StrToInt64Def("", 7), 7);
}

TEST(StringList, TextSplitsEveryLineEndAndJoinsWithCrLf) {
  TStringList list;
  list.SetText("a\r\nb\nc\rd");
  EXPECT_EQ(list.ToVector(), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(list.Text(), "a\r\nb\r\nc\r\nd\r\n");
  list.SetText("x\r\n\r\n");
  EXPECT_EQ(list.Count(), 2);
}

TEST(StringList, NameValuePairsAreCaseInsensitive) {
  TStringList list;
  list.Add("Host=localhost");
  list.SetValue("HOST", "example");
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Values("host"), "example");
  list.SetValue("host", "");
  EXPECT_EQ(list.Count(), 0);
}

TEST(StringList, OnChangeFiresOncePerBatch) {
  TStringList list;
  int changes = 0;
  list.OnChange = [&](TObject*) { ++changes; };
  list.SetText("a\nb\nc");
  EXPECT_EQ(changes, 1);
  list.Add("d");
  EXPECT_EQ(changes, 2);
  ExpectThrowMessage<EStringListError>([&] { list.Delete(4); }, "List index out of bounds (4)");
}

}  // namespace
