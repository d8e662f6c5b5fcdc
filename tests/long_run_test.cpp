// Long runs: a clock that has been counting for 24 or 49 days, and scores far
// beyond four digits. The game plays on through both as if nothing happened.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "app/runtime.h"
#include "rules/state.h"
#include "tests/replay_support.h"

namespace zorva {
namespace {

constexpr std::int64_t k2To31 = std::int64_t{1} << 31;
constexpr std::int64_t k2To32 = std::int64_t{1} << 32;

struct ClockCase {
  const char* name;
  std::int64_t point;  // the reading the game has to pass
};

// Cases print as their names.
void PrintTo(const ClockCase& c, std::ostream* os) { *os << c.name; }

class LongClock : public ::testing::TestWithParam<ClockCase> {};

// Counts how often a gate acted after the point: every change of its next time.
int ActsAfter(const std::vector<Record>& passes, const char* next, std::int64_t point) {
  int acts = 0;
  for (std::size_t i = 1; i < passes.size(); ++i) {
    if (!passes[i].Written() || !passes[i - 1].Written()) continue;
    if (passes[i].Int("clock_start") <= point) continue;
    if (passes[i].Int(next) != passes[i - 1].Int(next)) {
      ++acts;
      EXPECT_GT(passes[i].Int(next), point) << next << " in pass " << i;
    }
  }
  return acts;
}

TEST_P(LongClock, GamePlaysOnThroughThePoint) {
  const std::int64_t point = GetParam().point;
  SimOptions options;
  options.seed = 4;
  options.clock = point - 1500;  // about 48 frames before the point
  // A game with shots fired on both sides of the point, then no key until the
  // GAME OVER screen ends by itself, then the title screen again.
  const Replay r = RunScript("1 tap:SPACE\n150 SPACE RIGHT\n900 -\n", options);
  const auto passes = r.ByPass();

  std::size_t crossing = 0, end = 0, banner = 0;
  for (std::size_t i = 0; i < passes.size(); ++i) {
    const Record& p = passes[i];
    if (!p.Written()) continue;
    if (crossing == 0 && p.IsGame() && p.Int("clock_start") <= point && p.Int("clock_end") > point) crossing = i;
    if (banner == 0 && p.IsGame() && p.Int("GameOverShown") == 1) banner = i;
    if (end == 0 && p.Bool("ends_game")) end = i;
    // Every whole frame keeps its 31 ms, before, across and after the point.
    if (p.IsGame() && !p.Bool("ends_game")) {
      EXPECT_EQ(p.Duration(), 31) << "pass " << i;
      EXPECT_EQ(p.Int("FrameTime"), 31) << "pass " << i;
    }
  }
  ASSERT_GT(crossing, 1u) << "no frame crossed the point";
  ASSERT_GT(banner, crossing);
  ASSERT_GT(end, banner) << "the GAME OVER screen did not end";
  EXPECT_GT(passes[end].Int("clock_start"), passes[banner].Int("GameOverTimeoutAt"));
  // Back on the title screen two seconds later.
  ASSERT_LT(end + 1, passes.size());
  EXPECT_EQ(passes[end + 1].Str("loop"), "title");
  EXPECT_EQ(passes[end + 1].Int("clock_start"), passes[end].Int("clock_end") + 2002);

  // Every gate keeps acting after the point, at its usual rhythm: 248 ms for
  // the formation and the fire button, 155 ms for the explosions, 527 ms for
  // the frame rate (polls every 31 ms).
  const std::int64_t span = passes[end].Int("clock_start") - point;
  EXPECT_GE(ActsAfter(passes, "MarchNext", point), span / 248 - 1);
  EXPECT_GE(ActsAfter(passes, "BlastNext", point), span / 155 - 1);
  EXPECT_GE(ActsAfter(passes, "FpsNext", point), span / 527 - 1);
  EXPECT_GE(ActsAfter(passes, "ShotNext", point), 3);
  // The formation marched and the shots flew after the point.
  bool marched = false;
  for (std::size_t i = crossing + 1; i < banner; ++i)
    if (passes[i].Raw("EnemyX") != passes[i - 1].Raw("EnemyX")) marched = true;
  EXPECT_TRUE(marched);
  const std::string status = passes[end - 1].Str("status");
  EXPECT_EQ(status.substr(status.rfind("FPS ")), "FPS 00032");
}

INSTANTIATE_TEST_SUITE_P(Clock, LongClock,
                         ::testing::Values(ClockCase{"JustBelow2To31", k2To31}, ClockCase{"JustBelow2To32", k2To32}),
                         [](const ::testing::TestParamInfo<ClockCase>& info) { return std::string(info.param.name); });

struct ScoreCase {
  const char* name;
  std::int32_t setTo;    // Score (and HiScore) put there early in the game
  std::int32_t atLeast;  // what the game must have reached by its end
};

// Cases print as their names.
void PrintTo(const ScoreCase& c, std::ostream* os) { *os << c.name; }

class LongScore : public ::testing::TestWithParam<ScoreCase> {};

TEST_P(LongScore, GameKeepsPlayingAndShowsEveryDigit) {
  const ScoreCase& c = GetParam();
  SimOptions options;
  options.seed = 2;
  int frame = 0;
  options.afterPass = [&](Loop loop, bool) {
    if (loop == Loop::Game && ++frame == 10) {
      G.Score = c.setTo;
      if (G.HiScore < G.Score) G.HiScore = G.Score;
    }
  };
  // Shooting while sweeping from side to side; only the first game counts.
  std::string script = "1 tap:SPACE\n";
  for (int i = 0; i < 12; ++i) script += "12 SPACE RIGHT\n12 SPACE LEFT\n";
  script += "700 -\n";
  const Replay r = RunScript(script, options);
  const auto passes = r.ByPass();

  std::size_t end = 0;
  std::int64_t previous = 0;
  int hitsAfter = 0;
  for (std::size_t i = 0; i < passes.size(); ++i) {
    const Record& p = passes[i];
    if (!p.IsGame()) continue;
    const std::int64_t score = p.Int("Score"), hi = p.Int("HiScore");
    if (previous >= c.setTo && score > previous) ++hitsAfter;
    if (previous >= c.setTo) {
      EXPECT_GE(score, previous) << "pass " << i;
    }
    previous = score;
    EXPECT_GE(hi, score);
    EXPECT_EQ(score % 10, 0);
    if (p.Bool("ends_game")) {
      end = i;
      break;
    }
    // The status line grows by one character per extra digit.
    EXPECT_EQ(p.Str("status"), "HISCORE " + Format(hi, 4) + "  SCORE " + Format(score, 4) + std::string(25, ' ') +
                                   "FPS " + Format(p.Int("Fps"), 5))
        << "pass " << i;
  }
  ASSERT_GT(end, 0u) << "the game did not end";
  const std::int64_t final = passes[end].Int("Score");
  EXPECT_GE(final, c.atLeast);
  if (c.setTo <= std::numeric_limits<std::int32_t>::max() - 20) {
    EXPECT_GE(hitsAfter, 2);
  }
  const std::string digits = std::to_string(final);
  const std::string status = passes[end - 1].Str("status");
  EXPECT_NE(status.find("  SCORE " + digits + " "), std::string::npos) << status;
  EXPECT_EQ(status.substr(0, 8 + digits.size()), "HISCORE " + digits);
  // The game went on to its GAME OVER screen and back to the title screen.
  EXPECT_EQ(passes[end - 1].Int("GameOverShown"), 1);
  ASSERT_LT(end + 1, passes.size());
  EXPECT_EQ(passes[end + 1].Str("loop"), "title");
  EXPECT_GE(passes[end + 1].Int("HiScore"), final);
}

// A score this high cannot rise further; it stays put instead of wrapping.
constexpr std::int32_t kTopScore = std::numeric_limits<std::int32_t>::max() / 10 * 10;

INSTANTIATE_TEST_SUITE_P(Score, LongScore,
                         ::testing::Values(ScoreCase{"PastFiveDigitsOf16Bits", 32760, 32780},
                                           ScoreCase{"PastSixDigits", 99990, 100010},
                                           ScoreCase{"AtTheTopOf32Bits", kTopScore - 10, kTopScore}),
                         [](const ::testing::TestParamInfo<ScoreCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zorva
