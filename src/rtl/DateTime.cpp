#include "rtl/DateTime.h"

#include <cmath>

#include "rtl/Exceptions.h"
#include "rtl/Text.h"

namespace {
constexpr double kMsPerDay = 86400000.0;
// Days from 0001-01-01 to 1899-12-30, the zero of TDateTime.
constexpr std::int64_t kDateDelta = 693594;

std::int64_t DaysSinceYearOne(int year, int month, int day) {
  std::int64_t days = day;
  for (int m = 1; m < month; ++m) days += DaysInMonth(year, m);
  const std::int64_t y = year - 1;
  return days + y * 365 + y / 4 - y / 100 + y / 400;
}
}  // namespace

bool IsLeapYear(int year) { return (year % 4 == 0) && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return (month == 2 && IsLeapYear(year)) ? 29 : kDays[month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month)) {
    return false;
  }
  result = static_cast<double>(DaysSinceYearOne(year, month, day) - kDateDelta);
  return true;
}

bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& result) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
      millisecond < 0 || millisecond > 999) {
    return false;
  }
  result = ((hour * 3600.0 + minute * 60.0 + second) * 1000.0 + millisecond) / kMsPerDay;
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime result = 0;
  if (!TryEncodeDate(year, month, day, result)) {
    throw EConvertError(Format("Invalid date %d-%d-%d", {year, month, day}));
  }
  return result;
}

TDateTime EncodeTime(int hour, int minute, int second, int millisecond) {
  TDateTime result = 0;
  if (!TryEncodeTime(hour, minute, second, millisecond, result)) {
    throw EConvertError(Format("Invalid time %d:%d:%d.%d", {hour, minute, second, millisecond}));
  }
  return result;
}

TDateParts DecodeDateTime(TDateTime value) {
  TDateParts parts{};
  // Negative values count days backwards but times forwards, as the zero date's convention has it.
  const double whole = std::trunc(value);
  const std::int64_t ms = std::llround(std::fabs(value - whole) * kMsPerDay);
  std::int64_t days = static_cast<std::int64_t>(whole) + kDateDelta + (ms >= 86400000 ? 1 : 0);
  std::int64_t msOfDay = ms % 86400000;
  parts.Hour = static_cast<int>(msOfDay / 3600000);
  parts.Minute = static_cast<int>(msOfDay / 60000 % 60);
  parts.Second = static_cast<int>(msOfDay / 1000 % 60);
  parts.Millisecond = static_cast<int>(msOfDay % 1000);
  int year = 1;
  if (days < 1) days = 1;
  // 400 years always hold 146097 days.
  year += static_cast<int>((days - 1) / 146097 * 400);
  days = (days - 1) % 146097 + 1;
  while (days > (IsLeapYear(year) ? 366 : 365)) {
    days -= IsLeapYear(year) ? 366 : 365;
    ++year;
  }
  int month = 1;
  while (days > DaysInMonth(year, month)) {
    days -= DaysInMonth(year, month);
    ++month;
  }
  parts.Year = year;
  parts.Month = month;
  parts.Day = static_cast<int>(days);
  return parts;
}

TDateTime DosDateTimeToDateTime(std::uint16_t dosDate, std::uint16_t dosTime) {
  const int year = 1980 + (dosDate >> 9);
  const int month = (dosDate >> 5) & 0x0F;
  const int day = dosDate & 0x1F;
  const int hour = dosTime >> 11;
  const int minute = (dosTime >> 5) & 0x3F;
  const int twoSeconds = dosTime & 0x1F;
  TDateTime date = 0;
  TDateTime time = 0;
  if (!TryEncodeDate(year, month, day, date) || twoSeconds > 29 ||
      !TryEncodeTime(hour, minute, twoSeconds * 2, 0, time)) {
    throw EConvertError(Format("Invalid MS-DOS date 0x%.4x or time 0x%.4x", {dosDate, dosTime}));
  }
  return date + time;
}
