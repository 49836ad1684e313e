// 8-bit text helpers: Format with the specifiers the program uses, integer
// conversion, case and trimming. Locale facts come from the platform once.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

// Separators are UTF-8 text: a locale's may take several bytes (a no-break space).
struct TFormatSettings {
  std::string ThousandSeparator = ",";
  std::string DecimalSeparator = ".";
};

// The user's settings, read from the platform the first time they are needed.
const TFormatSettings& DefaultFormatSettings();

// One argument of Format: an integer, a floating-point number or a text.
class TFormatArg {
 public:
  TFormatArg(int v) : FValue(static_cast<std::int64_t>(v)) {}
  TFormatArg(long v) : FValue(static_cast<std::int64_t>(v)) {}
  TFormatArg(long long v) : FValue(static_cast<std::int64_t>(v)) {}
  TFormatArg(unsigned v) : FValue(static_cast<std::int64_t>(v)) {}
  TFormatArg(unsigned long v) : FValue(static_cast<std::int64_t>(v)) {}
  TFormatArg(unsigned long long v) : FValue(static_cast<std::int64_t>(v)) {}
  TFormatArg(double v) : FValue(v) {}
  TFormatArg(const char* v) : FValue(std::string(v)) {}
  TFormatArg(std::string_view v) : FValue(std::string(v)) {}
  TFormatArg(const std::string& v) : FValue(v) {}

  const std::variant<std::int64_t, double, std::string>& Value() const { return FValue; }

 private:
  std::variant<std::int64_t, double, std::string> FValue;
};

// Format: %d, %u, %x/%X, %s, %n (number with thousands separators), %f, %%,
// each with optional '-', width and .precision ('*' is not supported). The width
// counts characters of the UTF-8 text, not bytes.
// A specifier that does not fit its argument, or a missing argument, raises
// EConvertError naming the format.
std::string Format(std::string_view format, std::initializer_list<TFormatArg> args);
std::string Format(std::string_view format, std::initializer_list<TFormatArg> args,
                   const TFormatSettings& settings);

std::string IntToStr(std::int64_t value);
std::string IntToHex(std::uint64_t value, int digits);
// Decimal text, optional sign, optional "$"/"0x" hex prefix; anything else raises
// EConvertError "'%s' is not a valid integer value".
int StrToInt(std::string_view text);
std::int64_t StrToInt64(std::string_view text);
// As StrToInt, but answers fallback instead of raising.
std::int64_t StrToInt64Def(std::string_view text, std::int64_t fallback);
[[nodiscard]] bool TryStrToInt64(std::string_view text, std::int64_t& value);

std::string UpperCase(std::string_view text);  // ASCII letters only
std::string LowerCase(std::string_view text);
bool SameText(std::string_view a, std::string_view b);
std::string Trim(std::string_view text);  // removes bytes up to and including space
std::string TrimLeft(std::string_view text);
std::string TrimRight(std::string_view text);
bool StartsText(std::string_view prefix, std::string_view text);  // case-insensitive

// The platform's decimal separator and thousands separator of the user's locale.
TFormatSettings PlatformFormatSettings();
