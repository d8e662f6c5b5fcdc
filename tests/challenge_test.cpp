// Challenge codes: every seed that has one goes to a code and back; codes
// are read as players write them; a code mistyped in one symbol, or with two
// neighbours swapped, is no code.
#include <gtest/gtest.h>

#include <cstdlib>

#include "base/challenge.h"

namespace zorva {
namespace {

TEST(Challenge, SeedsAndCodesGoBothWays) {
  const struct {
    std::uint64_t seed;
    const char* code;
  } cases[] = {
      {0, "000-000-000"}, {1, "000-000-011"}, {31, "000-000-0ZZ"}, {32, "000-000-103"}, {kChallengeSeeds - 1, "ZZZ-ZZZ-ZZ0"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ChallengeCode(c.seed), c.code) << c.seed;
    EXPECT_EQ(ChallengeSeed(c.code), c.seed) << c.code;
  }
  EXPECT_EQ(ChallengeCode(kChallengeSeeds), std::nullopt);
  for (std::uint64_t seed = 12345; seed < kChallengeSeeds; seed = seed * 7 + 3) {
    EXPECT_EQ(ChallengeSeed(*ChallengeCode(seed)), seed) << seed;
  }
}

TEST(Challenge, CodesAreReadAsPlayersWriteThemAndNothingElse) {
  const std::uint64_t seed = *ChallengeSeed("7KQ-M2R-X4J");
  const struct {
    const char* written;
    bool read;
  } cases[] = {
      {"7kq-m2r-x4j", true}, {"7KQM2RX4J", true},  {"7KQ-M2R-X4J ", false}, {"7KQ-M2RX4J", false}, {"7K-QM2R-X4J", false},
      {"7KQ-M2R-X4", false}, {"7KQ-M2R-X4JC", false}, {"7KQ-M2R-X4U", false}, {"", false},        {"7KQ_M2R_X4J", false},
  };
  for (const auto& c : cases) EXPECT_EQ(ChallengeSeed(c.written), c.read ? std::optional(seed) : std::nullopt) << c.written;
  EXPECT_EQ(ChallengeSeed("0o0-O00-iL4"), 33u);  // O as 0, I and L as 1
  // Every other symbol in any place fails the check, and so do two neighbours swapped whose values do not lie 16 apart.
  const std::string code = "7KQM2RX4J", symbols = "0123456789ABCDEFGHJKMNPQRSTVWXYZ";
  for (std::size_t at = 0; at < code.size(); ++at) {
    for (const char s : symbols) {
      std::string typo = code;
      typo[at] = s;
      if (s != code[at]) {
        EXPECT_EQ(ChallengeSeed(typo), std::nullopt) << typo;
      }
    }
    std::string swapped = code;
    const auto value = [&](char c) { return static_cast<int>(symbols.find(c)); };
    if (at + 1 < code.size() && code[at] != code[at + 1] && std::abs(value(code[at]) - value(code[at + 1])) != 16) {
      std::swap(swapped[at], swapped[at + 1]);
      EXPECT_EQ(ChallengeSeed(swapped), std::nullopt) << swapped;
    }
  }
}

}  // namespace
}  // namespace zorva
