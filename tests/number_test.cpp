// The whole-number reader that zorva's options, zorva-sim's options and key scripts share.
#include <gtest/gtest.h>

#include <cstdint>

#include "base/number.h"

namespace zorva {
namespace {

TEST(WholeNumber, TakesDigitsInRangeAndNothingElse) {
  using N = std::optional<std::int64_t>;
  const struct {
    const char* text;
    std::int64_t min, max;
    N read;
  } cases[] = {
      {"0", 0, 10, 0},   {"10", 0, 10, 10},  {"007", 0, 10, 7},           {"-1", -5, 10, -1},
      {"11", 0, 10, {}}, {"-1", 0, 10, {}},  {"99999999999999999999", 0, INT64_MAX, {}},  // past 64 bits
      {"", 0, 10, {}},   {"+3", 0, 10, {}},  {" 3", 0, 10, {}}, {"3 ", 0, 10, {}}, {"2.0", 0, 10, {}}, {"0x5", 0, 10, {}},
  };
  for (const auto& c : cases) EXPECT_EQ(WholeNumber<std::int64_t>(c.text, c.min, c.max), c.read) << '"' << c.text << '"';
  EXPECT_EQ(WholeNumber<std::uint64_t>("-0", 0, UINT64_MAX), std::nullopt);  // no sign for an unsigned type
  EXPECT_EQ(WholeNumber<std::uint64_t>("18446744073709551615", 0, UINT64_MAX), UINT64_MAX);
}

}  // namespace
}  // namespace zorva
