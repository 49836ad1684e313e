// Mapping a stored name to a path and the checks on the mapped name.
#include "zip/ZipellaNames.h"

#include <algorithm>

#include "rtl/FileSystem.h"
#include "zip/Zipella.h"

namespace {

// A segment that climbs: "..", and what Windows reads as ".." (more dots,
// trailing blanks, or a stream name after a colon).
bool ClimbingSegment(std::string_view segment) {
  segment = segment.substr(0, segment.find(':'));
  const auto dots = std::count(segment.begin(), segment.end(), '.');
  const auto blanks = std::count(segment.begin(), segment.end(), ' ');
  return dots >= 2 && dots + blanks == static_cast<std::ptrdiff_t>(segment.size());
}

bool LeavesTarget(std::string_view mapped) {
  // The system reads a path only up to a NUL, which could cut it short anywhere.
  if (mapped.find('\0') != std::string_view::npos) return true;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = mapped.find_first_of("\\/", start);
    if (ClimbingSegment(mapped.substr(start, end == std::string_view::npos ? end : end - start)))
      return true;
    if (end == std::string_view::npos) return false;
    start = end + 1;
  }
}

// What the Windows file API cannot hold in a name, whatever the code page:
// control characters, the stream and drive separator ":" (also "C:x"), and the
// wildcard and redirection characters.
bool HasInvalidCharacter(std::string_view mapped) {
  return std::any_of(mapped.begin(), mapped.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 ||
           std::string_view("<>:\"|?*").find(c) != std::string_view::npos;
  });
}

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameLetters(std::string_view text, std::string_view upper) {
  return text.size() == upper.size() &&
         std::equal(text.begin(), text.end(), upper.begin(),
                    [](char a, char b) { return AsciiUpper(a) == b; });
}

// A segment that Windows opens as a device in any folder: the part before the
// first dot, trailing blanks dropped, is a device name. The superscript digits
// count too, as one byte (Windows-1252) or as UTF-8, whatever the system's
// code page, and so do COM0 and LPT0, which Windows reserves.
bool DeviceSegment(std::string_view segment) {
  std::string_view base = segment.substr(0, segment.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  for (const std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (SameLetters(base, device)) return true;
  }
  if (base.size() < 4 ||
      !(SameLetters(base.substr(0, 3), "COM") || SameLetters(base.substr(0, 3), "LPT")))
    return false;
  const std::string_view number = base.substr(3);
  if (number.size() == 1 && number[0] >= '0' && number[0] <= '9') return true;
  for (const std::string_view superscript :
       {"\xB9", "\xB2", "\xB3", "\xC2\xB9", "\xC2\xB2", "\xC2\xB3"}) {
    if (number == superscript) return true;
  }
  return false;
}

// Each segment of a mapped name: a device, or longer than a name may be.
template <typename Test>
bool AnySegment(std::string_view mapped, Test test) {
  for (std::size_t start = 0;;) {
    const std::size_t end = mapped.find('\\', start);
    if (test(mapped.substr(start, end == std::string_view::npos ? end : end - start))) return true;
    if (end == std::string_view::npos) return false;
    start = end + 1;
  }
}

// Whether the file API takes the entry's full path: every name, the folders
// made for it and, for a file, the file's own path. prefix is the length of
// what stands before the mapped name, as passed or as expanded, the longer.
bool FitsFileApi(std::size_t prefix, std::string_view mapped, bool folder) {
  if (AnySegment(mapped, [](std::string_view s) { return s.size() > kMaxNameLength; }))
    return false;
  while (!mapped.empty() && mapped.back() == '\\') mapped.remove_suffix(1);
  const std::size_t full = prefix + mapped.size();
  if (folder) return full <= kMaxFolderPath;
  const std::size_t lastFolder = mapped.rfind('\\');
  return (lastFolder == std::string_view::npos || prefix + lastFolder <= kMaxFolderPath) &&
         full <= kMaxFilePath;
}

// Slashes become backslashes ("//" as one) and a drive with its root is dropped.
std::string MapStoredName(std::string_view stored) {
  std::string text;
  text.reserve(stored.size());
  for (std::size_t i = 0; i < stored.size(); ++i) {
    if (stored[i] == '/') {
      if (i + 1 < stored.size() && stored[i + 1] == '/') ++i;
      text.push_back('\\');
    } else {
      text.push_back(stored[i]);
    }
  }
  const std::size_t drive = text.find(":\\");
  if (drive != std::string::npos) text.erase(0, drive + 2);
  return text;
}

}  // namespace

std::string NativePath(std::string path) {
  if constexpr (PathDelim != '\\') std::replace(path.begin(), path.end(), '\\', PathDelim);
  return path;
}

const char* NameRefusal(std::size_t prefix, std::string_view mapped, bool folder) {
  if (LeavesTarget(mapped)) return "Path leaves the target folder in this file: ";
  if (HasInvalidCharacter(mapped)) return "Invalid character in this file: ";
  if (AnySegment(mapped, DeviceSegment)) return "Device name in this file: ";
  if (!FitsFileApi(prefix, mapped, folder)) return "Path too long in this file: ";
  return nullptr;
}

std::string ShownName(std::string_view stored) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string shown;
  for (const char c : stored) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      shown += "\\x";
      shown += kHex[byte >> 4];
      shown += kHex[byte & 15];
    } else {
      shown += c;
    }
  }
  return shown;
}

std::string TZipella::EntryFileName(std::string_view storedName) {
  const std::string text = MapStoredName(storedName);
  const std::size_t last = text.find_last_of("\\:");
  return last == std::string::npos ? text : text.substr(last + 1);
}

std::string TZipella::EntryFolder(std::string_view storedName) {
  const std::string text = MapStoredName(storedName);
  const std::size_t last = text.find_last_of("\\:");
  return last == std::string::npos ? std::string() : text.substr(0, last + 1);
}
