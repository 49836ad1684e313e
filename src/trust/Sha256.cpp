// The portable helpers over TSha256.
#include "trust/Sha256.h"

TSha256Digest Sha256Of(std::span<const std::uint8_t> bytes) {
  TSha256 hash;
  hash.Update(bytes);
  return hash.Final();
}

std::string HexLower(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const std::uint8_t byte : bytes) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}
