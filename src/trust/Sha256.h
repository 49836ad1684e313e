// SHA-256 over the platform's crypto: CNG (bcrypt.dll) in the Windows build,
// OpenSSL's libcrypto natively (Sha256Windows.cpp / Sha256Posix.cpp), or the
// processor's SHA extensions (Sha256Extensions.cpp).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "rtl/Exceptions.h"

using TSha256Digest = std::array<std::uint8_t, 32>;

// The platform's crypto refused a call; the message names the call and its status.
class ECryptoError : public Exception {
  using Exception::Exception;
};

// Who hashes: the fastest code this machine has, or always the platform's
// crypto. Natively both are libcrypto, which uses the SHA extensions itself;
// in the Windows build Fastest is TSha256Extensions where the processor has them.
enum class TSha256Engine { Fastest, Platform };

// Incremental SHA-256; move-only. Throws ECryptoError when the platform fails.
class TSha256 {
 public:
  explicit TSha256(TSha256Engine engine = TSha256Engine::Fastest);
  ~TSha256();
  TSha256(TSha256&&) noexcept;
  TSha256& operator=(TSha256&&) noexcept;
  TSha256(const TSha256&) = delete;
  TSha256& operator=(const TSha256&) = delete;

  void Update(std::span<const std::uint8_t> bytes);
  // Ends the hash; a second call, or Update after it, throws ECryptoError.
  TSha256Digest Final();

 private:
  struct TState;  // the platform half's hash handle
  std::unique_ptr<TState> FState;
};

TSha256Digest Sha256Of(std::span<const std::uint8_t> bytes);
std::string HexLower(std::span<const std::uint8_t> bytes);
