// The platform edge of the package signature: ECDSA P-256 with SHA-256, by
// CNG in the Windows build (EcdsaP256Windows.cpp) and by libcrypto natively
// (EcdsaP256Posix.cpp). No curve arithmetic of our own.
#pragma once

#include <cstdint>
#include <span>

// True when rs (r || s, big-endian) is a valid signature of message under the
// public point (X || Y). r and s are handed to the platform as they are, so a
// zero or out-of-range value fails there. Throws ECryptoError when the
// platform cannot take the key or fails for another reason than a bad signature.
[[nodiscard]] bool VerifyEcdsaP256Sha256(std::span<const std::uint8_t, 64> point,
                                         std::span<const std::uint8_t> message,
                                         std::span<const std::uint8_t, 64> rs);
