#include "TrustFixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "TestSupport.h"

namespace trustfixtures {
namespace {

template <std::size_t N>
std::array<std::uint8_t, N> FromHex(const std::string& hex) {
  std::array<std::uint8_t, N> bytes{};
  if (hex.size() != 2 * N) throw std::runtime_error("fixture hex of the wrong length: " + hex);
  for (std::size_t i = 0; i < N; ++i)
    bytes[i] = static_cast<std::uint8_t>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
  return bytes;
}

}  // namespace

std::filesystem::path Dir() {
  const char* dir = std::getenv("TRAMELA_TRUST_FIXTURES");
  if (!dir) throw std::runtime_error("TRAMELA_TRUST_FIXTURES is not set (run through ctest)");
  return dir;
}

std::string Read(const std::string& name) { return testsupport::ReadFileBytes(Dir() / name); }

TPackagePublicKey Key(const std::string& name) {
  std::istringstream lines(Read(name));
  std::string id, point;
  lines >> id >> point;
  return TPackagePublicKey{FromHex<8>(id), FromHex<64>(point)};
}

std::span<const std::uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string ReferenceSha256(const std::string& name) {
  std::istringstream lines(Read("sha256sums.txt"));
  std::string digest, file;
  while (lines >> digest >> file)
    if (file == name) return digest;
  throw std::runtime_error("no reference digest for " + name);
}

}  // namespace trustfixtures
