// Random play for a long time: games driven by random key scripts from fixed
// seeds, with WAIT on and off and several amounts of work per frame. After
// every pass the whole state must still make sense.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <sstream>
#include <ostream>
#include <string>
#include <vector>

#include "app/window.h"
#include "rules/state.h"
#include "sim/replay.h"
#include "sim/script.h"
#include "sim/sim_window.h"

namespace zorva {
namespace {

// A small generator of our own, so that the scripts are the same everywhere.
class SplitMix {
 public:
  explicit SplitMix(std::uint64_t seed) : s_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (s_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // A whole number in lo..hi.
  std::int64_t In(std::int64_t lo, std::int64_t hi) {
    return lo + static_cast<std::int64_t>(Next() % static_cast<std::uint64_t>(hi - lo + 1));
  }

 private:
  std::uint64_t s_;
};

// Random key script of at least `passes` passes. Most of it holds SPACE while
// sweeping from side to side, so that waves get cleared; the rest is idling,
// moving without firing, taps, WAIT clicks and (with `workChanges`) changes of
// the work per frame.
std::vector<ScriptLine> RandomScript(std::uint64_t seed, std::int64_t passes, bool waitOff, bool workChanges) {
  SplitMix rnd(seed);
  std::vector<ScriptLine> script;
  std::int64_t total = 0;
  bool right = true;
  const auto add = [&](ScriptLine line) {
    line.lineNumber = static_cast<int>(script.size()) + 1;
    total += line.count;
    script.push_back(line);
  };
  if (waitOff) {
    ScriptLine off;
    off.clickWait = true;
    add(off);
  }
  while (total < passes) {
    ScriptLine l;
    const std::int64_t r = rnd.In(0, 99);
    if (r < 65) {  // fire while sweeping
      l.count = rnd.In(8, 60);
      l.holdSpace = true;
      right = rnd.In(0, 3) != 0 ? !right : right;
      (right ? l.holdRight : l.holdLeft) = true;
    } else if (r < 80) {  // fire standing still
      l.count = rnd.In(1, 30);
      l.holdSpace = true;
    } else if (r < 86) {  // move without firing
      l.count = rnd.In(1, 20);
      (rnd.In(0, 1) ? l.holdRight : l.holdLeft) = true;
    } else if (r < 88) {  // both ways at once
      l.count = rnd.In(1, 10);
      l.holdLeft = l.holdRight = true;
      l.holdSpace = rnd.In(0, 1) != 0;
    } else if (r < 92) {  // taps
      l.count = rnd.In(1, 5);
      l.tapSpace = rnd.In(0, 1) != 0;
      l.tapLeft = rnd.In(0, 2) == 0;
      l.tapRight = rnd.In(0, 2) == 0;
    } else if (r < 97) {  // nothing
      l.count = rnd.In(1, 40);
    } else if (r < 98) {  // WAIT clicked twice, a little apart
      l.count = rnd.In(1, 30);
      l.clickWait = true;
      l.holdSpace = true;
      add(l);
      l = ScriptLine{};
      l.count = 1;
      l.clickWait = true;
    } else if (workChanges) {  // another amount of work per frame
      static constexpr std::int64_t kWork[] = {0, 1, 5, 17, 29, 30, 31, 45};
      l.count = rnd.In(5, 60);
      l.work = kWork[rnd.In(0, 7)];
      l.holdSpace = true;
    } else {
      l.count = rnd.In(1, 10);
      l.holdSpace = true;
      l.tapLeft = true;
    }
    add(l);
  }
  return script;
}

SimWindow& Sim() { return dynamic_cast<SimWindow&>(*Main); }

// What one pass left behind, checked against the state of the pass before.
class Invariants {
 public:
  // Returns a description of the first broken rule, or nothing.
  std::string Check(Loop loop, bool endsGame) {
    std::ostringstream why;
    const int games = Sim().GamesSeeded();
    const bool played = games > 0;
    if (!(G.PlayerX >= 0 && G.PlayerX <= 288 && G.PlayerX == std::floor(G.PlayerX)))
      why << "PlayerX " << G.PlayerX << "; ";
    if (played && G.PlayerY != 288) why << "PlayerY " << G.PlayerY << "; ";
    int gone = 0;
    for (int i = 0; i < kEnemySlots; ++i) {
      if (G.EnemyState[i] < 0 || G.EnemyState[i] > 7) why << "EnemyState[" << i << "] " << G.EnemyState[i] << "; ";
      if (G.EnemyState[i] == 7) ++gone;
    }
    if (G.KillCount < 0 || G.KillCount > 24) why << "KillCount " << G.KillCount << "; ";
    if (G.KillCount != gone) why << "KillCount " << G.KillCount << " but " << gone << " gone; ";
    if (played && (G.BulletTop < 3 || G.BulletTop > 20)) why << "BulletTop " << G.BulletTop << "; ";
    if (played) {
      const int top = G.BulletGrowth == 0 ? 4 : std::min(20, static_cast<int>(std::floor(G.BulletGrowth)) + 3);
      if (G.BulletTop != top) why << "BulletTop " << G.BulletTop << " for growth " << G.BulletGrowth << "; ";
      if (G.MarchInterval < 0 || G.MarchInterval > 200 || G.MarchInterval % 10 != 0)
        why << "MarchInterval " << G.MarchInterval << "; ";
    }
    if (G.MarchInterval < 0) why << "MarchInterval " << G.MarchInterval << "; ";
    if (!(G.AimLevel >= 0 && G.AimLevel <= 3)) why << "AimLevel " << G.AimLevel << "; ";
    for (int i = 0; i < kShotSlots; ++i) {
      const int a = G.ShotActive[i], y = G.ShotY[i];
      if (a != 0 && a != 1) why << "ShotActive[" << i << "] " << a << "; ";
      if (a == 1 && (y <= 0 || y > 288 || G.ShotX[i] < 0 || G.ShotX[i] > 288))
        why << "shot " << i << " in flight at " << G.ShotX[i] << "," << y << "; ";
      if (a == 0 && y != 320 && y != 0) why << "free shot " << i << " at y " << y << "; ";
    }
    for (int i = 0; i < kBulletSlots; ++i) {
      const int a = G.BulletActive[i];
      if (a != 0 && a != 1) why << "BulletActive[" << i << "] " << a << "; ";
      if (a != 0 && i > G.BulletTop) why << "bullet in slot " << i << " above BulletTop " << G.BulletTop << "; ";
    }
    if (G.Score < 0 || G.Score % 10 != 0) why << "Score " << G.Score << "; ";
    if (games == games_ && G.Score < score_) why << "Score fell from " << score_ << " to " << G.Score << "; ";
    if (G.HiScore < G.Score) why << "HiScore " << G.HiScore << " below Score " << G.Score << "; ";
    if (G.HiScore < hiScore_) why << "HiScore fell from " << hiScore_ << " to " << G.HiScore << "; ";
    if (G.PlayerDead != 0 && G.PlayerDead != 1) why << "PlayerDead " << G.PlayerDead << "; ";
    if (G.PlayerBlastFrame < 0 || G.PlayerBlastFrame > 7) why << "PlayerBlastFrame " << G.PlayerBlastFrame << "; ";
    if (G.GameOverShown == 1 && G.PlayerBlastFrame != 7) why << "GAME OVER before the explosion ended; ";
    if (G.ScrollY < 0 || G.ScrollY > 319) why << "ScrollY " << G.ScrollY << "; ";
    if (G.TitleBlink != 0 && G.TitleBlink != -1) why << "TitleBlink " << G.TitleBlink << "; ";
    if (G.Fps < 0) why << "Fps " << G.Fps << "; ";
    // A whole game frame is stretched to 31 ms when WAIT is checked and its
    // work took less than 30 ms; otherwise it lasts as long as its work.
    if (loop == Loop::Game && !endsGame) {
      const std::int64_t expected = G.WorkTime < 30 && Sim().WaitChecked() ? 31 : G.WorkTime;
      if (G.FrameTime != expected) why << "FrameTime " << G.FrameTime << " after work " << G.WorkTime << "; ";
      ++frames_;
      if (Sim().WaitChecked()) ++pacedFrames_;
    }
    // A wave change is the only way back from 24 to 0 within a game.
    if (played && games == games_ && killCount_ == 24 && G.KillCount == 0) ++wavesCleared_;
    if (played) {
      topBulletTop_ = std::max(topBulletTop_, static_cast<int>(G.BulletTop));
      fastestMarch_ = std::min(fastestMarch_, static_cast<std::int64_t>(G.MarchInterval));
    }
    killCount_ = G.KillCount;
    games_ = games;
    score_ = G.Score;
    hiScore_ = G.HiScore;
    return why.str();
  }

  std::int64_t frames_ = 0;
  std::int64_t pacedFrames_ = 0;
  std::int64_t wavesCleared_ = 0;
  int topBulletTop_ = 0;
  std::int64_t fastestMarch_ = 200;

 private:
  int games_ = 0;
  std::int32_t score_ = 0;
  std::int32_t hiScore_ = 0;
  int killCount_ = 0;
};

// Puts the difficulty of a later wave into a game that has just begun, as
// if `cleared` waves had been cleared (the same steps as the wave change),
// with the first `gone` enemies of the formation already destroyed.
void StartAtWave(int cleared, int gone) {
  for (int i = 0; i < gone; ++i) G.EnemyState[i] = 7;
  G.KillCount = static_cast<std::int16_t>(gone);
  for (int k = 0; k < cleared; ++k) {
    G.MarchInterval = std::max(0, G.MarchInterval - 10);
    G.AimLevel = std::min(3.0f, static_cast<float>(static_cast<double>(G.AimLevel) + 0.4));
    G.BulletGrowth = static_cast<float>(static_cast<double>(G.BulletGrowth) + 0.5);
    G.BulletTop = static_cast<std::int16_t>(std::min(20, static_cast<int>(std::floor(G.BulletGrowth)) + 3));
  }
}

struct SoakCase {
  const char* name;
  std::uint64_t seed;
  std::int64_t work;    // ms of work per frame at the start
  bool waitOff;         // WAIT unchecked at the start
  bool workChanges;     // the script changes the work now and then
  bool laterWaves;      // games begin at later waves, up to the fastest
  std::int64_t frames;  // game frames to play
};

// Cases print as their names.
void PrintTo(const SoakCase& c, std::ostream* os) { *os << c.name; }

// Together at least a million game frames. Each case takes well under a
// minute in the sanitizer build, so that the cases spread over the cores.
constexpr SoakCase kSoak[] = {
    {"Work1Paced", 0x5eed0001, 1, false, false, false, 125'000},
    {"Work5Paced", 0x5eed0002, 5, false, false, true, 125'000},
    {"Work17Paced", 0x5eed0003, 17, false, true, false, 125'000},
    {"Work31Paced", 0x5eed0004, 31, false, false, true, 125'000},
    {"Work45Unpaced", 0x5eed0005, 45, true, false, false, 125'000},
    {"Work5Unpaced", 0x5eed0006, 5, true, true, true, 125'000},
    {"Work17Unpaced", 0x5eed0007, 17, true, false, true, 125'000},
    {"Work1Unpaced", 0x5eed0008, 1, true, true, false, 125'000},
};

constexpr std::int64_t TotalFrames() {
  std::int64_t n = 0;
  for (const SoakCase& c : kSoak) n += c.frames;
  return n;
}
static_assert(TotalFrames() >= 1'000'000, "the soak plays at least a million frames");

class Soak : public ::testing::TestWithParam<SoakCase> {};

TEST_P(Soak, InvariantsHoldAfterEveryPass) {
  const SoakCase& c = GetParam();
  // Twice the passes needed: the title screens and the GAME OVER screens
  // take their share; the run is closed as soon as enough frames were played.
  const std::vector<ScriptLine> script = RandomScript(c.seed, 2 * c.frames, c.waitOff, c.workChanges);
  Invariants inv;
  std::string failure;
  std::int64_t failedAtPass = -1, pass = 0;
  int drivenGame = 0;
  SimOptions options;
  options.seed = c.seed;
  options.work = c.work;
  options.afterPass = [&](Loop loop, bool endsGame) {
    const std::string why = inv.Check(loop, endsGame);
    if (!why.empty() && failure.empty()) {
      failure = why;
      failedAtPass = pass;
    }
    ++pass;
    // The k-th game of a later-waves run begins as if 0, 7, 14, ... 49
    // waves (in turn) had been cleared, and with 0 to 22 of its enemies
    // gone, so that the hardest waves get cleared too.
    if (c.laterWaves && loop == Loop::Game && Sim().GamesSeeded() != drivenGame) {
      drivenGame = Sim().GamesSeeded();
      StartAtWave((drivenGame - 1) % 8 * 7, (drivenGame - 1) * 5 % 23);
    }
    if (inv.frames_ >= c.frames || !failure.empty()) Sim().CloseInNextPump();
  };
  const SimResult result = RunSimulation(script, options);

  EXPECT_TRUE(failure.empty()) << "pass " << failedAtPass << ": " << failure;
  EXPECT_GE(result.frames, c.frames);
  EXPECT_GE(inv.frames_, c.frames);
  // The random play is real play: several games, and waves cleared in them.
  EXPECT_GE(result.games, 3);
  EXPECT_GE(inv.wavesCleared_, 1);
  if (c.laterWaves) {
    // The hardest waves were played: all 21 bullet slots, and the formation
    // stepping at every second frame.
    EXPECT_EQ(inv.topBulletTop_, 20);
    EXPECT_EQ(inv.fastestMarch_, 0);
  }
  // WAIT is clicked now and then, but mostly stays as it began.
  if (c.waitOff) {
    EXPECT_LT(inv.pacedFrames_ * 2, inv.frames_);
  } else {
    EXPECT_GT(inv.pacedFrames_ * 2, inv.frames_);
  }
  RecordProperty("frames", std::to_string(result.frames));
  RecordProperty("games", result.games);
  RecordProperty("waves", std::to_string(inv.wavesCleared_));
  RecordProperty("top", inv.topBulletTop_);
}

INSTANTIATE_TEST_SUITE_P(RandomPlay, Soak, ::testing::ValuesIn(kSoak),
                         [](const ::testing::TestParamInfo<SoakCase>& info) { return std::string(info.param.name); });

// The scripts themselves: fixed by their seed, and mostly firing.
TEST(SoakScript, SameSeedSameScriptAndMostlyFiring) {
  const auto a = RandomScript(7, 20'000, false, true);
  const auto b = RandomScript(7, 20'000, false, true);
  const auto other = RandomScript(8, 20'000, false, true);
  ASSERT_EQ(a.size(), b.size());
  std::int64_t passes = 0, firing = 0, sweeping = 0;
  bool differs = a.size() != other.size();
  for (std::size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(a[i].count, b[i].count);
    EXPECT_EQ(a[i].holdSpace, b[i].holdSpace);
    EXPECT_EQ(a[i].work, b[i].work);
    if (i < other.size() && (a[i].count != other[i].count || a[i].holdSpace != other[i].holdSpace)) differs = true;
    passes += a[i].count;
    if (a[i].holdSpace) firing += a[i].count;
    if (a[i].holdSpace && a[i].holdLeft != a[i].holdRight) sweeping += a[i].count;
  }
  EXPECT_TRUE(differs);
  EXPECT_GE(passes, 20'000);
  EXPECT_GT(firing * 2, passes);
  EXPECT_GT(sweeping * 3, passes);
}

}  // namespace
}  // namespace zorva
