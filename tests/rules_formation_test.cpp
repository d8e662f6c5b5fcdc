#include <gtest/gtest.h>

#include <vector>

#include "rules/formation.h"
#include "tests/rules_fixture.h"

namespace zorva::testing {
namespace {

class FormationTest : public RulesTest {
 protected:
  void SetUp() override {
    RulesTest::SetUp();
    PlaceFormation();
    G.MarchInterval = 200;
  }
  // Formation steps, each through an open gate polled once.
  static void Steps(int n) {
    for (int k = 0; k < n; ++k) {
      G.MarchNext = 0;
      G.MarchLast = 1;
      MarchFormation();
    }
  }
};

TEST_F(FormationTest, TheStartGrid) {
  for (int slot = 0; slot < kEnemySlots; ++slot) {
    EXPECT_EQ(G.EnemyX[slot], 10 + 42 * (slot % 6));
    EXPECT_EQ(G.EnemyY[slot], 16 + 35 * (slot / 6));
  }
  EXPECT_EQ(G.EnemyX[23] * 1000 + G.EnemyY[23], 220121);
  // Placing moves enemies only: it revives nobody and leaves the march alone.
  G.EnemyState[4] = 7;
  G.MarchStep = 5;
  G.MarchDir = 1;
  G.EnemyX[4] = 0;
  PlaceFormation();
  EXPECT_EQ(G.EnemyX[4], 178);
  EXPECT_EQ(G.EnemyState[4], 7);
  EXPECT_EQ(G.MarchStep * 10 + G.MarchDir, 51);
}

TEST_F(FormationTest, TheMarchOfTheFirst25StepsKeepsTheGrid) {
  // Slot 0's x and y, the step count and the direction after each step.
  const int expected[][4] = {
      {16, 16, 1, 0}, {22, 16, 2, 0}, {28, 16, 3, 0}, {34, 16, 4, 0}, {40, 16, 5, 0}, {46, 16, 6, 0}, {52, 16, 7, 0},
      {58, 16, 8, 0}, {64, 16, 9, 0}, {70, 16, 10, 0}, {70, 24, 0, 1}, {64, 24, 1, 1}, {58, 24, 2, 1}, {52, 24, 3, 1},
      {46, 24, 4, 1}, {40, 24, 5, 1}, {34, 24, 6, 1}, {28, 24, 7, 1}, {22, 24, 8, 1}, {16, 24, 9, 1}, {10, 24, 10, 1},
      {10, 32, 0, 0}, {16, 32, 1, 0}, {22, 32, 2, 0}, {28, 32, 3, 0},
  };
  int n = 0;
  for (const auto& e : expected) {
    Steps(1);
    SCOPED_TRACE(++n);
    ASSERT_EQ(G.EnemyX[0], e[0]);
    ASSERT_EQ(G.EnemyY[0], e[1]);
    ASSERT_EQ(G.MarchStep, e[2]);
    ASSERT_EQ(G.MarchDir, e[3]);
    ASSERT_EQ(G.MarchDrop, e[2] == 0 ? 8 : 0);
    for (int slot = 1; slot < kEnemySlots; ++slot) {
      ASSERT_EQ(G.EnemyX[slot] - G.EnemyX[0], 42 * (slot % 6));
      ASSERT_EQ(G.EnemyY[slot] - G.EnemyY[0], 35 * (slot / 6));
    }
  }
  EXPECT_EQ(G.PlayerDead, 0);
  EXPECT_TRUE(window.Sounds().empty());
}

TEST_F(FormationTest, HitEnemiesStayWhereTheyWereHit) {
  Steps(3);
  G.EnemyState[8] = 1;
  G.EnemyState[9] = 7;
  const auto x8 = G.EnemyX[8], y8 = G.EnemyY[8], x9 = G.EnemyX[9];
  Steps(12);  // across a turn
  EXPECT_EQ(G.EnemyX[8], x8);
  EXPECT_EQ(G.EnemyY[8], y8);
  EXPECT_EQ(G.EnemyX[9], x9);
  EXPECT_EQ(G.EnemyY[9], y8);
  EXPECT_EQ(G.EnemyY[10], y8 + 8);  // the others dropped at the turn
}

TEST_F(FormationTest, TheFirstLiveEnemyToReachTheShipsLineEndsTheGame) {
  const struct {
    std::vector<int> alive;
    int safeSteps, safeY;  // after safeSteps steps the lowest enemy is still above the line
    int fatalY, matesY;    // after one more: the first live enemy, its later row mates (-1 none)
  } cases[] = {
      {{0, 6, 12, 18, 19, 20, 21, 22, 23}, 230, 281, 289, 281},
      {{12, 13, 14, 15, 16, 17}, 285, 286, 294, 286},
      {{1, 2}, 373, 280, 288, 280},
      {{10}, 329, 283, 291, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.alive.front());
    PlaceFormation();
    OnlyAlive({});
    for (int s : c.alive) G.EnemyState[static_cast<std::size_t>(s)] = 0;
    G.MarchStep = G.MarchDir = G.MarchDrop = G.PlayerDead = 0;
    const std::size_t sounds = window.Sounds().size();
    int lead = -1;  // the first live enemy of the lowest row, in slot order
    for (int s : c.alive) lead = lead < 0 || s / 6 > lead / 6 ? s : lead;
    Steps(c.safeSteps);
    ASSERT_EQ(G.EnemyY[lead], c.safeY);
    ASSERT_EQ(G.PlayerDead, 0);
    ASSERT_EQ(window.Sounds().size(), sounds);
    Steps(1);
    EXPECT_EQ(G.PlayerDead, 1);
    EXPECT_EQ(G.EnemyY[lead], c.fatalY);
    EXPECT_EQ(window.Sounds().size(), sounds + 1);
    for (int s : c.alive) {
      if (s / 6 == lead / 6 && s > lead) {
        EXPECT_EQ(G.EnemyY[s], c.matesY) << "slot " << s << " did not drop";
      }
    }
    // The block goes on without dropping; the enemy on the line sounds at
    // every step while it lives.
    Steps(15);
    EXPECT_EQ(G.EnemyY[lead], c.fatalY);
    EXPECT_EQ(window.Sounds().size(), sounds + 16);
  }
}

TEST_F(FormationTest, AfterTheShipIsLostTheBlockMarchesWithoutDropping) {
  G.PlayerDead = 1;
  Steps(22);
  EXPECT_EQ(G.EnemyX[0], 10);
  EXPECT_EQ(G.EnemyY[0], 16);
  Steps(11);
  EXPECT_EQ(G.EnemyX[0], 70);
  EXPECT_EQ(G.EnemyY[23], 121);
  EXPECT_EQ(G.MarchDir, 1);
  EXPECT_TRUE(window.Sounds().empty());
}

TEST_F(FormationTest, TheGateSetsTheRhythmOfTheSteps) {
  const struct {
    std::int32_t interval;
    int spacing, polls;  // ms between polls
    std::vector<int> stepPolls;
  } cases[] = {{0, 1, 10, {2, 4, 6, 8, 10}}, {0, 0, 10, {2}}, {200, 31, 30, {2, 10, 18, 26}}};
  for (const auto& c : cases) {
    G.MarchStep = 0;
    G.MarchNext = G.MarchLast = 0;
    G.MarchInterval = c.interval;
    std::vector<int> stepPolls;
    for (int p = 1; p <= c.polls; ++p) {
      window.SetClock(window.Clock() + c.spacing);
      const auto before = G.MarchStep;
      MarchFormation();
      if (G.MarchStep == before) continue;
      stepPolls.push_back(p);
      EXPECT_EQ(G.MarchNext, window.Clock() + c.interval);
    }
    EXPECT_EQ(stepPolls, c.stepPolls) << "interval " << c.interval << " every " << c.spacing << " ms";
  }
}

TEST_F(FormationTest, EachStepEndsWithTheEnemiesFiringFromTheirNewPlaces) {
  // Slot 23 rolls a 1 and its bullet is straight; nobody else rolls a 1.
  const auto seed = SeedWhere(26, [](const std::vector<float>& u) {
    if (!(u[0] < 0.05f) || (u[1] >= 0.2f && u[1] < 0.4f)) return false;
    for (std::size_t k = 3; k < 26; ++k)
      if (u[k] < 0.05f) return false;
    return true;
  });
  Steps(1);
  EXPECT_EQ(G.BulletActive[0], 1);
  EXPECT_EQ(G.BulletX[0], 226.0f);
  EXPECT_EQ(G.BulletY[0], 143.0f);
  EXPECT_EQ(DrawsSince(seed), 26);
  Randomize(seed);  // a poll that does not step does not fire either
  window.SetClock(50000);
  G.MarchNext = 60000;
  MarchFormation();
  EXPECT_EQ(DrawsSince(seed), 0);
}

}  // namespace
}  // namespace zorva::testing
