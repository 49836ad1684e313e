#include <gtest/gtest.h>

#include "rtl/DateTime.h"
#include "rtl/Exceptions.h"

namespace {

std::uint16_t DosDate(int y, int m, int d) {
  return static_cast<std::uint16_t>(((y - 1980) << 9) | (m << 5) | d);
}
std::uint16_t DosTime(int h, int mi, int twoSec) {
  return static_cast<std::uint16_t>((h << 11) | (mi << 5) | twoSec);
}

TEST(DateTime, ZeroIsThirtiethOfDecember1899) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1900, 3, 1), 61.0);
  EXPECT_EQ(EncodeDate(2000, 1, 1), 36526.0);
  const TDateParts p = DecodeDateTime(EncodeDate(2024, 2, 29) + EncodeTime(23, 59, 58, 0));
  EXPECT_EQ(p.Year, 2024);
  EXPECT_EQ(p.Month, 2);
  EXPECT_EQ(p.Day, 29);
  EXPECT_EQ(p.Hour, 23);
  EXPECT_EQ(p.Second, 58);
}

TEST(DosDateTime, ConvertsValidFields) {
  const TDateTime t = DosDateTimeToDateTime(DosDate(2009, 10, 31), DosTime(13, 45, 29));
  EXPECT_DOUBLE_EQ(t, EncodeDate(2009, 10, 31) + EncodeTime(13, 45, 58, 0));
}

struct TBadDos {
  const char* what;
  std::uint16_t date, time;
};

class DosDateTimeInvalid : public ::testing::TestWithParam<TBadDos> {};

TEST_P(DosDateTimeInvalid, RaisesConvertError) {
  EXPECT_THROW(DosDateTimeToDateTime(GetParam().date, GetParam().time), EConvertError)
      << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Fields, DosDateTimeInvalid,
    ::testing::Values(TBadDos{"date 0: month 0 and day 0", 0, 0},
                      TBadDos{"month 13", DosDate(2000, 13, 1), 0},
                      TBadDos{"30 February", DosDate(2001, 2, 29), 0},
                      TBadDos{"day 31 of April", DosDate(2001, 4, 31), 0},
                      TBadDos{"hour 24", DosDate(2001, 1, 1), DosTime(24, 0, 0)},
                      TBadDos{"minute 60", DosDate(2001, 1, 1), DosTime(1, 60, 0)},
                      TBadDos{"two-second count 30", DosDate(2001, 1, 1), DosTime(1, 1, 30)}));

}  // namespace
