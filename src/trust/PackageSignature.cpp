// The signature file's parser and verifier. The format admits exactly one
// spelling of each value, so the signed bytes have one reading only.
#include "trust/PackageSignature.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "trust/EcdsaP256.h"

namespace {

constexpr std::string_view kHeaderLine = "tramela-package-signature 2";
constexpr std::size_t kLineCount = 7;

[[noreturn]] void Refuse(const std::string& why) {
  throw EPackageSignatureError("Package signature file: " + why);
}

// Splits the file into its six lines; every line must end with LF and hold
// printable ASCII only (no CR, tab or NUL).
std::vector<std::string_view> SplitLines(std::span<const std::uint8_t> file) {
  if (file.size() > kMaxSignatureFileSize)
    Refuse("larger than " + std::to_string(kMaxSignatureFileSize) + " bytes");
  if (file.empty() || file.back() != '\n') Refuse("the last line does not end with LF");
  const std::string_view text(reinterpret_cast<const char*>(file.data()), file.size());
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    const std::string_view line = text.substr(start, end - start);
    const std::string number = std::to_string(lines.size() + 1);
    if (!line.empty() && line.back() == '\r') Refuse("line " + number + " ends with CR LF");
    for (const char c : line) {
      if (c < 0x20 || c > 0x7E) Refuse("line " + number + " holds a control or non-ASCII byte");
    }
    lines.push_back(line);
    if (lines.size() > kLineCount) Refuse("more than " + std::to_string(kLineCount) + " lines");
    start = end + 1;
  }
  if (lines.size() != kLineCount)
    Refuse(std::to_string(lines.size()) + " lines instead of " + std::to_string(kLineCount));
  return lines;
}

// The value of "name: value"; the name and its single space must lead the line.
std::string_view FieldValue(std::string_view line, std::string_view name) {
  if (line.size() < name.size() + 2 || line.substr(0, name.size()) != name ||
      line.substr(name.size(), 2) != ": ")
    Refuse("expected the line \"" + std::string(name) + ": ...\" in its place");
  return line.substr(name.size() + 2);
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;  // upper case is refused: one spelling per value
}

template <std::size_t N>
std::array<std::uint8_t, N> ParseHex(std::string_view value, std::string_view name) {
  if (value.size() != 2 * N)
    Refuse(std::string(name) + " is not " + std::to_string(2 * N) + " lowercase hex digits");
  std::array<std::uint8_t, N> bytes{};
  for (std::size_t i = 0; i < N; ++i) {
    const int high = HexDigitValue(value[2 * i]);
    const int low = HexDigitValue(value[2 * i + 1]);
    if (high < 0 || low < 0)
      Refuse(std::string(name) + " is not " + std::to_string(2 * N) + " lowercase hex digits");
    bytes[i] = static_cast<std::uint8_t>(high << 4 | low);
  }
  return bytes;
}

// A decimal number of 0 to max with one spelling only: digits, no sign, no
// leading zero.
std::int64_t ParseDecimal(std::string_view value, std::string_view name, std::int64_t max) {
  const bool digitsOnly = !value.empty() && std::all_of(value.begin(), value.end(), [](char c) {
    return c >= '0' && c <= '9';
  });
  if (!digitsOnly) Refuse(std::string(name) + " is not a plain decimal number");
  if (value.size() > 1 && value[0] == '0') Refuse(std::string(name) + " has a leading zero");
  std::int64_t number = 0;
  for (const char c : value) {
    const int digit = c - '0';
    if (number > (max - digit) / 10) Refuse(std::string(name) + " is too large");
    number = number * 10 + digit;
  }
  return number;
}

const TPackagePublicKey& FindKey(const std::array<std::uint8_t, 8>& keyId,
                                 std::span<const TPackagePublicKey> keys) {
  const auto found = std::find_if(keys.begin(), keys.end(),
                                  [&](const TPackagePublicKey& key) { return key.KeyId == keyId; });
  if (found == keys.end()) Refuse("key-id " + HexLower(keyId) + " names no trusted key");
  return *found;
}

}  // namespace

TPackageSignature ParsePackageSignature(std::span<const std::uint8_t> file) {
  const std::vector<std::string_view> lines = SplitLines(file);
  if (lines[0] != kHeaderLine) Refuse("the first line is not \"" + std::string(kHeaderLine) + "\"");
  TPackageSignature signature;
  if (FieldValue(lines[1], "file-name") != kSignedPackageName)
    Refuse("file-name is not " + std::string(kSignedPackageName));
  signature.FileName = std::string(kSignedPackageName);
  signature.FileSize = ParseDecimal(FieldValue(lines[2], "file-size"), "file-size",
                                    std::numeric_limits<std::int64_t>::max());
  signature.Sha256 = ParseHex<32>(FieldValue(lines[3], "file-sha256"), "file-sha256");
  signature.PackageVersion = ParsePackageVersion(FieldValue(lines[4], "package-version"));
  signature.KeyId = ParseHex<8>(FieldValue(lines[5], "key-id"), "key-id");
  signature.Signature = ParseHex<64>(FieldValue(lines[6], "signature"), "signature");
  return signature;
}

std::int32_t ParsePackageVersion(std::string_view text) {
  const std::int64_t version = ParseDecimal(text, "package-version", kMaxPackageVersion);
  if (version < kMinPackageVersion)
    Refuse("package-version is below " + std::to_string(kMinPackageVersion));
  return static_cast<std::int32_t>(version);
}

TPackageSignature VerifyPackageSignature(std::span<const std::uint8_t> file,
                                         std::span<const TPackagePublicKey> keys) {
  TPackageSignature signature = ParsePackageSignature(file);
  const TPackagePublicKey& key = FindKey(signature.KeyId, keys);
  // The signature covers the file's own first six lines, byte for byte.
  const std::size_t signedLength = file.size() - (std::string_view("signature: ").size() + 128 + 1);
  bool valid = false;
  try {
    valid = VerifyEcdsaP256Sha256(key.Point, file.first(signedLength), signature.Signature);
  } catch (const ECryptoError& error) {
    Refuse("cannot verify with key " + HexLower(key.KeyId) + ": " + error.Message());
  }
  if (!valid) Refuse("the signature does not verify with key " + HexLower(key.KeyId));
  return signature;
}

std::string FormatSignedLines(const TPackageSignature& signature) {
  return std::string(kHeaderLine) + "\n" + "file-name: " + signature.FileName + "\n" +
         "file-size: " + std::to_string(signature.FileSize) + "\n" +
         "file-sha256: " + HexLower(signature.Sha256) + "\n" +
         "package-version: " + std::to_string(signature.PackageVersion) + "\n" +
         "key-id: " + HexLower(signature.KeyId) + "\n";
}

std::string FormatPackageSignature(const TPackageSignature& signature) {
  return FormatSignedLines(signature) + "signature: " + HexLower(signature.Signature) + "\n";
}
