// SHA-256 (FIPS 180-4) with the SHA extensions: each SHA256RNDS2 does two
// rounds on the state held as ABEF and CDGH, and SHA256MSG1/MSG2 extend the
// message schedule four words at a time.
#include "trust/Sha256Extensions.h"

#include <cstring>
#include <stdexcept>

#if defined(__x86_64__) || defined(__i386__)
#define TRAMELA_SHA_EXTENSIONS 1
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace {

constexpr std::array<std::uint32_t, 8> kInitial = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                                   0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

#ifdef TRAMELA_SHA_EXTENSIONS
alignas(16) constexpr std::uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

// Compiled for the extensions only here; the caller checks Available() first.
__attribute__((target("sha,sse4.1,ssse3"))) void Compress(std::uint32_t* state,
                                                          const std::uint8_t* data,
                                                          std::size_t blocks) {
  // Each 32-bit word's bytes reversed: the message is big-endian.
  const __m128i byteSwap = _mm_set_epi8(12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3);
  // state[0..7] is A..H; the instructions want A,B,E,F and C,D,G,H, A and C highest.
  __m128i abcd = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
  __m128i efgh = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
  abcd = _mm_shuffle_epi32(abcd, 0xB1);              // B A D C
  efgh = _mm_shuffle_epi32(efgh, 0x1B);              // H G F E
  __m128i abef = _mm_alignr_epi8(abcd, efgh, 8);     // F E B A
  __m128i cdgh = _mm_blend_epi16(efgh, abcd, 0xF0);  // H G D C

  for (; blocks > 0; --blocks, data += 64) {
    const __m128i savedAbef = abef;
    const __m128i savedCdgh = cdgh;
    __m128i w[4];
    for (int i = 0; i < 4; ++i) {
      w[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i)),
                              byteSwap);
    }
    for (int group = 0; group < 16; ++group) {
      __m128i& words = w[group % 4];
      if (group >= 4) {
        // W[t] = s1(W[t-2]) + W[t-7] + s0(W[t-15]) + W[t-16], four at a time:
        // words holds W[t-16..t-13], the others the twelve after them.
        const __m128i& next = w[(group + 1) % 4];    // W[t-12..t-9]
        const __m128i& third = w[(group + 2) % 4];   // W[t-8..t-5]
        const __m128i& latest = w[(group + 3) % 4];  // W[t-4..t-1]
        __m128i sum = _mm_sha256msg1_epu32(words, next);
        sum = _mm_add_epi32(sum, _mm_alignr_epi8(latest, third, 4));  // W[t-7..t-4]
        words = _mm_sha256msg2_epu32(sum, latest);
      }
      __m128i k = _mm_add_epi32(
          words, _mm_load_si128(reinterpret_cast<const __m128i*>(kRound + 4 * group)));
      cdgh = _mm_sha256rnds2_epu32(cdgh, abef, k);
      k = _mm_shuffle_epi32(k, 0x0E);
      abef = _mm_sha256rnds2_epu32(abef, cdgh, k);
    }
    abef = _mm_add_epi32(abef, savedAbef);
    cdgh = _mm_add_epi32(cdgh, savedCdgh);
  }

  const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);  // A B E F, A lowest
  const __m128i hgdc = _mm_shuffle_epi32(cdgh, 0xB1);  // G H C D
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(feba, hgdc, 0xF0));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(hgdc, feba, 8));
}
#else
// Other processors never report the extensions; a caller that skipped
// Available() must not get a wrong digest.
[[noreturn]] void Compress(std::uint32_t*, const std::uint8_t*, std::size_t) {
  throw std::logic_error("SHA-256: this processor has no SHA extensions");
}
#endif

}  // namespace

bool TSha256Extensions::Available() {
#ifndef TRAMELA_SHA_EXTENSIONS
  return false;
#else
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
  const bool ssse3 = (c & bit_SSSE3) != 0;
  const bool sse41 = (c & bit_SSE4_1) != 0;
  if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
  return ssse3 && sse41 && (b & bit_SHA) != 0;
#endif
}

TSha256Extensions::TSha256Extensions() : FState(kInitial) {}

void TSha256Extensions::Blocks(const std::uint8_t* data, std::size_t count) {
  Compress(FState.data(), data, count);
}

void TSha256Extensions::Update(std::span<const std::uint8_t> bytes) {
  FLength += bytes.size();
  if (FPendingSize > 0) {
    const std::size_t take = std::min(bytes.size(), FPending.size() - FPendingSize);
    std::memcpy(FPending.data() + FPendingSize, bytes.data(), take);
    FPendingSize += take;
    bytes = bytes.subspan(take);
    if (FPendingSize < FPending.size()) return;
    Blocks(FPending.data(), 1);
    FPendingSize = 0;
  }
  const std::size_t whole = bytes.size() / 64;
  if (whole > 0) Blocks(bytes.data(), whole);
  bytes = bytes.subspan(whole * 64);
  std::memcpy(FPending.data(), bytes.data(), bytes.size());
  FPendingSize = bytes.size();
}

TSha256Digest TSha256Extensions::Final() {
  // 0x80, zeros up to 56 bytes into a block, then the length in bits, big-endian.
  const std::uint64_t bits = FLength * 8;
  std::array<std::uint8_t, 72> tail{};
  tail[0] = 0x80;
  const std::size_t zeros = (FPendingSize < 56 ? 56 : 120) - FPendingSize - 1;
  for (int i = 0; i < 8; ++i) tail[1 + zeros + i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
  Update({tail.data(), 1 + zeros + 8});
  TSha256Digest digest{};
  for (int i = 0; i < 8; ++i) {
    for (int j = 0; j < 4; ++j)
      digest[4 * i + j] = static_cast<std::uint8_t>(FState[i] >> (24 - 8 * j));
  }
  return digest;
}
