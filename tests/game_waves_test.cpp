// The change from wave to wave and the difficulty it brings.
#include <gtest/gtest.h>

#include "flow/waves.h"
#include "rules/state.h"
#include "tests/base_sim_main.h"

namespace zorva {
namespace {

// The game's start values, as a new game sets them.
void StartValues() {
  G.MarchInterval = 200;
  G.AimLevel = 0;
  G.BulletGrowth = 0;
  G.BulletTop = 4;
}

void ClearWave() {
  for (auto& s : G.EnemyState) s = 7;
  G.KillCount = 24;
  CheckWave();
}

TEST(Waves, DifficultyClimbsWaveByWave) {
  SimMain m;
  StartValues();
  struct Row {
    int wave;
    std::int32_t interval;
    double aim;
    double growth;
    int top;
  };
  const Row table[] = {
      {2, 190, 0.4000000059604645, 0.5, 3}, {3, 180, 0.800000011920929, 1.0, 4},
      {4, 170, 1.2000000476837158, 1.5, 4}, {5, 160, 1.600000023841858, 2.0, 5},
      {6, 150, 2.0, 2.5, 5},                {7, 140, 2.4000000953674316, 3.0, 6},
      {8, 130, 2.8000001907348633, 3.5, 6}, {9, 120, 3.0, 4.0, 7},
  };
  for (const Row& row : table) {
    ClearWave();
    EXPECT_EQ(G.MarchInterval, row.interval) << "wave " << row.wave;
    EXPECT_EQ(static_cast<double>(G.AimLevel), row.aim) << "wave " << row.wave;
    EXPECT_EQ(static_cast<double>(G.BulletGrowth), row.growth) << "wave " << row.wave;
    EXPECT_EQ(G.BulletTop, row.top) << "wave " << row.wave;
    EXPECT_EQ(G.KillCount, 0);
  }
  // Further on: the march reaches 10 at wave 20 and 0 from wave 21; the
  // bullet slots reach 20 at wave 35 and stay there.
  for (int wave = 10; wave <= 40; ++wave) {
    ClearWave();
    EXPECT_EQ(G.MarchInterval, wave <= 20 ? 200 - 10 * (wave - 1) : 0) << "wave " << wave;
    EXPECT_EQ(G.AimLevel, 3.0f);
    EXPECT_EQ(G.BulletTop, std::min((wave - 1) / 2 + 3, 20)) << "wave " << wave;
  }
}

TEST(Waves, NewFormationOnlyOnceEverythingHasLeft) {
  SimMain m;
  StartValues();
  struct Case {
    const char* what;
    int shot;    // shot slot in flight, or -1
    int bullet;  // bullet slot in flight, or -1
    bool changes;
  };
  const Case cases[] = {
      {"nothing in flight", -1, -1, true},
      {"a shot in flight", 8, -1, false},
      {"a bullet in the top slot", -1, 20, false},
      {"a bullet above BulletTop still counts", -1, 15, false},
      {"slots past 20 are never looked at", -1, 21, true},
  };
  for (const Case& c : cases) {
    ResetGameState();
    StartValues();
    for (auto& s : G.EnemyState) s = 7;
    G.EnemyX[0] = 99;
    G.KillCount = 24;
    if (c.shot >= 0) G.ShotActive[static_cast<std::size_t>(c.shot)] = 1;
    if (c.bullet >= 0) G.BulletActive[static_cast<std::size_t>(c.bullet)] = 1;
    CheckWave();
    EXPECT_EQ(G.KillCount == 0, c.changes) << c.what;
    EXPECT_EQ(G.EnemyState[5] == 0, c.changes) << c.what;
    EXPECT_EQ(G.EnemyX[0] == 10, c.changes) << c.what;
    EXPECT_EQ(G.MarchInterval == 190, c.changes) << c.what;
  }
}

TEST(Waves, NothingHappensBeforeTheLastExplosionEnds) {
  SimMain m;
  StartValues();
  G.KillCount = 23;
  G.MarchStep = 5;
  CheckWave();
  EXPECT_EQ(G.MarchStep, 5);
  EXPECT_EQ(G.MarchInterval, 200);
}

TEST(Waves, ChangeResetsTheMarchAndClearsBulletsButNotShotsOrScore) {
  SimMain m;
  StartValues();
  G.MarchStep = 7;
  G.MarchDrop = 8;
  G.MarchDir = 1;
  G.Score = 240;
  G.ShotY[3] = 123;
  G.BulletX[2] = 55.5f;
  ClearWave();
  EXPECT_EQ(G.MarchStep, 0);
  EXPECT_EQ(G.MarchDrop, 0);
  EXPECT_EQ(G.MarchDir, 0);
  EXPECT_EQ(G.Score, 240);
  EXPECT_EQ(G.ShotY[3], 123);
  EXPECT_EQ(G.BulletX[2], 55.5f);
  EXPECT_EQ(G.EnemyX[23], 220);
  EXPECT_EQ(G.EnemyY[23], 121);
  EXPECT_EQ(G.BlastSrcX[0], 64);
}

}  // namespace
}  // namespace zorva
