#include "transport/IdTransportDefs.h"

namespace {
constexpr std::uint8_t kReplacement = '?';
}

TIdBytes TIdASCIIEncoding::GetBytes(std::string_view text) const {
  TIdBytes bytes(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<std::uint8_t>(text[i]);
    bytes[i] = b < 0x80 ? b : kReplacement;
  }
  return bytes;
}

std::string TIdASCIIEncoding::GetString(std::span<const std::uint8_t> bytes) const {
  std::string text(bytes.size(), '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    text[i] = static_cast<char>(bytes[i] < 0x80 ? bytes[i] : kReplacement);
  }
  return text;
}

const TIdTextEncoding& AsciiWireEncoding() {
  static const TIdASCIIEncoding encoding;
  return encoding;
}
