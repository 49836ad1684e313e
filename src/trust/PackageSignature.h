// The package signature file "TramelaCoreServer.zip.sig": seven LF-ended lines
// naming the package's size, SHA-256 and version, signed with ECDSA P-256 by
// one of the publisher keys built into the installer. Parsing is strict;
// anything else fails, the earlier format (which names no version) among it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "rtl/Exceptions.h"
#include "trust/Sha256.h"

// A signature file is seven short lines; anything larger is not one.
inline constexpr std::size_t kMaxSignatureFileSize = 4096;
inline constexpr std::string_view kSignedPackageName = "TramelaCoreServer.zip";
// A package-version is a positive 32-bit number.
inline constexpr std::int32_t kMinPackageVersion = 1;
inline constexpr std::int32_t kMaxPackageVersion = 2147483647;

struct TPackagePublicKey {
  std::array<std::uint8_t, 8> KeyId;   // first 8 bytes of SHA-256 of the DER SubjectPublicKeyInfo
  std::array<std::uint8_t, 64> Point;  // X || Y of the P-256 point, big-endian
};

struct TPackageSignature {
  std::string FileName;
  std::int64_t FileSize = 0;
  TSha256Digest Sha256{};
  // Raised by the publisher with every package; the installer refuses one
  // below its least accepted version, so an older signed package cannot be
  // served again in place of a newer one.
  std::int32_t PackageVersion = kMinPackageVersion;
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
// A package-version as the file spells it: decimal, kMinPackageVersion to
// kMaxPackageVersion, no sign, no leading zero; throws EPackageSignatureError.
std::int32_t ParsePackageVersion(std::string_view text);
// Parses, finds the key named by key-id among keys and verifies the signature
// over the first six lines; throws EPackageSignatureError.
TPackageSignature VerifyPackageSignature(std::span<const std::uint8_t> file,
                                         std::span<const TPackagePublicKey> keys);
// The keys this build embeds (TRAMELA_PACKAGE_KEYS); never empty.
std::span<const TPackagePublicKey> BuiltInPackageKeys();
// The least package-version this build accepts (TRAMELA_MIN_PACKAGE_VERSION).
std::int32_t BuiltInMinPackageVersion();

// The first six lines, each with its LF: the bytes the signature covers.
std::string FormatSignedLines(const TPackageSignature& signature);
// The whole file: the signed lines and the signature line.
std::string FormatPackageSignature(const TPackageSignature& signature);
