// Random play for a long time: games driven by random key scripts from fixed
// seeds, with WAIT on and off and several amounts of work per frame. After
// every pass the whole state must still make sense.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "rules/state.h"
#include "sim/replay.h"
#include "sim/script.h"
#include "sim/sim_window.h"

namespace zorva {
namespace {

// Random key script of at least `passes` passes from a small generator of our
// own (the same everywhere). Mostly SPACE held while sweeping, so that waves
// get cleared; the rest idles, moves, taps, clicks WAIT twice and (with
// `workChanges`) changes the work per frame.
std::vector<ScriptLine> RandomScript(std::uint64_t seed, std::int64_t passes, bool waitOff, bool workChanges) {
  auto in = [&seed](std::int64_t lo, std::int64_t hi) {  // splitmix64, a whole number in lo..hi
    std::uint64_t z = (seed += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return lo + static_cast<std::int64_t>((z ^ (z >> 31)) % static_cast<std::uint64_t>(hi - lo + 1));
  };
  std::vector<ScriptLine> script;
  std::int64_t total = 0;
  bool right = true;
  const auto add = [&](ScriptLine l) {
    l.lineNumber = static_cast<int>(script.size()) + 1;
    total += l.count;
    script.push_back(l);
  };
  ScriptLine click;
  click.clickWait = true;
  if (waitOff) add(click);
  while (total < passes) {
    ScriptLine l;
    const std::int64_t r = in(0, 99);
    if (r < 65) {  // fire while sweeping
      l.count = in(8, 60);
      l.holdSpace = true;
      right = in(0, 3) != 0 ? !right : right;
      (right ? l.holdRight : l.holdLeft) = true;
    } else if (r < 80) {  // fire standing still
      l.count = in(1, 30);
      l.holdSpace = true;
    } else if (r < 86) {  // move without firing
      l.count = in(1, 20);
      (in(0, 1) ? l.holdRight : l.holdLeft) = true;
    } else if (r < 88) {  // both ways at once
      l.count = in(1, 10);
      l.holdLeft = l.holdRight = true;
      l.holdSpace = in(0, 1) != 0;
    } else if (r < 92) {  // taps
      l.count = in(1, 5);
      l.tapSpace = in(0, 1) != 0;
      l.tapLeft = in(0, 2) == 0;
      l.tapRight = in(0, 2) == 0;
    } else if (r < 97) {  // nothing
      l.count = in(1, 40);
    } else if (r < 98) {  // WAIT clicked twice, a little apart
      l.count = in(1, 30);
      l.holdSpace = l.clickWait = true;
      add(l);
      l = click;
    } else if (workChanges) {
      static constexpr std::int64_t kWork[] = {0, 1, 5, 17, 29, 30, 31, 45};
      l.count = in(5, 60);
      l.work = kWork[in(0, 7)];
      l.holdSpace = true;
    } else {
      l.count = in(1, 10);
      l.holdSpace = l.tapLeft = true;
    }
    add(l);
  }
  return script;
}

SimWindow& Sim() { return dynamic_cast<SimWindow&>(*Main); }

// Checks one pass against the rules and the pass before; returns the first
// broken rule, or nothing.
struct Invariants {
  std::int64_t frames = 0, pacedFrames = 0, wavesCleared = 0, fastestMarch = 200;
  int topBulletTop = 0, games = 0, killCount = 0;
  std::int32_t score = 0, hiScore = 0;

  std::string Check(Loop loop, bool endsGame) {
    std::ostringstream why;
    const int nowGames = Sim().GamesSeeded();
    const bool played = nowGames > 0;
    auto rule = [&why](bool ok, const char* what, double value) {
      if (!ok) why << what << " " << value << "; ";
    };
    rule(G.PlayerX >= 0 && G.PlayerX <= 288 && G.PlayerX == std::floor(G.PlayerX), "PlayerX", G.PlayerX);
    rule(!played || G.PlayerY == 288, "PlayerY", G.PlayerY);
    int gone = 0;
    for (const auto s : G.EnemyState) {
      rule(s >= 0 && s <= 7, "EnemyState", s);
      gone += s == 7;
    }
    rule(G.KillCount >= 0 && G.KillCount <= 24 && G.KillCount == gone, "KillCount", G.KillCount);
    rule(!played || (G.BulletTop >= 3 && G.BulletTop <= 20), "BulletTop", G.BulletTop);
    rule(G.MarchInterval >= 0, "MarchInterval", G.MarchInterval);
    rule(G.AimLevel >= 0 && G.AimLevel <= 3, "AimLevel", G.AimLevel);
    for (int i = 0; i < kShotSlots; ++i) {
      const int a = G.ShotActive[i], y = G.ShotY[i];
      rule(a == 0 || a == 1, "ShotActive", a);
      rule(a == 0 || (y > 0 && y <= 288 && G.ShotX[i] >= 0 && G.ShotX[i] <= 288), "shot in flight at y", y);
      rule(a == 1 || y == 320 || y == 0, "free shot at y", y);
    }
    for (int i = 0; i < kBulletSlots; ++i) {
      rule(G.BulletActive[i] == 0 || G.BulletActive[i] == 1, "BulletActive", G.BulletActive[i]);
      rule(G.BulletActive[i] == 0 || i <= G.BulletTop, "bullet above BulletTop in slot", i);
    }
    rule(G.Score >= 0 && G.Score % 10 == 0, "Score", G.Score);
    rule(nowGames != games || G.Score >= score, "Score fell to", G.Score);
    rule(G.HiScore >= G.Score && G.HiScore >= hiScore, "HiScore", G.HiScore);
    rule(G.PlayerDead == 0 || G.PlayerDead == 1, "PlayerDead", G.PlayerDead);
    rule(G.PlayerBlastFrame >= 0 && G.PlayerBlastFrame <= 7, "PlayerBlastFrame", G.PlayerBlastFrame);
    rule(G.GameOverShown == 0 || G.PlayerBlastFrame == 7, "GAME OVER before the explosion ended", 0);
    rule(G.ScrollY >= 0 && G.ScrollY <= 319, "ScrollY", G.ScrollY);
    rule(G.TitleBlink == 0 || G.TitleBlink == -1, "TitleBlink", G.TitleBlink);
    rule(G.Fps >= 0, "Fps", G.Fps);
    // A game frame lasts 31 ms when WAIT is checked and its work took less
    // than 30 ms; otherwise as long as its work.
    if (loop == Loop::Game && !endsGame) {
      rule(G.FrameTime == (G.WorkTime < 30 && Sim().WaitChecked() ? 31 : G.WorkTime), "FrameTime",
           static_cast<double>(G.FrameTime));
      ++frames;
      pacedFrames += Sim().WaitChecked();
    }
    if (played && nowGames == games && killCount == 24 && G.KillCount == 0) ++wavesCleared;
    if (played) {
      topBulletTop = std::max(topBulletTop, static_cast<int>(G.BulletTop));
      fastestMarch = std::min(fastestMarch, static_cast<std::int64_t>(G.MarchInterval));
    }
    killCount = G.KillCount;
    games = nowGames;
    score = G.Score;
    hiScore = G.HiScore;
    return why.str();
  }
};

struct SoakCase {
  std::uint64_t seed;
  std::int64_t work;  // ms of work per frame at the start
  bool waitOff, workChanges;
  bool laterWaves;    // games begin at later waves, up to the fastest
};

void PrintTo(const SoakCase& c, std::ostream* os) { *os << "seed " << std::hex << c.seed; }

// 8 x 125,000: at least a million game frames; each case takes well under a
// minute in the sanitizer build.
constexpr std::int64_t kFrames = 125'000;
class Soak : public ::testing::TestWithParam<SoakCase> {};

TEST_P(Soak, InvariantsHoldAfterEveryPass) {
  const SoakCase& c = GetParam();
  // Twice the passes needed (title and GAME OVER screens take their share);
  // the window is closed as soon as enough frames were played.
  const std::vector<ScriptLine> script = RandomScript(c.seed, 2 * kFrames, c.waitOff, c.workChanges);
  Invariants inv;
  std::string failure;
  std::int64_t pass = 0;
  int drivenGame = 0;
  SimOptions options;
  options.seed = c.seed;
  options.work = c.work;
  options.afterPass = [&](Loop loop, bool endsGame) {
    const std::string why = inv.Check(loop, endsGame);
    if (!why.empty() && failure.empty()) failure = "pass " + std::to_string(pass) + ": " + why;
    ++pass;
    // The k-th game of a later-waves run begins as if 0, 7, 14, ... 49 waves
    // had been cleared, with 0 to 22 of its enemies gone.
    if (c.laterWaves && loop == Loop::Game && Sim().GamesSeeded() != drivenGame) {
      drivenGame = Sim().GamesSeeded();
      const int cleared = (drivenGame - 1) % 8 * 7, gone = (drivenGame - 1) * 5 % 23;
      for (int i = 0; i < gone; ++i) G.EnemyState[static_cast<std::size_t>(i)] = 7;
      G.KillCount = static_cast<std::int16_t>(gone);
      G.MarchInterval = std::max(0, 200 - 10 * cleared);
      G.AimLevel = std::min(3.0f, 0.4f * static_cast<float>(cleared));
      G.BulletGrowth = 0.5f * static_cast<float>(cleared);
      G.BulletTop = static_cast<std::int16_t>(std::min(20, cleared / 2 + 3));
    }
    if (inv.frames >= kFrames || !failure.empty()) Sim().CloseInNextPump();
  };
  const SimResult result = RunSimulation(script, options);

  EXPECT_EQ(failure, "");
  EXPECT_GE(inv.frames, kFrames);
  EXPECT_GE(result.frames, kFrames);
  // Real play: several games, and waves cleared in them.
  EXPECT_GE(result.games, 3);
  EXPECT_GE(inv.wavesCleared, 1);
  if (c.laterWaves) {  // the hardest waves: all 21 bullet slots, a step every second frame
    EXPECT_EQ(inv.topBulletTop, 20);
    EXPECT_EQ(inv.fastestMarch, 0);
  }
  // WAIT is clicked now and then, but mostly stays as it began.
  EXPECT_EQ(inv.pacedFrames * 2 < inv.frames, c.waitOff);
}

INSTANTIATE_TEST_SUITE_P(RandomPlay, Soak,
                         ::testing::Values(SoakCase{0x5eed0001, 1, false, false, false},
                                           SoakCase{0x5eed0002, 5, false, false, true},
                                           SoakCase{0x5eed0003, 17, false, true, false},
                                           SoakCase{0x5eed0004, 31, false, false, true},
                                           SoakCase{0x5eed0005, 45, true, false, false},
                                           SoakCase{0x5eed0006, 5, true, true, true},
                                           SoakCase{0x5eed0007, 17, true, false, true},
                                           SoakCase{0x5eed0008, 1, true, true, false}),
                         [](const auto& info) { return "Seed" + std::to_string(info.param.seed & 0xF); });

}  // namespace
}  // namespace zorva
