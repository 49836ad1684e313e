// The user's number format from the environment's locale (LC_NUMERIC, LANG).
#include <langinfo.h>
#include <locale.h>

#include "rtl/Text.h"

TFormatSettings PlatformFormatSettings() {
  TFormatSettings settings;
  const locale_t user = ::newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(0));
  if (user == static_cast<locale_t>(0)) return settings;
  const char* thousands = ::nl_langinfo_l(THOUSEP, user);
  const char* decimal = ::nl_langinfo_l(RADIXCHAR, user);
  // A multi-byte separator (a narrow no-break space) has no 8-bit form: keep the default.
  if (thousands != nullptr && thousands[0] != 0 && thousands[1] == 0) settings.ThousandSeparator = thousands[0];
  if (decimal != nullptr && decimal[0] != 0 && decimal[1] == 0) settings.DecimalSeparator = decimal[0];
  ::freelocale(user);
  return settings;
}
