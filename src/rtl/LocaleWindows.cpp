// The user's number format from the Windows locale.
#include <windows.h>

#include "rtl/Text.h"

TFormatSettings PlatformFormatSettings() {
  TFormatSettings settings;
  char buffer[8] = {};
  if (::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, buffer, sizeof buffer) > 0) {
    settings.ThousandSeparator = buffer[0];
  }
  if (::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buffer, sizeof buffer) > 0 && buffer[0] != 0) {
    settings.DecimalSeparator = buffer[0];
  }
  return settings;
}
