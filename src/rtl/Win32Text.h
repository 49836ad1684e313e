// The one crossing between the program's UTF-8 text and the wide text of the
// Win32 calls: the window side and the runtime layer's system texts both use it.
#pragma once

#include <string>
#include <string_view>

std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);
