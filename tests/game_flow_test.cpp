// Whole games on the simulator: the title screen, the frames of a game, the
// GAME OVER screen and the way back.
#include <gtest/gtest.h>

#include <string>

#include "tests/replay_support.h"

namespace zorva {
namespace {

SimOptions Seeded(std::uint64_t seed) {
  SimOptions o;
  o.seed = seed;
  return o;
}

const std::string kIdleStatus = "HISCORE 0000  SCORE 0000" + std::string(25, ' ') + "FPS 00000";

TEST(TitleScreen, PromptFromTheSecondPassAndStatusOnEveryPass) {
  const Replay r = RunScript("4 -\n");
  const auto passes = r.ByPass();
  ASSERT_EQ(passes.size(), 5u);  // four scripted passes and the closing one
  EXPECT_EQ(passes[0].Int("TitleBlink"), 0);
  EXPECT_EQ(passes[1].Int("TitleBlink"), -1);
  for (const Record& p : passes) EXPECT_EQ(p.Str("loop"), "title");
  // The frame rate is first computed on the second pass (the gate records its
  // first poll, then acts), from the 5 ms passes of the unpaced title loop.
  EXPECT_EQ(passes[0].Str("status"), kIdleStatus);
  EXPECT_EQ(passes[1].Str("status"), "HISCORE 0000  SCORE 0000" + std::string(25, ' ') + "FPS 00200");
  EXPECT_TRUE(passes.back().Bool("closed"));
  EXPECT_EQ(passes.back().Raw("mci"), "[\"close MIDI notify\"]");
  // The prompt changes the picture.
  EXPECT_NE(passes[0].Str("canvas"), passes[1].Str("canvas"));
}

TEST(TitleScreen, SpaceHeldAtStartUpStartsAGameOnTheFirstPass) {
  for (const char* script : {"1 SPACE\n3 -\n", "1 tap:SPACE\n3 -\n"}) {
    const auto passes = RunScript(script, Seeded(1)).ByPass();
    ASSERT_GE(passes.size(), 2u) << script;
    EXPECT_TRUE(passes[1].IsGame()) << script;
    EXPECT_EQ(passes[1].Number("PlayerX"), 146.0);
    EXPECT_EQ(passes[1].Int("PlayerY"), 288);
    EXPECT_EQ(passes[1].Int("MarchInterval"), 200);
    EXPECT_EQ(passes[1].Int("BulletTop"), 4);
  }
}

TEST(GameLoop, PacedFramesLast31MsAndUncheckingWaitTakesEffectInThatFrame) {
  const auto passes = RunScript("1 SPACE\n5 -\n1 wait\n3 -\n", Seeded(3)).ByPass();
  ASSERT_EQ(passes.size(), 11u);
  EXPECT_FALSE(passes[0].Written());  // it ran the game until the window closed
  for (int p = 1; p <= 5; ++p) {
    EXPECT_EQ(passes[p].Duration(), 31) << "pass " << p;
    EXPECT_EQ(passes[p].Int("FrameTime"), 31);
    EXPECT_EQ(passes[p].Int("WorkTime"), 5);
    EXPECT_TRUE(passes[p].Bool("wait"));
  }
  for (int p = 6; p <= 9; ++p) {
    EXPECT_EQ(passes[p].Duration(), 5) << "pass " << p;
    EXPECT_FALSE(passes[p].Bool("wait"));
  }
}

TEST(GameLoop, WorkOverThirtyMsIsNotStretched) {
  const auto passes = RunScript("1 SPACE work=40\n3 -\n", Seeded(3)).ByPass();
  for (int p = 1; p <= 3; ++p) EXPECT_EQ(passes[p].Duration(), 40) << "pass " << p;
}

// A game played with no key until it is over; returns its passes.
std::vector<Record> IdleGame(std::uint64_t seed, const std::string& afterStart = "600 -\n") {
  return RunScript("1 tap:SPACE\n" + afterStart, Seeded(seed)).ByPass();
}

std::size_t FirstWhere(const std::vector<Record>& passes, const std::string& key, std::int64_t value) {
  for (std::size_t i = 0; i < passes.size(); ++i)
    if (passes[i].IsGame() && passes[i].Int(key) == value) return i;
  return passes.size();
}

std::size_t EndOfGame(const std::vector<Record>& passes) {
  for (std::size_t i = 0; i < passes.size(); ++i)
    if (passes[i].Bool("ends_game")) return i;
  return passes.size();
}

TEST(GameOver, EndsOnItsOwnALittleOverTenSecondsAfterTheBanner) {
  const auto passes = IdleGame(11);
  const std::size_t banner = FirstWhere(passes, "GameOverShown", 1);
  const std::size_t end = EndOfGame(passes);
  ASSERT_LT(banner, passes.size());
  ASSERT_LT(end, passes.size());
  const std::int64_t timeout = passes[banner].Int("GameOverTimeoutAt");
  EXPECT_EQ(timeout, passes[banner].Int("GameOverKeyAt") + 8000);
  // The game ends in the first frame after one whose reading passed the
  // deadline, and no earlier.
  EXPECT_GT(passes[end - 1].Int("clock_start"), timeout);
  EXPECT_LE(passes[end - 2].Int("clock_start"), timeout);
  EXPECT_EQ(passes[end].Int("clock_end"), passes[end].Int("clock_start"));
  // The banner shows in every frame from its first until the end.
  for (std::size_t i = banner; i < end; ++i) EXPECT_EQ(passes[i].Int("GameOverShown"), 1);
  // Two 1000 ms waits, then the title screen again, with the frame rate reset.
  ASSERT_LT(end + 2, passes.size());
  const Record& titleAfter = passes[end + 1];
  EXPECT_EQ(titleAfter.Str("loop"), "title");
  EXPECT_EQ(titleAfter.Int("clock_start"), passes[end].Int("clock_end") + 2002);
  EXPECT_EQ(titleAfter.Int("PlayerDead"), 0);
  EXPECT_EQ(titleAfter.Int("Fps"), 0);
}

TEST(GameOver, SpaceHeldEndsItRightAfterTheKeyDeadline) {
  const auto idle = IdleGame(11);
  const std::size_t banner = FirstWhere(idle, "GameOverShown", 1);
  ASSERT_LT(banner, idle.size());
  // Same game, but SPACE held from the banner on.
  const std::int64_t before = static_cast<std::int64_t>(banner) - 1;
  const auto passes = IdleGame(11, std::to_string(before) + " -\n600 SPACE\n");
  const std::size_t end = EndOfGame(passes);
  ASSERT_LT(end, passes.size());
  const std::int64_t keyAt = passes[banner].Int("GameOverKeyAt");
  EXPECT_GT(passes[end - 1].Int("clock_start"), keyAt);
  EXPECT_LE(passes[end - 2].Int("clock_start"), keyAt);
  // SPACE still held: the title screen shows for a single pass and the next
  // game starts.
  ASSERT_LT(end + 2, passes.size());
  EXPECT_EQ(passes[end + 1].Str("loop"), "title");
  EXPECT_TRUE(passes[end + 2].IsGame());
  EXPECT_EQ(passes[end + 2].Int("Score"), 0);
}

TEST(GameOver, ATapDuringTheFirstTwoSecondsIsUsedUp) {
  const auto idle = IdleGame(11);
  const std::size_t banner = FirstWhere(idle, "GameOverShown", 1);
  const std::size_t idleEnd = EndOfGame(idle);
  ASSERT_LT(idleEnd, idle.size());
  // A tap 20 frames (620 ms) after the banner came up.
  const std::int64_t before = static_cast<std::int64_t>(banner) + 20 - 1;
  const auto passes = IdleGame(11, std::to_string(before) + " -\n1 tap:SPACE\n600 -\n");
  EXPECT_EQ(EndOfGame(passes), idleEnd);
}

TEST(GameOver, SpaceDuringTheShipsExplosionHasNoEffect) {
  const auto idle = IdleGame(11);
  const std::size_t dead = FirstWhere(idle, "PlayerDead", 1);
  const std::size_t banner = FirstWhere(idle, "GameOverShown", 1);
  ASSERT_LT(dead + 1, banner);
  const std::int64_t before = static_cast<std::int64_t>(dead);
  const std::int64_t during = static_cast<std::int64_t>(banner - dead) - 1;
  const auto passes = IdleGame(11, std::to_string(before) + " -\n" + std::to_string(during) + " SPACE\n600 -\n");
  EXPECT_EQ(EndOfGame(passes), EndOfGame(idle));
}

TEST(GameLoop, HiScoreSurvivesAGameAndScoreStartsAtZero) {
  const auto passes = RunScript("1 SPACE\n300 SPACE RIGHT\n", Seeded(5)).ByPass();
  const std::size_t end = EndOfGame(passes);
  ASSERT_LT(end + 2, passes.size());
  const std::int64_t score = passes[end].Int("Score");
  EXPECT_GT(score, 0);
  EXPECT_EQ(passes[end].Int("HiScore"), score);
  const Record& next = passes[end + 2];
  ASSERT_TRUE(next.IsGame());
  EXPECT_EQ(next.Int("Score"), 0);
  EXPECT_EQ(next.Int("HiScore"), score);
  EXPECT_EQ(next.Str("status").substr(0, 24), "HISCORE " + std::string(4 - std::to_string(score).size(), '0') +
                                                  std::to_string(score) + "  SCORE 0000");
}

TEST(Replay, SameScriptSameBytes) {
  const std::string script = "3 -\n1 SPACE\n200 SPACE LEFT\n100 RIGHT\n1 wait\n50 tap:SPACE\n";
  const Replay a = RunScript(script, Seeded(9));
  const Replay b = RunScript(script, Seeded(9));
  EXPECT_EQ(a.dump, b.dump);
  const Replay c = RunScript(script, Seeded(10));
  EXPECT_NE(a.dump, c.dump);
}

}  // namespace
}  // namespace zorva
