// Charsets of response bodies: the XML 1.0 autodetection of an XML body's
// encoding, and decoding named charsets into the program's 8-bit text
// (Windows-1250, the installer's code page).
#pragma once

#include <string>
#include <string_view>

#include "rtl/Streams.h"

// The encoding an XML body declares or implies; reads from the stream's
// position and leaves it there, moved past a byte order mark when there is one.
std::string XMLCharsetOf(TStream& stream);
// Bytes of the named charset as 8-bit text; characters the code page lacks
// become "?". An empty or unknown name keeps one character per byte.
std::string DecodeCharset(std::string_view bytes, std::string_view charset);
