// The names of a zip component's entries: how a stored name maps to a path
// below the target folder, and the checks that refuse a name which would leave
// the target, name a device or not fit the file API. Internal to the component.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Backslashes of the mapped name become the platform's separators.
std::string NativePath(std::string path);

// Why the mapped name of an entry must not be written, as the start of the
// refusal's message; nullptr when it may. prefix is the length of what stands
// before the mapped name, as passed or as expanded, the longer.
const char* NameRefusal(std::size_t prefix, std::string_view mapped, bool folder);

// Entry names in messages go to a one-line log: control bytes are shown as \xNN.
std::string ShownName(std::string_view stored);
