// Whole games on the simulator: the title screen, the frames of a game, the
// GAME OVER screen and the way back.
#include <gtest/gtest.h>

#include <string>

#include "tests/replay_support.h"

namespace zorva {
namespace {

std::string Status(const char* fps) { return "HISCORE 0000  SCORE 0000" + std::string(25, ' ') + "FPS " + fps; }

TEST(TitleScreen, PromptFromTheSecondPassAndStatusOnEveryPass) {
  const auto passes = RunScript("4 -\n").ByPass();
  ASSERT_EQ(passes.size(), 5u);  // four scripted passes and the closing one
  for (const Record& p : passes) EXPECT_EQ(p.Str("loop"), "title");
  EXPECT_EQ(passes[0].Int("TitleBlink"), 0);
  EXPECT_EQ(passes[1].Int("TitleBlink"), -1);
  EXPECT_NE(passes[0].Str("canvas"), passes[1].Str("canvas"));
  // The frame rate comes on the second pass, from the unpaced 5 ms passes.
  EXPECT_EQ(passes[0].Str("status"), Status("00000"));
  EXPECT_EQ(passes[1].Str("status"), Status("00200"));
  EXPECT_TRUE(passes.back().Bool("closed"));
  EXPECT_EQ(passes.back().Raw("mci"), "[\"close MIDI notify\"]");
}

TEST(TitleScreen, SpaceHeldOrTappedAtStartUpStartsAGameOnTheFirstPass) {
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

TEST(GameLoop, FramesArePacedTo31MsAndUncheckingWaitTakesEffectInThatFrame) {
  const auto passes = RunScript("1 SPACE\n5 -\n1 wait\n3 -\n", Seeded(3)).ByPass();
  ASSERT_EQ(passes.size(), 11u);
  EXPECT_FALSE(passes[0].Written());  // it ran the game until the window closed
  for (int p = 1; p <= 9; ++p) {
    EXPECT_EQ(passes[p].Duration(), p <= 5 ? 31 : 5) << "pass " << p;
    EXPECT_EQ(passes[p].Bool("wait"), p <= 5);
  }
  EXPECT_EQ(passes[5].Int("FrameTime"), 31);
  EXPECT_EQ(passes[5].Int("WorkTime"), 5);
  const auto slow = RunScript("1 SPACE work=40\n3 -\n", Seeded(3)).ByPass();  // never stretched beyond the work
  for (int p = 1; p <= 3; ++p) EXPECT_EQ(slow[p].Duration(), 40) << "pass " << p;
}

// A game played with no key after its start until it is over, and where
// things happened in it.
struct Game {
  std::vector<Record> passes;
  std::size_t dead, banner, end;
  explicit Game(const std::string& afterStart = "600 -\n")
      : passes(RunScript("1 tap:SPACE\n" + afterStart, Seeded(11)).ByPass()),
        dead(First("PlayerDead", 1)), banner(First("GameOverShown", 1)), end(passes.size()) {
    for (std::size_t i = passes.size(); i-- > 0;)
      if (passes[i].Written() && passes[i].Bool("ends_game")) end = i;
  }
  std::size_t First(const char* key, std::int64_t value) const {
    for (std::size_t i = 0; i < passes.size(); ++i)
      if (passes[i].IsGame() && passes[i].Int(key) == value) return i;
    return passes.size();
  }
};

TEST(GameOver, EndsALittleOverTenSecondsAfterTheBannerAndTwoSecondsLaterTheTitleShows) {
  const Game g;
  ASSERT_TRUE(g.dead + 1 < g.banner && g.banner < g.end && g.end + 2 < g.passes.size());
  const auto& p = g.passes;
  const std::int64_t timeout = p[g.banner].Int("GameOverTimeoutAt");
  EXPECT_EQ(timeout, p[g.banner].Int("GameOverKeyAt") + 8000);
  // The first frame after one whose reading passed the deadline, no earlier.
  EXPECT_GT(p[g.end - 1].Int("clock_start"), timeout);
  EXPECT_LE(p[g.end - 2].Int("clock_start"), timeout);
  EXPECT_EQ(p[g.end].Duration(), 0);
  for (std::size_t i = g.banner; i < g.end; ++i) EXPECT_EQ(p[i].Int("GameOverShown"), 1);
  // Two 1000 ms waits, then the title screen, the frame rate reset.
  EXPECT_EQ(p[g.end + 1].Str("loop"), "title");
  EXPECT_EQ(p[g.end + 1].Int("clock_start"), p[g.end].Int("clock_end") + 2002);
  EXPECT_EQ(p[g.end + 1].Int("PlayerDead"), 0);
  EXPECT_EQ(p[g.end + 1].Int("Fps"), 0);
}

TEST(GameOver, KeysDuringTheExplosionAndTheFirstTwoSecondsAreUsedUpButSpaceHeldEndsIt) {
  const Game idle;
  const std::int64_t dead = static_cast<std::int64_t>(idle.dead), banner = static_cast<std::int64_t>(idle.banner);
  // SPACE held through the ship's explosion; a tap 20 frames after the banner.
  EXPECT_EQ(Game(std::to_string(dead) + " -\n" + std::to_string(banner - dead - 1) + " SPACE\n600 -\n").end, idle.end);
  EXPECT_EQ(Game(std::to_string(banner + 19) + " -\n1 tap:SPACE\n600 -\n").end, idle.end);
  // SPACE held from the banner on: the first frame after GameOverKeyAt has
  // passed ends it, the title shows for one pass and the next game starts.
  const Game held(std::to_string(banner - 1) + " -\n600 SPACE\n");
  const auto& p = held.passes;
  ASSERT_LT(held.end + 2, p.size());
  EXPECT_GT(p[held.end - 1].Int("clock_start"), p[idle.banner].Int("GameOverKeyAt"));
  EXPECT_LE(p[held.end - 2].Int("clock_start"), p[idle.banner].Int("GameOverKeyAt"));
  EXPECT_EQ(p[held.end + 1].Str("loop"), "title");
  EXPECT_TRUE(p[held.end + 2].IsGame());
}

TEST(GameLoop, HiScoreSurvivesAGameAndScoreStartsAtZero) {
  const auto passes = RunScript("1 SPACE\n300 SPACE RIGHT\n", Seeded(5)).ByPass();
  std::size_t end = 0;
  while (end < passes.size() && !(passes[end].Written() && passes[end].Bool("ends_game"))) ++end;
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
  EXPECT_EQ(RunScript(script, Seeded(9)).dump, RunScript(script, Seeded(9)).dump);
  EXPECT_NE(RunScript(script, Seeded(9)).dump, RunScript(script, Seeded(10)).dump);
}

}  // namespace
}  // namespace zorva
