// A million game frames of random play (`make soak`): random key scripts from fixed seeds, WAIT clicked now and
// then, several amounts of work per frame, and on odd seeds games begun up to 49 waves on with part of the
// formation gone. After every pass the whole state must still make sense.
#include <cmath>
#include <sstream>

#include "tests/support.h"

namespace zorva {
namespace {

// Mostly SPACE held while sweeping, so that waves get cleared; now and then idling, taps, both keys, a click on WAIT.
std::vector<ScriptLine> RandomScript(std::uint64_t seed, std::int64_t passes) {
  const auto in = [&seed](std::int64_t n) {  // splitmix64: a whole number in 0..n-1
    std::uint64_t z = (seed += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull, z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return static_cast<std::int64_t>((z ^ (z >> 31)) % static_cast<std::uint64_t>(n));
  };
  std::vector<ScriptLine> script;
  for (std::int64_t total = 0; total < passes; total += script.back().count) {
    ScriptLine l;
    const std::int64_t r = in(100);
    l.count = 1 + in(50), l.holdSpace = r < 80 || r >= 95, l.tapSpace = r >= 80 && r < 85, l.tapLeft = r == 85, l.tapRight = r == 86;
    (in(2) ? l.holdRight : l.holdLeft) = r < 70 || r >= 90;
    l.holdLeft |= r >= 93, l.clickWait = r == 87 || r == 88;
    if (r == 89) l.work = std::vector<std::int64_t>{0, 1, 5, 17, 29, 30, 31, 45}[static_cast<std::size_t>(in(8))];
    script.push_back(l);
  }
  return script;
}

// The rules every pass keeps; the broken ones. A frame lasts 31 ms when WAIT is checked and its work took less
// than 30 ms, else as long as its work.
std::string Broken(bool frame, bool played, bool waitChecked) {
  std::ostringstream why;
  const auto rule = [&why](bool ok, const char* what, double value) { ok ? void() : void(why << what << " " << value << "; "); };
  EachVariable(G, [&rule](const Variable& var, const auto& member) {  // every slot in the range of the table
    EachSlot(member, [&](auto x) { rule(std::isfinite(static_cast<double>(x)) && x >= var.lowest && x <= var.highest, var.name, x); });
  });
  rule(G.PlayerX == std::floor(G.PlayerX), "PlayerX", G.PlayerX);
  rule(G.KillCount == std::count(G.EnemyState.begin(), G.EnemyState.end(), 7), "KillCount", G.KillCount);
  rule(!played || (G.BulletTop >= 3 && G.BulletTop <= 20 && G.MarchInterval >= 0 && G.AimLevel >= 0 && G.AimLevel <= 3), "BulletTop",
       G.BulletTop);
  for (int i = 0; i < kShotSlots; ++i)
    rule(G.ShotActive[i] == 1 ? G.ShotY[i] > 0 && G.ShotY[i] <= 288 : G.ShotActive[i] == 0 && G.ShotY[i] % 320 == 0, "shot at", G.ShotY[i]);
  for (int i = 0; i < kBulletSlots; ++i) rule(G.BulletActive[i] == 0 || (G.BulletActive[i] == 1 && i <= G.BulletTop), "bullet", i);
  rule(G.Score >= 0 && G.Score % 10 == 0 && G.HiScore >= G.Score, "Score", G.Score);
  rule(!G.GameOverShown || G.PlayerBlastFrame == 7, "blast", G.PlayerBlastFrame);
  rule(!frame || G.FrameTime == (G.WorkTime < 30 && waitChecked ? 31 : G.WorkTime), "FrameTime", static_cast<double>(G.FrameTime));
  return why.str();
}

class Soak : public ::testing::TestWithParam<std::uint64_t> {};

TEST_P(Soak, InvariantsHoldAfterEveryPass) {
  constexpr std::int64_t kFrames = 125'000;  // 8 seeds: a million frames
  const std::uint64_t seed = GetParam();
  std::int64_t frames = 0, games = 0, wavesCleared = 0, fastest = 200;
  float growth = 0;  // BulletGrowth rises by 0.5 with every cleared wave
  std::string failure;
  SimOptions options;
  options.seed = seed, options.work = static_cast<std::int64_t>(seed % 4 * 10 + 1);
  options.afterPass = [&](Loop loop, bool endsGame) {
    auto& sim = *static_cast<SimWindow*>(Main);
    const std::string why = Broken(loop == Loop::Game && !endsGame, sim.GamesSeeded() > 0, sim.WaitChecked());
    if (!why.empty() && failure.empty())
      failure = "frame " + std::to_string(frames) + ": " + why;
    if (loop == Loop::Game && sim.GamesSeeded() != games && seed % 2) {  // 0, 7, ... 49 waves on, 0 to 22 enemies gone
      const int cleared = static_cast<int>(games % 8) * 7, gone = static_cast<int>(games * 5 % 23);
      for (int i = 0; i < gone; ++i) G.EnemyState[i] = 7;
      G.KillCount = static_cast<std::int16_t>(gone);
      G.MarchInterval = std::max(0, 200 - 10 * cleared), G.AimLevel = std::min(3.0f, 0.4f * static_cast<float>(cleared));
      G.BulletGrowth = 0.5f * static_cast<float>(cleared), G.BulletTop = static_cast<std::int16_t>(std::min(20, cleared / 2 + 3));
    }
    wavesCleared += sim.GamesSeeded() == games && G.BulletGrowth > growth;
    games = sim.GamesSeeded(), growth = G.BulletGrowth, fastest = std::min<std::int64_t>(fastest, G.MarchInterval);
    if ((frames += loop == Loop::Game) >= kFrames || !failure.empty()) sim.CloseInNextPump();
  };
  RunSimulation(RandomScript(seed, 2 * kFrames), options);
  EXPECT_EQ(failure, "");
  EXPECT_VALUES(V(frames >= kFrames, games >= 3, wavesCleared >= 1, seed % 2 == 0 || fastest == 0), V(1, 1, 1, 1))
      << games << " games, " << wavesCleared << " waves cleared";
}

INSTANTIATE_TEST_SUITE_P(RandomPlay, Soak, ::testing::Range<std::uint64_t>(0x5eed0001, 0x5eed0009));

}  // namespace
}  // namespace zorva
