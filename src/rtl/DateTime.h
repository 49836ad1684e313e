// Date-time values: days since 30 December 1899, the time of day as the fraction.
#pragma once

#include <cstdint>

using TDateTime = double;

// Raise EConvertError for a date or time that does not exist.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int millisecond);
[[nodiscard]] bool TryEncodeDate(int year, int month, int day, TDateTime& result);
[[nodiscard]] bool TryEncodeTime(int hour, int minute, int second, int millisecond,
                                 TDateTime& result);

struct TDateParts {
  int Year, Month, Day, Hour, Minute, Second, Millisecond;
};
TDateParts DecodeDateTime(TDateTime value);

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

// MS-DOS packed date (bits 15-9 year since 1980, 8-5 month, 4-0 day) and time
// (bits 15-11 hour, 10-5 minute, 4-0 two-second count). An invalid field raises
// EConvertError.
TDateTime DosDateTimeToDateTime(std::uint16_t dosDate, std::uint16_t dosTime);
