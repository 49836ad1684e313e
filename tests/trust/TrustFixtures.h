// The files tests/trust/make-fixtures.sh makes with openssl, read by both builds.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "trust/PackageSignature.h"

namespace trustfixtures {

std::filesystem::path Dir();
std::string Read(const std::string& name);
// A key-X.txt / built-in-N.txt file: key-id and point as openssl gave them.
TPackagePublicKey Key(const std::string& name);
std::span<const std::uint8_t> Bytes(const std::string& text);
// The reference digest of a file, from sha256sums.txt.
std::string ReferenceSha256(const std::string& name);

}  // namespace trustfixtures
