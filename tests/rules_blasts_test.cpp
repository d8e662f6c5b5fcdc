#include <gtest/gtest.h>

#include <vector>

#include "rules/blasts.h"
#include "tests/rules_fixture.h"

namespace zorva::testing {
namespace {

class BlastsTest : public RulesTest {
 protected:
  // One tick: the gate is opened and polled once.
  static void Tick() {
    G.BlastNext = 0;
    G.BlastLast = 1;
    AnimateBlasts();
  }
};

TEST_F(BlastsTest, ResetWavePreparesTheEnemySideOfAWave) {
  for (auto& s : G.EnemyState) s = 7;
  G.BulletActive.fill(1);
  G.BulletX.fill(33);
  G.ShotActive.fill(1);
  G.EnemyX.fill(77);
  G.KillCount = 24;
  ResetWave();
  const std::int16_t srcX[] = {64, 0, 32, 64, 96, 128, 160};
  const std::int16_t srcY[] = {0, 32, 32, 32, 32, 32, 32};
  for (int k = 0; k < kBlastEntries; ++k) {
    EXPECT_EQ(G.BlastSrcX[k], srcX[k]) << "entry " << k;
    EXPECT_EQ(G.BlastSrcY[k], srcY[k]) << "entry " << k;
  }
  for (int i = 0; i < kEnemySlots; ++i) EXPECT_EQ(G.EnemyState[i], 0);
  for (int j = 0; j < kBulletSlots; ++j) {
    EXPECT_EQ(G.BulletActive[j], j <= 20 ? 0 : 1) << "slot " << j;
    EXPECT_EQ(G.BulletX[j], 33);
  }
  // Not its business: the shots, the enemies' places and the kill count.
  for (int i = 0; i < kShotSlots; ++i) EXPECT_EQ(G.ShotActive[i], 1);
  EXPECT_EQ(G.EnemyX[5], 77);
  EXPECT_EQ(G.KillCount, 24);
}

TEST_F(BlastsTest, ATickAdvancesEveryRunningExplosionOnce) {
  const struct {
    std::int16_t before, after;
    int kills;
  } cases[] = {{0, 0, 0}, {1, 2, 0}, {2, 3, 0}, {3, 4, 0}, {4, 5, 0}, {5, 6, 0}, {6, 7, 1}, {7, 7, 0}};
  // All eight states side by side in one formation, one tick for them all.
  for (std::size_t k = 0; k < std::size(cases); ++k) G.EnemyState[k] = cases[k].before;
  for (std::size_t k = 0; k < std::size(cases); ++k) G.EnemyState[k + 8] = cases[k].before;
  G.KillCount = 3;
  Tick();
  for (std::size_t k = 0; k < std::size(cases); ++k) {
    EXPECT_EQ(G.EnemyState[k], cases[k].after) << "from " << cases[k].before;
    EXPECT_EQ(G.EnemyState[k + 8], cases[k].after) << "from " << cases[k].before;
  }
  EXPECT_EQ(G.KillCount, 3 + 2);
}

TEST_F(BlastsTest, AHitEnemyIsGoneAndCountedOnceAtTheSixthTick) {
  G.EnemyState[13] = 1;
  std::vector<int> states;
  std::vector<int> kills;
  for (int t = 0; t < 9; ++t) {
    Tick();
    states.push_back(G.EnemyState[13]);
    kills.push_back(G.KillCount);
  }
  EXPECT_EQ(states, (std::vector<int>{2, 3, 4, 5, 6, 7, 7, 7, 7}));
  EXPECT_EQ(kills, (std::vector<int>{0, 0, 0, 0, 0, 1, 1, 1, 1}));
}

TEST_F(BlastsTest, TheShipsExplosionRunsSevenTicksOnlyOnceTheShipIsLost) {
  const struct {
    std::int16_t dead;
    std::vector<int> frames;
  } cases[] = {
      {0, {0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {1, {1, 2, 3, 4, 5, 6, 7, 7, 7}},
  };
  for (const auto& c : cases) {
    G.PlayerDead = c.dead;
    G.PlayerBlastFrame = 0;
    std::vector<int> frames;
    for (std::size_t t = 0; t < c.frames.size(); ++t) {
      Tick();
      frames.push_back(G.PlayerBlastFrame);
    }
    EXPECT_EQ(frames, c.frames);
  }
}

TEST_F(BlastsTest, TheExplosionGateTicksEvery155MsAtFramesOf31Ms) {
  G.EnemyState[0] = 1;
  std::vector<int> tickPolls;
  window.SetClock(1000);
  for (int p = 1; p <= 16; ++p) {
    window.SetClock(window.Clock() + 31);
    const auto before = G.EnemyState[0];
    AnimateBlasts();
    if (G.EnemyState[0] != before) {
      tickPolls.push_back(p);
      EXPECT_EQ(G.BlastNext, window.Clock() + 100);
    }
  }
  // A fresh gate acts on its second poll, then every fifth.
  EXPECT_EQ(tickPolls, (std::vector<int>{2, 7, 12}));
}

}  // namespace
}  // namespace zorva::testing
