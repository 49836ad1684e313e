// The user's number format from the Windows locale, read as wide text: a
// separator such as the no-break space of Czech or Polish has no single byte
// that the window's UTF-8 could show.
#include <windows.h>

#include "rtl/Text.h"
#include "rtl/Win32Text.h"

namespace {
// The locale's text for one item as UTF-8; false when the system has none.
bool LocaleText(LCTYPE item, std::string& text) {
  wchar_t buffer[16] = {};  // a separator is at most three characters and the terminator
  const int n = ::GetLocaleInfoW(LOCALE_USER_DEFAULT, item, buffer, 16);
  if (n <= 0) return false;
  text = WideToUtf8(std::wstring_view(buffer, static_cast<std::size_t>(n - 1)));
  return true;
}
}  // namespace

TFormatSettings PlatformFormatSettings() {
  TFormatSettings settings;
  std::string text;
  // An empty thousands separator is the user's choice of no grouping.
  if (LocaleText(LOCALE_STHOUSAND, text)) settings.ThousandSeparator = text;
  if (LocaleText(LOCALE_SDECIMAL, text) && !text.empty()) settings.DecimalSeparator = text;
  return settings;
}
