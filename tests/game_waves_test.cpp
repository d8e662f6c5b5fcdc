// The change from wave to wave and the difficulty it brings.
#include <gtest/gtest.h>

#include "flow/waves.h"
#include "tests/base_sim_main.h"

namespace zorva {
namespace {

// The difficulty a new game starts with.
void NewGame() {
  G.MarchInterval = 200;
  G.BulletTop = 4;
}

void WaveCleared() {
  G.EnemyState.fill(7);
  G.KillCount = 24;
}

TEST(Waves, DifficultyClimbsWaveByWave) {
  SimMain m;
  NewGame();
  // Wave, MarchInterval, AimLevel, BulletGrowth, BulletTop.
  const double table[][5] = {
      {2, 190, 0.4000000059604645, 0.5, 3}, {3, 180, 0.800000011920929, 1.0, 4}, {4, 170, 1.2000000476837158, 1.5, 4},
      {5, 160, 1.600000023841858, 2.0, 5},  {6, 150, 2.0, 2.5, 5},               {7, 140, 2.4000000953674316, 3.0, 6},
      {8, 130, 2.8000001907348633, 3.5, 6}, {9, 120, 3.0, 4.0, 7},               {20, 10, 3.0, 9.5, 12},
      {21, 0, 3.0, 10.0, 13},               {35, 0, 3.0, 17.0, 20},              {40, 0, 3.0, 19.5, 20},
  };
  int wave = 1;
  for (const auto& row : table) {
    while (wave < row[0]) {
      WaveCleared();
      CheckWave();
      ++wave;
    }
    EXPECT_EQ(G.MarchInterval, row[1]) << "wave " << wave;
    EXPECT_EQ(static_cast<double>(G.AimLevel), row[2]) << "wave " << wave;
    EXPECT_EQ(static_cast<double>(G.BulletGrowth), row[3]) << "wave " << wave;
    EXPECT_EQ(G.BulletTop, row[4]) << "wave " << wave;
    EXPECT_EQ(G.KillCount, 0);
  }
}

TEST(Waves, NewFormationOnlyOnceTheLastExplosionEndedAndEverythingHasLeft) {
  SimMain m;
  // KillCount, shot slot in flight, bullet slot in flight (-1 none), change.
  const int cases[][4] = {{24, -1, -1, 1}, {23, -1, -1, 0}, {24, 8, -1, 0}, {24, -1, 20, 0},
                          {24, -1, 15, 0},  // a bullet above BulletTop still counts
                          {24, -1, 21, 1}};  // slots past 20 are never looked at
  for (const auto& c : cases) {
    ResetGameState();
    NewGame();
    WaveCleared();
    G.KillCount = static_cast<std::int16_t>(c[0]);
    G.EnemyX[0] = 99;
    G.MarchStep = 7;
    G.MarchDrop = 8;
    G.MarchDir = 1;
    G.Score = 240;
    G.ShotY[3] = 123;
    G.BulletX[2] = 55.5f;
    if (c[1] >= 0) G.ShotActive[static_cast<std::size_t>(c[1])] = 1;
    if (c[2] >= 0) G.BulletActive[static_cast<std::size_t>(c[2])] = 1;
    CheckWave();
    SCOPED_TRACE(::testing::Message() << c[0] << " " << c[1] << " " << c[2]);
    EXPECT_EQ(G.KillCount == 0, c[3] == 1);
    EXPECT_EQ(G.EnemyState[5] == 0, c[3] == 1);
    EXPECT_EQ(G.EnemyX[0] == 10 && G.EnemyY[23] == 121, c[3] == 1);
    EXPECT_EQ(G.MarchInterval == 190, c[3] == 1);
    EXPECT_EQ(G.MarchStep + G.MarchDrop + G.MarchDir == 0, c[3] == 1);
    EXPECT_EQ(G.BlastSrcX[0] == 64, c[3] == 1);
    // Not the shots, the bullets' places or the score.
    EXPECT_EQ(G.Score, 240);
    EXPECT_EQ(G.ShotY[3], 123);
    EXPECT_EQ(G.BulletX[2], 55.5f);
  }
}

}  // namespace
}  // namespace zorva
