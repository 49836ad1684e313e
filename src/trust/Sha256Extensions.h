// SHA-256 on the processor's SHA extensions, for a platform whose own hashing
// is slow: Wine's CNG hashes at about 300 MB/s, which made hashing the package
// as it arrives the slowest part of the download. The instructions do well
// over 1 GB/s. TSha256 uses this where the processor has them.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "trust/Sha256.h"

class TSha256Extensions {
 public:
  // Whether this processor has the SHA extensions (and the SSE levels they need).
  static bool Available();

  TSha256Extensions();
  void Update(std::span<const std::uint8_t> bytes);
  // Ends the hash; the object is spent after it.
  TSha256Digest Final();

 private:
  void Blocks(const std::uint8_t* data, std::size_t count);

  std::array<std::uint32_t, 8> FState;
  std::array<std::uint8_t, 64> FPending{};
  std::size_t FPendingSize = 0;
  std::uint64_t FLength = 0;  // bytes hashed so far
};
