#include "rtl/Text.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "rtl/Exceptions.h"

namespace {

struct TConversion {
  bool LeftAlign = false;
  int Width = -1;
  int Precision = -1;
  char Kind = 0;
};

[[noreturn]] void RaiseInvalidFormat(std::string_view format) {
  throw EConvertError("Format '" + std::string(format) + "' invalid or incompatible with argument");
}

// Characters of UTF-8 text: every byte that does not continue a sequence.
std::size_t CharacterCount(const std::string& text) {
  std::size_t n = 0;
  for (const char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
  return n;
}

std::string Pad(std::string text, const TConversion& conv) {
  const std::size_t length = CharacterCount(text);
  if (conv.Width < 0 || length >= static_cast<std::size_t>(conv.Width)) return text;
  const std::string fill(static_cast<std::size_t>(conv.Width) - length, ' ');
  return conv.LeftAlign ? text + fill : fill + text;
}

std::string GroupThousands(const std::string& digits, const std::string& separator) {
  std::string out;
  const std::size_t n = digits.size();
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0) out += separator;
    out += digits[i];
  }
  return out;
}

// %n: rounded half away from zero to the precision (default 2), grouped by thousands.
std::string FormatNumber(double value, int precision, const TFormatSettings& settings) {
  if (precision < 0) precision = 2;
  if (precision > 18) precision = 18;
  if (!std::isfinite(value)) return std::isnan(value) ? "NAN" : (value < 0 ? "-INF" : "INF");
  const bool negative = std::signbit(value) && value != 0.0;
  const double scale = std::pow(10.0, precision);
  const double rounded = std::floor(std::fabs(value) * scale + 0.5);
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%.0f", rounded);
  std::string all = buffer;
  while (static_cast<int>(all.size()) <= precision) all.insert(all.begin(), '0');
  const std::string whole = all.substr(0, all.size() - static_cast<std::size_t>(precision));
  std::string text = GroupThousands(whole, settings.ThousandSeparator);
  if (precision > 0) text += settings.DecimalSeparator + all.substr(whole.size());
  const bool allZero = rounded == 0.0;
  return (negative && !allZero) ? "-" + text : text;
}

std::string FormatInteger(std::int64_t value, int precision) {
  const unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                                 : static_cast<unsigned long long>(value);
  std::string digits = std::to_string(magnitude);
  while (precision > 0 && static_cast<int>(digits.size()) < precision)
    digits.insert(digits.begin(), '0');
  return value < 0 ? "-" + digits : digits;
}

std::string FormatHex(std::int64_t value, int precision, bool upper) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, upper ? "%llX" : "%llx",
                static_cast<unsigned long long>(value));
  std::string digits = buffer;
  while (precision > 0 && static_cast<int>(digits.size()) < precision)
    digits.insert(digits.begin(), '0');
  return digits;
}

std::string FormatOne(const TConversion& conv, const TFormatArg& arg,
                      const TFormatSettings& settings, std::string_view format) {
  const auto& v = arg.Value();
  switch (conv.Kind) {
    case 'd':
    case 'u':
      if (!std::holds_alternative<std::int64_t>(v)) RaiseInvalidFormat(format);
      return Pad(FormatInteger(std::get<std::int64_t>(v), conv.Precision), conv);
    case 'x':
    case 'X':
      if (!std::holds_alternative<std::int64_t>(v)) RaiseInvalidFormat(format);
      return Pad(FormatHex(std::get<std::int64_t>(v), conv.Precision, conv.Kind == 'X'), conv);
    case 's': {
      if (!std::holds_alternative<std::string>(v)) RaiseInvalidFormat(format);
      std::string text = std::get<std::string>(v);
      if (conv.Precision >= 0 && static_cast<int>(text.size()) > conv.Precision)
        text.resize(static_cast<std::size_t>(conv.Precision));
      return Pad(text, conv);
    }
    case 'n':
    case 'f': {
      double number = 0;
      if (std::holds_alternative<double>(v)) {
        number = std::get<double>(v);
      } else if (std::holds_alternative<std::int64_t>(v)) {
        number = static_cast<double>(std::get<std::int64_t>(v));
      } else {
        RaiseInvalidFormat(format);
      }
      TFormatSettings local = settings;
      if (conv.Kind == 'f') local.ThousandSeparator.clear();
      return Pad(FormatNumber(number, conv.Precision, local), conv);
    }
    default:
      RaiseInvalidFormat(format);
  }
}

}  // namespace

const TFormatSettings& DefaultFormatSettings() {
  // Read once; the user's locale does not change under a running installer.
  static const TFormatSettings settings = PlatformFormatSettings();
  return settings;
}

std::string Format(std::string_view format, std::initializer_list<TFormatArg> args) {
  return Format(format, args, DefaultFormatSettings());
}

std::string Format(std::string_view format, std::initializer_list<TFormatArg> args,
                   const TFormatSettings& settings) {
  std::string out;
  auto next = args.begin();
  std::size_t i = 0;
  while (i < format.size()) {
    const char c = format[i++];
    if (c != '%') {
      out += c;
      continue;
    }
    if (i < format.size() && format[i] == '%') {
      out += '%';
      ++i;
      continue;
    }
    TConversion conv;
    if (i < format.size() && format[i] == '-') {
      conv.LeftAlign = true;
      ++i;
    }
    auto readNumber = [&](int& target) {
      if (i >= format.size() || format[i] < '0' || format[i] > '9') return;
      target = 0;
      while (i < format.size() && format[i] >= '0' && format[i] <= '9') {
        target = target * 10 + (format[i++] - '0');
        if (target > 100000) RaiseInvalidFormat(format);
      }
    };
    readNumber(conv.Width);
    if (i < format.size() && format[i] == '.') {
      ++i;
      conv.Precision = 0;
      readNumber(conv.Precision);
    }
    if (i >= format.size()) RaiseInvalidFormat(format);
    conv.Kind = format[i++];
    if (conv.Kind >= 'A' && conv.Kind <= 'Z' && conv.Kind != 'X')
      conv.Kind = static_cast<char>(conv.Kind - 'A' + 'a');
    if (next == args.end()) RaiseInvalidFormat(format);
    out += FormatOne(conv, *next++, settings, format);
  }
  return out;
}

std::string IntToStr(std::int64_t value) { return std::to_string(value); }

std::string IntToHex(std::uint64_t value, int digits) {
  return FormatHex(static_cast<std::int64_t>(value), digits, true);
}

bool TryStrToInt64(std::string_view text, std::int64_t& value) {
  std::string_view s = text;
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  bool negative = false;
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  int base = 10;
  if (!s.empty() && s.front() == '$') {
    base = 16;
    s.remove_prefix(1);
  } else if (s.size() > 1 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  if (s.empty()) return false;
  unsigned long long acc = 0;
  const unsigned long long limit = negative ? 9223372036854775808ULL : 9223372036854775807ULL;
  for (const char c : s) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return false;
    }
    if (acc > (limit - static_cast<unsigned>(digit)) / static_cast<unsigned>(base)) return false;
    acc = acc * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
  }
  value = negative ? static_cast<std::int64_t>(0ULL - acc) : static_cast<std::int64_t>(acc);
  return true;
}

std::int64_t StrToInt64(std::string_view text) {
  std::int64_t value = 0;
  if (!TryStrToInt64(text, value))
    throw EConvertError(Format("'%s' is not a valid integer value", {text}));
  return value;
}

int StrToInt(std::string_view text) {
  const std::int64_t value = StrToInt64(text);
  if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()) {
    throw EConvertError(Format("'%s' is not a valid integer value", {text}));
  }
  return static_cast<int>(value);
}

std::int64_t StrToInt64Def(std::string_view text, std::int64_t fallback) {
  std::int64_t value = 0;
  return TryStrToInt64(text, value) ? value : fallback;
}

std::string UpperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::string LowerCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && LowerCase(a) == LowerCase(b);
}

bool StartsText(std::string_view prefix, std::string_view text) {
  return text.size() >= prefix.size() && SameText(prefix, text.substr(0, prefix.size()));
}

std::string TrimLeft(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && static_cast<unsigned char>(text[i]) <= ' ') ++i;
  return std::string(text.substr(i));
}

std::string TrimRight(std::string_view text) {
  std::size_t n = text.size();
  while (n > 0 && static_cast<unsigned char>(text[n - 1]) <= ' ') --n;
  return std::string(text.substr(0, n));
}

std::string Trim(std::string_view text) { return TrimRight(TrimLeft(text)); }
