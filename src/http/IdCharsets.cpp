// Body charsets; see IdCharsets.h.
#include "http/IdCharsets.h"

#include <array>
#include <cstdint>
#include <vector>

#include "http/IdHeaderValues.h"
#include "rtl/Text.h"

namespace {

// Windows-1250 bytes 0x80..0xFF as Unicode; 0 marks a byte without a character.
constexpr std::array<std::uint16_t, 128> kCp1250 = {
    0x20AC, 0,      0x201A, 0,      0x201E, 0x2026, 0x2020, 0x2021, 0,      0x2030, 0x0160, 0x2039,
    0x015A, 0x0164, 0x017D, 0x0179, 0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0,      0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, 0x00A0, 0x02C7, 0x02D8, 0x0141,
    0x00A4, 0x0104, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x0105, 0x015F, 0x00BB,
    0x013D, 0x02DD, 0x013E, 0x017C, 0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E, 0x0110, 0x0143, 0x0147, 0x00D3,
    0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7, 0x010D, 0x00E9, 0x0119, 0x00EB,
    0x011B, 0x00ED, 0x00EE, 0x010F, 0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9};

char ToCodePage(std::uint32_t cp) {
  if (cp < 0x80) return static_cast<char>(cp);
  for (std::size_t i = 0; i < kCp1250.size(); ++i) {
    if (kCp1250[i] == cp) return static_cast<char>(0x80 + i);
  }
  return '?';
}

std::uint8_t At(std::string_view b, std::size_t i) { return static_cast<std::uint8_t>(b[i]); }

std::vector<std::uint32_t> FromUtf8(std::string_view b) {
  std::vector<std::uint32_t> out;
  for (std::size_t i = 0; i < b.size();) {
    const std::uint8_t c = At(b, i);
    int extra = 0;
    std::uint32_t cp = c;
    if (c >= 0xF0 && c < 0xF5) {
      extra = 3;
      cp = c & 7;
    } else if (c >= 0xE0) {
      extra = c < 0xF0 ? 2 : -1;
      cp = c & 15;
    } else if (c >= 0xC2) {
      extra = 1;
      cp = c & 31;
    } else if (c >= 0x80) {
      extra = -1;
    }
    if (extra < 0 || (extra > 0 && i + static_cast<std::size_t>(extra) >= b.size())) {
      out.push_back('?');
      ++i;
      continue;
    }
    bool ok = true;
    for (int k = 1; k <= extra; ++k) {
      const std::uint8_t t = At(b, i + static_cast<std::size_t>(k));
      ok = ok && (t & 0xC0) == 0x80;
      cp = cp << 6 | (t & 0x3F);
    }
    if (!ok) {
      out.push_back('?');
      ++i;
      continue;
    }
    out.push_back(cp);
    i += static_cast<std::size_t>(extra) + 1;
  }
  return out;
}

std::vector<std::uint32_t> FromUtf16(std::string_view b, bool bigEndian) {
  std::vector<std::uint32_t> out;
  for (std::size_t i = 0; i + 1 < b.size(); i += 2) {
    const std::uint32_t u =
        bigEndian ? (At(b, i) << 8 | At(b, i + 1)) : (At(b, i + 1) << 8 | At(b, i));
    out.push_back(u);  // surrogate halves are never in the code page: both become "?"
  }
  return out;
}

std::vector<std::uint32_t> FromUcs4(std::string_view b, bool bigEndian) {
  std::vector<std::uint32_t> out;
  for (std::size_t i = 0; i + 3 < b.size(); i += 4) {
    std::uint32_t u = 0;
    for (std::size_t k = 0; k < 4; ++k) u = u << 8 | At(b, bigEndian ? i + k : i + 3 - k);
    out.push_back(u);
  }
  return out;
}

// Letters, digits and the declaration's punctuation in EBCDIC (code page 37).
char FromEbcdic(std::uint8_t c) {
  static const std::pair<std::uint8_t, char> kRuns[] = {
      {0x81, 'a'}, {0x91, 'j'}, {0xA2, 's'}, {0xC1, 'A'}, {0xD1, 'J'}, {0xE2, 'S'}, {0xF0, '0'}};
  static const int kLengths[] = {9, 9, 8, 9, 9, 8, 10};
  for (std::size_t r = 0; r < std::size(kRuns); ++r) {
    if (c >= kRuns[r].first && c < kRuns[r].first + kLengths[r])
      return static_cast<char>(kRuns[r].second + (c - kRuns[r].first));
  }
  switch (c) {
    case 0x40:
      return ' ';
    case 0x4B:
      return '.';
    case 0x4C:
      return '<';
    case 0x60:
      return '-';
    case 0x6D:
      return '_';
    case 0x6E:
      return '>';
    case 0x6F:
      return '?';
    case 0x7D:
      return '\'';
    case 0x7E:
      return '=';
    case 0x7F:
      return '"';
    default:
      return '\x1A';
  }
}

// The encoding attribute of an XML declaration given as ASCII text.
std::string EncodingOfDeclaration(std::string_view decl) {
  const std::size_t end = decl.find('>');
  decl = decl.substr(0, end);
  const std::size_t at = decl.find("encoding");
  if (at == std::string_view::npos) return {};
  std::size_t i = decl.find('=', at);
  if (i == std::string_view::npos) return {};
  ++i;
  while (i < decl.size() && decl[i] == ' ') ++i;
  if (i >= decl.size() || (decl[i] != '"' && decl[i] != '\'')) return {};
  const char quote = decl[i];
  const std::size_t close = decl.find(quote, i + 1);
  return close == std::string_view::npos ? std::string()
                                         : std::string(decl.substr(i + 1, close - i - 1));
}

// How many bytes an XML declaration may take before we stop looking for ">".
constexpr std::int64_t kMaxDeclarationBytes = 4096;

}  // namespace

std::string XMLCharsetOf(TStream& stream) {
  const std::int64_t start = stream.Position();
  std::string head(static_cast<std::size_t>(kMaxDeclarationBytes), '\0');
  head.resize(static_cast<std::size_t>(
      std::max<std::int64_t>(0, stream.Read(head.data(), kMaxDeclarationBytes))));
  stream.SetPosition(start);
  const auto starts = [&head](std::initializer_list<int> bytes) {
    if (head.size() < bytes.size()) return false;
    std::size_t i = 0;
    for (const int b : bytes) {
      if (At(head, i++) != b) return false;
    }
    return true;
  };
  // Byte order marks name the encoding and are passed over.
  struct Mark {
    std::initializer_list<int> Bytes;
    const char* Name;
  };
  const Mark marks[] = {{{0x00, 0x00, 0xFE, 0xFF}, "UCS-4BE"},
                        {{0xFF, 0xFE, 0x00, 0x00}, "UCS-4LE"},
                        {{0x00, 0x00, 0xFF, 0xFE}, ""},
                        {{0xFE, 0xFF, 0x00, 0x00}, ""},
                        {{0xFE, 0xFF}, "UTF-16BE"},
                        {{0xFF, 0xFE}, "UTF-16LE"},
                        {{0xEF, 0xBB, 0xBF}, "UTF-8"}};
  for (const Mark& m : marks) {
    if (starts(m.Bytes)) {
      stream.SetPosition(start + static_cast<std::int64_t>(m.Bytes.size()));
      return m.Name;
    }
  }
  std::string decl;
  if (starts({0x00, 0x00, 0x00, 0x3C}) || starts({0x3C, 0x00, 0x00, 0x00})) {
    for (const std::uint32_t u : FromUcs4(head, head[0] == 0))
      decl += u < 0x80 ? static_cast<char>(u) : '?';
  } else if (starts({0x00, 0x3C, 0x00, 0x3F}) || starts({0x3C, 0x00, 0x3F, 0x00})) {
    for (const std::uint32_t u : FromUtf16(head, head[0] == 0))
      decl += u < 0x80 ? static_cast<char>(u) : '?';
  } else if (starts({0x3C, 0x3F, 0x78, 0x6D})) {
    decl = head;
  } else if (starts({0x4C, 0x6F, 0xA7, 0x94})) {
    for (const char c : head) decl += FromEbcdic(static_cast<std::uint8_t>(c));
  } else {
    return "UTF-8";
  }
  const std::string encoding = EncodingOfDeclaration(decl);
  return encoding.empty() ? "UTF-8" : encoding;
}

std::string DecodeCharset(std::string_view bytes, std::string_view charset) {
  const std::string name = UpperCase(Trim(charset));
  std::vector<std::uint32_t> chars;
  if (name == "UTF-8" || name == "UTF8") {
    chars = FromUtf8(bytes);
  } else if (name == "UTF-16BE" || name == "UTF-16") {
    chars = FromUtf16(bytes, true);
  } else if (name == "UTF-16LE") {
    chars = FromUtf16(bytes, false);
  } else if (name == "UCS-4BE" || name == "UTF-32BE") {
    chars = FromUcs4(bytes, true);
  } else if (name == "UCS-4LE" || name == "UTF-32LE") {
    chars = FromUcs4(bytes, false);
  } else if (name == "ISO-8859-1" || name == "LATIN1" || name == "US-ASCII" || name == "ASCII") {
    for (const char c : bytes) {
      const std::uint8_t b = static_cast<std::uint8_t>(c);
      // US-ASCII has no characters above 127.
      chars.push_back(name.find("ASCII") != std::string::npos && b >= 0x80 ? '?' : b);
    }
  } else {
    // The program's own code page, or a name we do not know: bytes as they are.
    return std::string(bytes);
  }
  std::string out;
  out.reserve(chars.size());
  for (const std::uint32_t c : chars) out += ToCodePage(c);
  return out;
}
