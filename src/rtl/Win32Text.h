// The one crossing between the program's UTF-8 text and the wide text of the
// Win32 calls: the window side and the runtime layer's system texts both use it.
#pragma once

#include <string>
#include <string_view>

std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);
// Paths and command lines are 8-bit text in the system's ANSI code page, as the
// ANSI file calls take them; a wide call gets them in the same code page.
std::wstring AnsiToWide(std::string_view text);
