// The whole-number reader that zorva's options, zorva-sim's options and key scripts share.
#include <gtest/gtest.h>

#include <cstdint>

#include "base/number.h"

namespace zorva {
namespace {

TEST(WholeNumber, TakesDigitsInRangeAndNothingElse) {
  constexpr std::int64_t kMax = std::int64_t{1} << 53;
  const struct {
    const char* text;
    std::int64_t min, max;
    std::optional<std::int64_t> read;
  } cases[] = {
      {"0", 0, 10, 0},
      {"10", 0, 10, 10},
      {"11", 0, 10, std::nullopt},        // above the range
      {"-1", 0, 10, std::nullopt},        // below it
      {"-1", -5, 10, -1},
      {"007", 0, 10, 7},
      {"9007199254740992", 0, kMax, kMax},
      {"9007199254740993", 0, kMax, std::nullopt},
      {"99999999999999999999", 0, kMax, std::nullopt},  // past 64 bits
      {"", 0, 10, std::nullopt},
      {"+3", 0, 10, std::nullopt},
      {" 3", 0, 10, std::nullopt},
      {"3 ", 0, 10, std::nullopt},
      {"3x", 0, 10, std::nullopt},
      {"2.0", 0, 10, std::nullopt},
      {"0x5", 0, 10, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(WholeNumber<std::int64_t>(c.text, c.min, c.max), c.read) << '"' << c.text << '"';
  // An unsigned type takes no sign at all, and reads its whole range.
  EXPECT_EQ(WholeNumber<std::uint64_t>("-0", 0, UINT64_MAX), std::nullopt);
  EXPECT_EQ(WholeNumber<std::uint64_t>("18446744073709551615", 0, UINT64_MAX), UINT64_MAX);
}

}  // namespace
}  // namespace zorva
