// Structured header values and HTTP dates; see IdHeaderValues.h.
#include "http/IdHeaderValues.h"

#include <cctype>
#include <cmath>
#include <ctime>
#include <limits>
#include <mutex>

#include "rtl/Text.h"

namespace {

bool IsTokenDelimiter(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u < 0x20 || u == 0x7F || c == ' ' || c == '"' || c == '\\') return true;
  return std::string_view("()<>@,;:/[]?={}").find(c) != std::string_view::npos;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::string HeaderMainItem(std::string_view value) {
  return Trim(value.substr(0, value.find(';')));
}

std::string MediaSubtype(std::string_view value) {
  const std::string main = HeaderMainItem(value);
  const std::size_t slash = main.find('/');
  return slash == std::string::npos ? std::string() : main.substr(slash + 1);
}

std::vector<THeaderParam> HeaderParams(std::string_view value) {
  std::vector<THeaderParam> params;
  std::size_t i = value.find(';');
  if (i == std::string_view::npos) return params;
  ++i;
  const std::size_t n = value.size();
  while (i < n) {
    while (i < n && IsBlank(value[i])) ++i;
    const std::size_t nameEnd = value.find_first_of("=;", i);
    if (nameEnd == std::string_view::npos) break;
    std::string name = Trim(value.substr(i, nameEnd - i));
    i = nameEnd + 1;
    // A bare word without "=" carries no value.
    if (value[nameEnd] == ';') continue;
    while (i < n && IsBlank(value[i])) ++i;
    std::string paramValue;
    if (i < n && value[i] == '"') {
      for (++i; i < n && value[i] != '"'; ++i) {
        if (value[i] == '\\' && i + 1 < n) ++i;
        paramValue += value[i];
      }
    } else {
      while (i < n && !IsTokenDelimiter(value[i])) paramValue += value[i++];
    }
    // Whatever follows the value up to the next ";" is ignored.
    const std::size_t next = value.find(';', i);
    i = next == std::string_view::npos ? n : next + 1;
    if (!name.empty() && !paramValue.empty())
      params.emplace_back(std::move(name), std::move(paramValue));
  }
  return params;
}

std::string SubItemOf(std::string_view value, std::string_view name) {
  for (const auto& [paramName, paramValue] : HeaderParams(value)) {
    if (SameText(paramName, name)) return paramValue;
  }
  return {};
}

std::string FormatHeaderParam(const THeaderParam& param) {
  bool quote = false;
  for (const char c : param.second) quote = quote || IsTokenDelimiter(c);
  if (!quote) return "; " + param.first + "=" + param.second;
  std::string quoted = "\"";
  for (const char c : param.second) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return "; " + param.first + "=" + quoted + "\"";
}

bool IsMediaType(std::string_view value, std::string_view mediaType) {
  const std::string main = HeaderMainItem(value);
  if (mediaType.find('/') == std::string_view::npos)
    return StartsText(std::string(mediaType) + "/", main);
  return SameText(main, mediaType);
}

bool IsMediaType(std::string_view value, std::initializer_list<std::string_view> mediaTypes) {
  for (const std::string_view type : mediaTypes) {
    if (IsMediaType(value, type)) return true;
  }
  return false;
}

std::string Excerpt(std::string_view text) {
  constexpr std::size_t kLength = 64;
  return text.size() <= kLength ? std::string(text) : std::string(text.substr(0, kLength)) + "...";
}

bool TryParseDecimal64(std::string_view text, std::int64_t& value) {
  const std::string t = Trim(text);
  std::size_t i = 0;
  const bool negative = !t.empty() && t[0] == '-';
  if (!t.empty() && (t[0] == '-' || t[0] == '+')) ++i;
  if (i == t.size()) return false;
  std::uint64_t magnitude = 0;
  const std::uint64_t limit =
      static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + (negative ? 1 : 0);
  for (; i < t.size(); ++i) {
    if (t[i] < '0' || t[i] > '9') return false;
    const auto digit = static_cast<std::uint64_t>(t[i] - '0');
    if (magnitude > (limit - digit) / 10) return false;
    magnitude = magnitude * 10 + digit;
  }
  value =
      negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
  return true;
}

// ---- dates ----------------------------------------------------------------

namespace {

constexpr std::string_view kMonths[12] = {"jan", "feb", "mar", "apr", "may", "jun",
                                          "jul", "aug", "sep", "oct", "nov", "dec"};
constexpr std::string_view kDayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::string_view kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr double kSecondsPerDay = 86400.0;
// 1970-01-01 as a TDateTime.
constexpr double kUnixEpoch = 25569.0;

int MonthOfWord(std::string_view word) {
  if (word.size() < 3) return 0;
  for (int m = 0; m < 12; ++m) {
    if (StartsText(kMonths[m], word)) return m + 1;
  }
  return 0;
}

bool IsDayName(std::string_view word) {
  static constexpr std::string_view kDays[7] = {"sun", "mon", "tue", "wed", "thu", "fri", "sat"};
  if (word.size() < 3) return false;
  for (const std::string_view d : kDays) {
    if (StartsText(d, word)) return true;
  }
  return false;
}

// Offsets of common zone names from GMT, in minutes; unknown names count as GMT.
int ZoneOffsetMinutes(std::string_view word) {
  struct Zone {
    std::string_view Name;
    int Minutes;
  };
  static constexpr Zone kZones[] = {{"EST", -300}, {"EDT", -240}, {"CST", -360}, {"CDT", -300},
                                    {"MST", -420}, {"MDT", -360}, {"PST", -480}, {"PDT", -420},
                                    {"CET", 60},   {"CEST", 120}};
  for (const Zone& z : kZones) {
    if (SameText(z.Name, word)) return z.Minutes;
  }
  return 0;
}

struct TDateFields {
  int Year = -1, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
  bool HaveTime = false, Pm = false, Am = false;
  int OffsetMinutes = 0;
  int YearDigits = 0;
};

bool ParseTime(std::string_view text, std::size_t& i, TDateFields& f) {
  int parts[3] = {0, 0, 0};
  int count = 0;
  while (count < 3) {
    std::size_t start = i;
    int v = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) && i - start < 2) {
      v = v * 10 + (text[i++] - '0');
    }
    if (i == start) return false;
    parts[count++] = v;
    if (count < 3 && i < text.size() && (text[i] == ':' || text[i] == '.') && i + 1 < text.size() &&
        std::isdigit(static_cast<unsigned char>(text[i + 1]))) {
      ++i;
    } else {
      break;
    }
  }
  // Fractions of a second are dropped.
  if (i < text.size() && (text[i] == '.' || text[i] == ',')) {
    ++i;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
  }
  if (count < 2) return false;
  f.Hour = parts[0];
  f.Minute = parts[1];
  f.Second = parts[2];
  f.HaveTime = true;
  return true;
}

// "+0100", "-05:00", "+01".
bool ParseOffset(std::string_view text, std::size_t& i, TDateFields& f) {
  const int sign = text[i] == '-' ? -1 : 1;
  std::size_t j = i + 1;
  std::string digits;
  while (j < text.size() && (std::isdigit(static_cast<unsigned char>(text[j])) || text[j] == ':')) {
    if (text[j] != ':') digits += text[j];
    ++j;
  }
  if (digits.size() != 2 && digits.size() != 4) return false;
  const int hours = std::stoi(digits.substr(0, 2));
  const int minutes = digits.size() == 4 ? std::stoi(digits.substr(2)) : 0;
  f.OffsetMinutes = sign * (hours * 60 + minutes);
  i = j;
  return true;
}

bool ParseIso8601(std::string_view text, TDateFields& f) {
  // YYYY-MM-DD[(T| )HH:MM[:SS][.fff]][Z|+HH[:MM]]
  if (text.size() < 10 || text[4] != '-' || text[7] != '-') return false;
  for (const std::size_t p : {0, 1, 2, 3, 5, 6, 8, 9}) {
    if (!std::isdigit(static_cast<unsigned char>(text[p]))) return false;
  }
  f.Year = std::stoi(std::string(text.substr(0, 4)));
  f.Month = std::stoi(std::string(text.substr(5, 2)));
  f.Day = std::stoi(std::string(text.substr(8, 2)));
  f.YearDigits = 4;
  std::size_t i = 10;
  if (i == text.size()) return true;
  if (text[i] != 'T' && text[i] != 't' && text[i] != ' ') return false;
  ++i;
  if (!ParseTime(text, i, f)) return false;
  if (i == text.size()) return true;
  if (text[i] == 'Z' || text[i] == 'z') return i + 1 == text.size();
  if (text[i] == '+' || text[i] == '-') return ParseOffset(text, i, f) && i == text.size();
  return false;
}

bool ParseLoose(std::string_view text, TDateFields& f) {
  std::size_t i = 0;
  bool first = true;
  while (i < text.size()) {
    const char c = text[i];
    if (std::isalpha(static_cast<unsigned char>(c))) {
      std::size_t start = i;
      while (i < text.size() && std::isalpha(static_cast<unsigned char>(text[i]))) ++i;
      const std::string_view word = text.substr(start, i - start);
      if (SameText(word, "AM")) {
        f.Am = true;
      } else if (SameText(word, "PM")) {
        f.Pm = true;
      } else if (first && IsDayName(word)) {
        // A leading day name is skipped.
      } else if (const int m = MonthOfWord(word); m != 0 && f.Month == 0) {
        f.Month = m;
      } else if (f.HaveTime) {
        f.OffsetMinutes = ZoneOffsetMinutes(word);
      } else {
        return false;
      }
    } else if (std::isdigit(static_cast<unsigned char>(c))) {
      std::size_t start = i;
      while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
      if (i < text.size() && (text[i] == ':' || text[i] == '.') && !f.HaveTime && i - start <= 2 &&
          i + 1 < text.size() && std::isdigit(static_cast<unsigned char>(text[i + 1]))) {
        i = start;
        if (!ParseTime(text, i, f)) return false;
        first = false;
        continue;
      }
      const std::string_view digits = text.substr(start, i - start);
      if (digits.size() > 4) return false;
      const int v = std::stoi(std::string(digits));
      if (digits.size() <= 2 && f.Day == 0) {
        f.Day = v;
      } else if (f.Year < 0) {
        f.Year = v;
        f.YearDigits = static_cast<int>(digits.size());
      } else {
        return false;
      }
    } else if ((c == '+' || c == '-') && f.HaveTime && i + 1 < text.size() &&
               std::isdigit(static_cast<unsigned char>(text[i + 1]))) {
      if (!ParseOffset(text, i, f)) return false;
    } else {
      ++i;  // separators: blanks, commas, dashes, slashes
    }
    first = false;
  }
  return f.Day > 0 && f.Month > 0 && f.Year >= 0;
}

std::tm LocalParts(std::time_t t) {
  // localtime's result is a shared static buffer: copy it under a lock.
  static std::mutex lock;
  const std::lock_guard<std::mutex> guard(lock);
  const std::tm* parts = std::localtime(&t);
  return parts != nullptr ? *parts : std::tm{};
}

// Local minus GMT, in days, at the given GMT instant.
double LocalOffsetDays(TDateTime gmt) {
  const double seconds = std::floor((gmt - kUnixEpoch) * kSecondsPerDay);
  if (seconds < 0 || seconds > 32503680000.0) return 0;  // outside what localtime covers everywhere
  const auto t = static_cast<std::time_t>(seconds);
  const std::tm local = LocalParts(t);
  TDateTime date = 0;
  TDateTime time = 0;
  if (!TryEncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, date) ||
      !TryEncodeTime(local.tm_hour, local.tm_min, local.tm_sec, 0, time)) {
    return 0;
  }
  const double localDays = date + time;
  const double gmtDays = kUnixEpoch + static_cast<double>(t) / kSecondsPerDay;
  return std::round((localDays - gmtDays) * 1440.0) / 1440.0;
}

}  // namespace

bool TryParseHttpDateGMT(std::string_view text, TDateTime& gmt) {
  const std::string t = Trim(text);
  TDateFields f;
  if (!ParseIso8601(t, f)) {
    f = TDateFields{};
    if (!ParseLoose(t, f)) return false;
  }
  if (f.YearDigits <= 2) {
    f.Year += f.Year < 50 ? 2000 : 1900;
  } else if (f.YearDigits == 3) {
    f.Year += 1900;
  }
  if (f.Pm && f.Hour < 12) f.Hour += 12;
  if (f.Am && f.Hour == 12) f.Hour = 0;
  TDateTime date = 0;
  TDateTime time = 0;
  if (!TryEncodeDate(f.Year, f.Month, f.Day, date) ||
      !TryEncodeTime(f.Hour, f.Minute, f.Second, 0, time)) {
    return false;
  }
  gmt = date + time - f.OffsetMinutes / 1440.0;
  return true;
}

TDateTime GMTToLocalTime(TDateTime gmt) { return gmt + LocalOffsetDays(gmt); }

TDateTime LocalTimeToGMT(TDateTime local) { return local - LocalOffsetDays(local); }

TDateTime NowLocal() {
  return GMTToLocalTime(kUnixEpoch + static_cast<double>(std::time(nullptr)) / kSecondsPerDay);
}

std::string LocalDateTimeToHttpStr(TDateTime local) {
  const TDateTime gmt = LocalTimeToGMT(local);
  const TDateParts p = DecodeDateTime(gmt);
  const auto days = static_cast<std::int64_t>(std::floor(gmt));
  // Day 0 (30 December 1899) was a Saturday.
  const auto dow = static_cast<std::size_t>(((days % 7) + 7 + 6) % 7);
  return Format(
      "%s, %.2d %s %.4d %.2d:%.2d:%.2d GMT",
      {kDayNames[dow], p.Day, kMonthNames[p.Month - 1], p.Year, p.Hour, p.Minute, p.Second});
}
