// The package signature file "TramelaCoreServer.zip.sig": six LF-ended lines
// naming the package's size and SHA-256, signed with ECDSA P-256 by one of the
// publisher keys built into the installer. Parsing is strict; anything else fails.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "rtl/Exceptions.h"
#include "trust/Sha256.h"

// A signature file is six short lines; anything larger is not one.
inline constexpr std::size_t kMaxSignatureFileSize = 4096;
inline constexpr std::string_view kSignedPackageName = "TramelaCoreServer.zip";

struct TPackagePublicKey {
  std::array<std::uint8_t, 8> KeyId;   // first 8 bytes of SHA-256 of the DER SubjectPublicKeyInfo
  std::array<std::uint8_t, 64> Point;  // X || Y of the P-256 point, big-endian
};

struct TPackageSignature {
  std::string FileName;
  std::int64_t FileSize = 0;
  TSha256Digest Sha256{};
  std::array<std::uint8_t, 8> KeyId{};
  std::array<std::uint8_t, 64> Signature{};  // r || s, big-endian
};

// The signature file is malformed, names no trusted key or does not verify;
// the message says which.
class EPackageSignatureError : public Exception {
  using Exception::Exception;
};

// Checks the format only; throws EPackageSignatureError.
TPackageSignature ParsePackageSignature(std::span<const std::uint8_t> file);
// Parses, finds the key named by key-id among keys and verifies the signature
// over the first five lines; throws EPackageSignatureError.
TPackageSignature VerifyPackageSignature(std::span<const std::uint8_t> file,
                                         std::span<const TPackagePublicKey> keys);
// The keys this build embeds (TRAMELA_PACKAGE_KEYS); never empty.
std::span<const TPackagePublicKey> BuiltInPackageKeys();

// The first five lines, each with its LF: the bytes the signature covers.
std::string FormatSignedLines(const TPackageSignature& signature);
// The whole file: the signed lines and the signature line.
std::string FormatPackageSignature(const TPackageSignature& signature);
