// Reading and writing structured header values: the main item before the first
// ";", its name=value parameters, media-type tests and HTTP dates.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "rtl/DateTime.h"

using THeaderParam = std::pair<std::string, std::string>;

// The text before the first ";", trimmed.
std::string HeaderMainItem(std::string_view value);
// The text after the first "/" of the main item.
std::string MediaSubtype(std::string_view value);
// The name=value pairs after the first ";"; pairs with an empty name or value are dropped.
std::vector<THeaderParam> HeaderParams(std::string_view value);
// The value of the first parameter of that name (any case), or empty.
std::string SubItemOf(std::string_view value, std::string_view name);
// A parameter written back: "; name=value", quoted when the value needs it.
std::string FormatHeaderParam(const THeaderParam& param);

// A type without "/" tests the family ("text"), otherwise the whole type.
bool IsMediaType(std::string_view value, std::string_view mediaType);
bool IsMediaType(std::string_view value, std::initializer_list<std::string_view> mediaTypes);

// An HTTP date (RFC 1123, RFC 850, asctime, ISO 8601 and looser forms) as GMT.
[[nodiscard]] bool TryParseHttpDateGMT(std::string_view text, TDateTime& gmt);
TDateTime GMTToLocalTime(TDateTime gmt);
TDateTime LocalTimeToGMT(TDateTime local);
TDateTime NowLocal();
// "Sun, 06 Nov 1994 08:49:37 GMT" for a local time.
std::string LocalDateTimeToHttpStr(TDateTime local);
// Received text quoted in an error message: enough to recognise it, never a flood.
std::string Excerpt(std::string_view text);
// Signed decimal with surrounding blanks; no hex prefixes, no overflow.
[[nodiscard]] bool TryParseDecimal64(std::string_view text, std::int64_t& value);
