// Long runs: a clock that has counted for 24 or 49 days, and scores far past
// four digits. The game plays on through both as if nothing happened.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "base/runtime.h"
#include "rules/state.h"
#include "tests/replay_support.h"

namespace zorva {
namespace {

// How often a gate acted after `point` (every change of its next time), each
// new next time lying past the point.
int ActsAfter(const std::vector<Record>& passes, const char* next, std::int64_t point) {
  int acts = 0;
  for (std::size_t i = 1; i < passes.size(); ++i) {
    if (!passes[i].Written() || !passes[i - 1].Written() || passes[i].Int("clock_start") <= point) continue;
    if (passes[i].Int(next) != passes[i - 1].Int(next)) {
      ++acts;
      EXPECT_GT(passes[i].Int(next), point) << next << " in pass " << i;
    }
  }
  return acts;
}

std::size_t First(const std::vector<Record>& passes, auto&& found) {
  for (std::size_t i = 0; i < passes.size(); ++i)
    if (passes[i].Written() && found(passes[i])) return i;
  return passes.size();
}

TEST(LongClock, GamePlaysOnThroughTwoTo31AndTwoTo32) {
  for (const std::int64_t point : {std::int64_t{1} << 31, std::int64_t{1} << 32}) {
    SCOPED_TRACE(point);
    SimOptions options = Seeded(4);
    options.clock = point - 1500;  // about 48 frames before the point
    // Shots on both sides of the point, then no key until GAME OVER ends.
    const auto passes = RunScript("1 tap:SPACE\n150 SPACE RIGHT\n900 -\n", options).ByPass();
    const std::size_t crossing = First(passes, [&](const Record& p) {
      return p.IsGame() && p.Int("clock_start") <= point && p.Int("clock_end") > point;
    });
    const std::size_t banner = First(passes, [](const Record& p) { return p.IsGame() && p.Int("GameOverShown") == 1; });
    const std::size_t end = First(passes, [](const Record& p) { return p.Bool("ends_game"); });
    ASSERT_TRUE(crossing > 1 && crossing < banner && banner < end && end + 1 < passes.size());
    for (const Record& p : passes)  // every whole frame keeps its 31 ms
      if (p.IsGame() && !p.Bool("ends_game")) {
        EXPECT_EQ(p.Duration(), 31) << p.Int("pass");
      }
    EXPECT_GT(passes[end].Int("clock_start"), passes[banner].Int("GameOverTimeoutAt"));
    EXPECT_EQ(passes[end + 1].Str("loop"), "title");
    EXPECT_EQ(passes[end + 1].Int("clock_start"), passes[end].Int("clock_end") + 2002);
    // Every gate keeps its rhythm after the point (polls every 31 ms): 248 ms
    // for the formation and the fire button, 155 ms for the explosions, 527
    // ms for the frame rate.
    const std::int64_t span = passes[end].Int("clock_start") - point;
    EXPECT_GE(ActsAfter(passes, "MarchNext", point), span / 248 - 1);
    EXPECT_GE(ActsAfter(passes, "BlastNext", point), span / 155 - 1);
    EXPECT_GE(ActsAfter(passes, "FpsNext", point), span / 527 - 1);
    EXPECT_GE(ActsAfter(passes, "ShotNext", point), 3);
    bool marched = false;  // the formation marched after the point
    for (std::size_t i = crossing + 1; i < banner; ++i) marched |= passes[i].Raw("EnemyX") != passes[i - 1].Raw("EnemyX");
    EXPECT_TRUE(marched);
    const std::string status = passes[end - 1].Str("status");
    EXPECT_EQ(status.substr(status.rfind("FPS ")), "FPS 00032");
  }
}

TEST(LongScore, GameKeepsPlayingAndShowsEveryDigit) {
  constexpr std::int32_t kTop = std::numeric_limits<std::int32_t>::max() / 10 * 10;
  // The score put there early in the game, and what it must reach by the end
  // (at the top of 32 bits it stays put instead of wrapping).
  const std::int32_t cases[][2] = {{32760, 32780}, {99990, 100010}, {kTop - 10, kTop}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c[0]);
    SimOptions options = Seeded(2);
    int frame = 0;
    options.afterPass = [&](Loop loop, bool) {
      if (loop == Loop::Game && ++frame == 10) G.HiScore = std::max(G.HiScore, G.Score = c[0]);
    };
    std::string script = "1 tap:SPACE\n";  // shooting while sweeping
    for (int i = 0; i < 12; ++i) script += "12 SPACE RIGHT\n12 SPACE LEFT\n";
    const auto passes = RunScript(script + "700 -\n", options).ByPass();
    const std::size_t end = First(passes, [](const Record& p) { return p.Bool("ends_game"); });
    ASSERT_LT(end + 1, passes.size()) << "the game did not end";
    std::int64_t previous = 0;
    int hitsAfter = 0;
    for (std::size_t i = 0; i < end; ++i) {
      const Record& p = passes[i];
      if (!p.IsGame()) continue;
      const std::int64_t score = p.Int("Score"), hi = p.Int("HiScore");
      if (previous >= c[0]) {
        EXPECT_GE(score, previous) << "pass " << i;
      }
      hitsAfter += previous >= c[0] && score > previous;
      previous = score;
      EXPECT_GE(hi, score);
      EXPECT_EQ(p.Str("status"),
                "HISCORE " + Format(hi, 4) + "  SCORE " + Format(score, 4) + Space(25) + "FPS " + Format(p.Int("Fps"), 5));
    }
    const std::int64_t final = passes[end].Int("Score");
    EXPECT_GE(final, c[1]);
    if (c[0] < kTop - 10) {
      EXPECT_GE(hitsAfter, 2);
    }
    const std::string digits = std::to_string(final);
    EXPECT_EQ(passes[end - 1].Str("status").rfind("HISCORE " + digits + "  SCORE " + digits + " ", 0), 0u);
    EXPECT_EQ(passes[end - 1].Int("GameOverShown"), 1);
    EXPECT_EQ(passes[end + 1].Str("loop"), "title");
    EXPECT_GE(passes[end + 1].Int("HiScore"), final);
  }
}

}  // namespace
}  // namespace zorva
