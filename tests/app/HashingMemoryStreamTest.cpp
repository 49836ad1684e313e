// The download body's running hash against a one-shot hash of what it holds,
// for the ways the HTTP client and its retries write a body.
#include <gtest/gtest.h>

#include <ostream>
#include <vector>

#include "app/HashingMemoryStream.h"

namespace {

constexpr std::int64_t kLimit = 70000;

// Write: N bytes at the position (each write's bytes its own); Seek: to N;
// Size: SetSize(N); Digest: the digest at this point, checked too.
enum class TOp { Write, Seek, Size, Digest };
struct TStep {
  TOp Op;
  std::int64_t N = 0;
};
struct TPattern {
  const char* Name;
  std::vector<TStep> Steps;
};

void PrintTo(const TPattern& pattern, std::ostream* os) { *os << pattern.Name; }

class HashingBody : public ::testing::TestWithParam<TPattern> {};

TEST_P(HashingBody, DigestIsThatOfTheContentAsItStands) {
  THashingMemoryStream body(kLimit);
  int written = 0;
  for (const TStep& step : GetParam().Steps) {
    switch (step.Op) {
      case TOp::Write: {
        const std::vector<std::uint8_t> bytes(static_cast<std::size_t>(step.N),
                                              static_cast<std::uint8_t>(0x41 + written++));
        // Past the cap the write is refused and changes nothing.
        if (body.Position() + step.N > kLimit) {
          EXPECT_THROW(body.WriteBuffer(bytes), EIdHTTPBodyTooLarge);
        } else {
          body.WriteBuffer(bytes);
        }
        break;
      }
      case TOp::Seek:
        body.SetPosition(step.N);
        break;
      case TOp::Size:
        body.SetSize(step.N);
        break;
      case TOp::Digest:
        EXPECT_EQ(body.Digest(), Sha256Of(body.Bytes()));
        break;
    }
  }
  EXPECT_EQ(body.Digest(), Sha256Of(body.Bytes()));
}

const TPattern kPatterns[] = {
    {"AppendsInOddPieces",
     {{TOp::Write, 1}, {TOp::Write, 7}, {TOp::Write, 4096}, {TOp::Write, 3}, {TOp::Write, 65537}}},
    {"ResumeContinuesAtTheSize",
     {{TOp::Write, 1000}, {TOp::Digest}, {TOp::Seek, 1000}, {TOp::Write, 555}}},
    {"RestartFromZero", {{TOp::Write, 1000}, {TOp::Size, 0}, {TOp::Seek, 0}, {TOp::Write, 700}}},
    {"WriteBelowTheHashedCount", {{TOp::Write, 1000}, {TOp::Seek, 300}, {TOp::Write, 100}}},
    {"SizeCutBelowTheHashedCount", {{TOp::Write, 1000}, {TOp::Size, 400}, {TOp::Write, 50}}},
    {"CutThenGrownAgain", {{TOp::Write, 1000}, {TOp::Size, 400}, {TOp::Size, 800}}},
    {"WritePastAGap", {{TOp::Write, 10}, {TOp::Seek, 500}, {TOp::Write, 10}}},
    {"WriteRunningPastTheCap", {{TOp::Write, kLimit - 10}, {TOp::Write, 20}}},
};

INSTANTIATE_TEST_SUITE_P(Patterns, HashingBody, ::testing::ValuesIn(kPatterns),
                         [](const ::testing::TestParamInfo<TPattern>& info) {
                           return std::string(info.param.Name);
                         });

}  // namespace
