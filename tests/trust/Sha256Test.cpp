#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "TrustFixtures.h"
#include "trust/Sha256.h"
#include "trust/Sha256Extensions.h"

namespace {

using trustfixtures::Bytes;

std::string Sha256Hex(const std::string& text) { return HexLower(Sha256Of(Bytes(text))); }

TEST(Sha256, MatchesKnownVectors) {
  EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // Two blocks once padded.
  EXPECT_EQ(Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(Sha256Hex(std::string(1000000, 'a')),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, IncrementalPiecesMatchSha256sumOfAFile) {
  const std::string data = trustfixtures::Read("large.bin");
  TSha256 hash;
  // Odd piece sizes, including empty ones, so no piece lines up with a block.
  std::size_t offset = 0, piece = 0;
  while (offset < data.size()) {
    const std::size_t count = std::min(data.size() - offset, piece * 37 % 70001);
    hash.Update(Bytes(data.substr(offset, count)));
    offset += count;
    ++piece;
  }
  EXPECT_EQ(HexLower(hash.Final()), trustfixtures::ReferenceSha256("large.bin"));
  EXPECT_EQ(Sha256Hex(trustfixtures::Read("package.zip")),
            trustfixtures::ReferenceSha256("package.zip"));
}

// Every length around the block and padding edges, fed in uneven pieces: the
// processor's extensions (where this one has them), the fastest engine and the
// platform's crypto give one digest.
TEST(Sha256, EnginesAgreeOnEveryLengthAndSplit) {
  std::mt19937 random(20261210);
  for (const std::size_t size : {0, 1, 55, 56, 63, 64, 65, 119, 120, 127, 128, 4113, 1048581}) {
    std::vector<std::uint8_t> data(size);
    for (auto& byte : data) byte = static_cast<std::uint8_t>(random());
    const std::string want = HexLower(Sha256Of(data));
    TSha256 platform(TSha256Engine::Platform);
    TSha256 fastest(TSha256Engine::Fastest);
    std::optional<TSha256Extensions> extensions;
    if (TSha256Extensions::Available()) extensions.emplace();
    for (std::size_t at = 0, piece = 0; at < size; ++piece) {
      const std::size_t count = std::min(size - at, piece * 29 % 211);
      const std::span<const std::uint8_t> part(data.data() + at, count);
      platform.Update(part);
      fastest.Update(part);
      if (extensions) extensions->Update(part);
      at += count;
    }
    EXPECT_EQ(HexLower(platform.Final()), want) << size;
    EXPECT_EQ(HexLower(fastest.Final()), want) << size;
    if (extensions) {
      EXPECT_EQ(HexLower(extensions->Final()), want) << size;
    }
  }
}

TEST(Sha256, MovedHashContinuesAndEndsOnce) {
  TSha256 first;
  first.Update(Bytes("ab"));
  TSha256 second = std::move(first);
  second.Update(Bytes("c"));
  EXPECT_EQ(HexLower(second.Final()), Sha256Hex("abc"));
  // A finished hash cannot silently give a digest of nothing.
  EXPECT_THROW(second.Final(), ECryptoError);
  EXPECT_THROW(second.Update(Bytes("x")), ECryptoError);
}

TEST(Sha256, HexLowerWritesTwoLowercaseDigitsPerByte) {
  const std::uint8_t bytes[] = {0x00, 0x0f, 0xa0, 0xff};
  EXPECT_EQ(HexLower(bytes), "000fa0ff");
}

}  // namespace
