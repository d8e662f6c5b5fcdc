#include <gtest/gtest.h>

#include <vector>

#include "rules/blasts.h"
#include "tests/rules_fixture.h"

namespace zorva::testing {
namespace {

class BlastsTest : public RulesTest {
 protected:
  // One tick through an open gate polled once; returns `what` after it.
  template <class F>
  static std::vector<int> Ticks(int n, F what) {
    std::vector<int> seen;
    for (int t = 0; t < n; ++t) {
      G.BlastNext = 0;
      G.BlastLast = 1;
      AnimateBlasts();
      seen.push_back(what());
    }
    return seen;
  }
};

TEST_F(BlastsTest, ResetWavePreparesTheEnemySideOfAWave) {
  G.EnemyState.fill(7);
  G.BulletActive.fill(1);
  G.ShotActive.fill(1);
  G.EnemyX.fill(77);
  G.KillCount = 24;
  ResetWave();
  const std::vector<int> srcX = {64, 0, 32, 64, 96, 128, 160}, srcY = {0, 32, 32, 32, 32, 32, 32};
  EXPECT_EQ(std::vector<int>(G.BlastSrcX.begin(), G.BlastSrcX.end()), srcX);
  EXPECT_EQ(std::vector<int>(G.BlastSrcY.begin(), G.BlastSrcY.end()), srcY);
  for (int i = 0; i < kEnemySlots; ++i) EXPECT_EQ(G.EnemyState[i], 0);
  for (int j = 0; j < kBulletSlots; ++j) EXPECT_EQ(G.BulletActive[j], j <= 20 ? 0 : 1) << "slot " << j;
  // Not its business: the shots, the enemies' places and the kill count.
  EXPECT_EQ(G.ShotActive[8] + G.EnemyX[5] + G.KillCount, 1 + 77 + 24);
}

TEST_F(BlastsTest, EveryRunningExplosionAdvancesOncePerTickAndIsCountedOnceGone) {
  for (std::size_t k = 0; k < 16; ++k) G.EnemyState[k] = static_cast<std::int16_t>(k % 8);  // every state twice
  G.KillCount = 3;
  Ticks(1, [] { return 0; });
  for (std::size_t k = 0; k < 16; ++k) EXPECT_EQ(G.EnemyState[k], k % 8 == 0 ? 0 : std::min<int>(k % 8 + 1, 7)) << k;
  EXPECT_EQ(G.KillCount, 3 + 2);
  G.EnemyState.fill(0);
  G.EnemyState[13] = 1;
  G.KillCount = 0;
  EXPECT_EQ(Ticks(8, [] { return G.EnemyState[13] * 100 + G.KillCount; }),
            (std::vector<int>{200, 300, 400, 500, 600, 701, 701, 701}));
}

TEST_F(BlastsTest, TheShipsExplosionRunsSevenTicksOnlyOnceTheShipIsLost) {
  EXPECT_EQ(Ticks(3, [] { return G.PlayerBlastFrame; }), (std::vector<int>{0, 0, 0}));
  G.PlayerDead = 1;
  EXPECT_EQ(Ticks(9, [] { return G.PlayerBlastFrame; }), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 7, 7}));
}

TEST_F(BlastsTest, TheGateTicksEvery155MsAtFramesOf31Ms) {
  G.EnemyState[0] = 1;
  std::vector<int> tickPolls;
  for (int p = 1; p <= 16; ++p) {
    window.SetClock(window.Clock() + 31);
    const auto before = G.EnemyState[0];
    AnimateBlasts();
    if (G.EnemyState[0] == before) continue;
    tickPolls.push_back(p);
    EXPECT_EQ(G.BlastNext, window.Clock() + 100);
  }
  EXPECT_EQ(tickPolls, (std::vector<int>{2, 7, 12}));  // the second poll, then every fifth
}

}  // namespace
}  // namespace zorva::testing
