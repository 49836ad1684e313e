// The user's number format from the environment's locale (LC_NUMERIC, LANG),
// kept as UTF-8 like every text of the program.
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <cstring>
#include <memory>
#include <type_traits>

#include "rtl/Text.h"

namespace {

// Owns a locale object; frees it once.
struct TFreeLocale {
  void operator()(locale_t locale) const noexcept { ::freelocale(locale); }
};
using TScopedLocale = std::unique_ptr<std::remove_pointer_t<locale_t>, TFreeLocale>;

// A locale text in the locale's own character set, as UTF-8; false when it
// cannot be converted. A separator is a few characters, so a small buffer does.
bool ToUtf8(const char* text, const char* codeset, std::string& out) {
  const std::size_t n = std::strlen(text);
  bool ascii = true;
  for (std::size_t i = 0; i < n; ++i) ascii = ascii && static_cast<unsigned char>(text[i]) < 0x80;
  if (ascii || std::strcmp(codeset, "UTF-8") == 0) {
    out.assign(text, n);
    return true;
  }
  const iconv_t cd = ::iconv_open("UTF-8", codeset);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  char buffer[64];
  char* in = const_cast<char*>(text);
  std::size_t inLeft = n;
  char* put = buffer;
  std::size_t outLeft = sizeof buffer;
  const bool ok =
      ::iconv(cd, &in, &inLeft, &put, &outLeft) != static_cast<std::size_t>(-1) && inLeft == 0;
  ::iconv_close(cd);
  if (ok) out.assign(buffer, sizeof buffer - outLeft);
  return ok;
}

}  // namespace

TFormatSettings PlatformFormatSettings() {
  TFormatSettings settings;
  // The character set belongs to LC_CTYPE; the separators to LC_NUMERIC.
  const TScopedLocale user(
      ::newlocale(LC_NUMERIC_MASK | LC_CTYPE_MASK, "", static_cast<locale_t>(0)));
  if (!user) return settings;
  const char* codeset = ::nl_langinfo_l(CODESET, user.get());
  const char* thousands = ::nl_langinfo_l(THOUSEP, user.get());
  const char* decimal = ::nl_langinfo_l(RADIXCHAR, user.get());
  if (codeset == nullptr) codeset = "ANSI_X3.4-1968";
  std::string text;
  // The C locale has no thousands separator at all; the default stands in for it.
  if (thousands != nullptr && thousands[0] != 0 && ToUtf8(thousands, codeset, text))
    settings.ThousandSeparator = text;
  if (decimal != nullptr && decimal[0] != 0 && ToUtf8(decimal, codeset, text))
    settings.DecimalSeparator = text;
  return settings;
}
