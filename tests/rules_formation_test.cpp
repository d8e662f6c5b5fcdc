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
  // One formation step: the gate is opened (a poll that did not act saw the
  // clock past the next time) and polled once.
  static void Step() {
    G.MarchNext = 0;
    G.MarchLast = 1;
    MarchFormation();
  }
  static void Steps(int n) {
    for (int k = 0; k < n; ++k) Step();
  }
};

TEST_F(FormationTest, TheStartGrid) {
  const struct {
    int slot, x, y;
  } corners[] = {{0, 10, 16}, {5, 220, 16}, {18, 10, 121}, {23, 220, 121}, {7, 52, 51}, {15, 136, 86}};
  for (const auto& c : corners) {
    EXPECT_EQ(G.EnemyX[c.slot], c.x) << "slot " << c.slot;
    EXPECT_EQ(G.EnemyY[c.slot], c.y) << "slot " << c.slot;
  }
  for (int slot = 0; slot < kEnemySlots; ++slot) {
    EXPECT_EQ(G.EnemyX[slot], 10 + 42 * (slot % 6));
    EXPECT_EQ(G.EnemyY[slot], 16 + 35 * (slot / 6));
  }
  // Placing moves enemies only; it revives nobody and leaves the march alone.
  G.EnemyState[4] = 7;
  G.MarchStep = 5;
  G.MarchDir = 1;
  G.EnemyX[4] = 0;
  PlaceFormation();
  EXPECT_EQ(G.EnemyX[4], 178);
  EXPECT_EQ(G.EnemyState[4], 7);
  EXPECT_EQ(G.MarchStep, 5);
  EXPECT_EQ(G.MarchDir, 1);
}

TEST_F(FormationTest, TheMarchOfTheFirst25Steps) {
  const struct {
    int x, y, step, dir;
  } expected[] = {
      {16, 16, 1, 0}, {22, 16, 2, 0},  {28, 16, 3, 0},  {34, 16, 4, 0},  {40, 16, 5, 0},
      {46, 16, 6, 0}, {52, 16, 7, 0},  {58, 16, 8, 0},  {64, 16, 9, 0},  {70, 16, 10, 0},
      {70, 24, 0, 1},  // the turn
      {64, 24, 1, 1}, {58, 24, 2, 1},  {52, 24, 3, 1},  {46, 24, 4, 1},  {40, 24, 5, 1},
      {34, 24, 6, 1}, {28, 24, 7, 1},  {22, 24, 8, 1},  {16, 24, 9, 1},  {10, 24, 10, 1},
      {10, 32, 0, 0},  // the second turn
      {16, 32, 1, 0}, {22, 32, 2, 0},  {28, 32, 3, 0},
  };
  int n = 0;
  for (const auto& e : expected) {
    Step();
    ++n;
    SCOPED_TRACE(::testing::Message() << "step " << n);
    ASSERT_EQ(G.EnemyX[0], e.x);
    ASSERT_EQ(G.EnemyY[0], e.y);
    ASSERT_EQ(G.MarchStep, e.step);
    ASSERT_EQ(G.MarchDir, e.dir);
    ASSERT_EQ(G.MarchDrop, e.step == 0 ? 8 : 0);
    // The block keeps its grid.
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
  const auto x8 = G.EnemyX[8], y8 = G.EnemyY[8], x9 = G.EnemyX[9], y9 = G.EnemyY[9];
  Steps(12);  // across a turn
  EXPECT_EQ(G.EnemyX[8], x8);
  EXPECT_EQ(G.EnemyY[8], y8);
  EXPECT_EQ(G.EnemyX[9], x9);
  EXPECT_EQ(G.EnemyY[9], y9);
  EXPECT_EQ(G.EnemyY[10], y8 + 8) << "the others dropped at the turn";
}

TEST_F(FormationTest, TheFirstLiveEnemyToReachTheShipsLineEndsTheGame) {
  const struct {
    const char* name;
    std::vector<int> alive;
    int safeSteps;    // steps after which the lowest enemy is still above the line
    int safeY;
    int fatalY;       // y of the first live enemy after one more step
    int matesY;       // y of its live row mates after that step (-1: none)
  } cases[] = {
      {"full formation, row 3", {0, 6, 12, 18, 19, 20, 21, 22, 23}, 230, 281, 289, 281},
      {"row 2 lowest", {12, 13, 14, 15, 16, 17}, 285, 286, 294, 286},
      {"row 0 alone", {1, 2}, 373, 280, 288, 280},
      {"one enemy of row 1", {10}, 329, 283, 291, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PlaceFormation();
    OnlyAlive({});
    for (int s : c.alive) G.EnemyState[static_cast<std::size_t>(s)] = 0;
    G.MarchStep = G.MarchDir = G.MarchDrop = 0;
    G.PlayerDead = 0;
    const std::size_t sounds = window.Sounds().size();
    // The first live enemy of the lowest row, in slot order.
    int lead = -1;
    for (int s : c.alive)
      if (lead < 0 || s / 6 > lead / 6) lead = s;
    Steps(c.safeSteps);
    ASSERT_EQ(G.EnemyY[lead], c.safeY);
    ASSERT_EQ(G.PlayerDead, 0);
    ASSERT_EQ(window.Sounds().size(), sounds);
    Step();
    EXPECT_EQ(G.PlayerDead, 1);
    EXPECT_EQ(G.EnemyY[lead], c.fatalY);
    EXPECT_EQ(window.Sounds().size(), sounds + 1) << "one enemy at the line, one sound";
    for (int s : c.alive) {
      if (s / 6 == lead / 6 && s > lead) {
        EXPECT_EQ(G.EnemyY[s], c.matesY) << "slot " << s << " did not drop";
      }
    }
    // The block goes on without dropping, and the enemy on the line sounds
    // again at every step while it lives.
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
  EXPECT_EQ(G.MarchDir, 0);
  Steps(11);
  EXPECT_EQ(G.EnemyX[0], 70);
  EXPECT_EQ(G.EnemyY[23], 121);
  EXPECT_EQ(G.MarchDir, 1);
  EXPECT_TRUE(window.Sounds().empty());
}

TEST_F(FormationTest, TheGateSetsTheRhythmOfTheSteps) {
  const struct {
    const char* name;
    std::int32_t interval;
    int spacing;  // ms between polls
    int polls;
    std::vector<int> stepPolls;
  } cases[] = {
      {"interval 0, clock advancing", 0, 1, 10, {2, 4, 6, 8, 10}},
      {"interval 0, clock standing", 0, 0, 10, {2}},
      {"interval 200, polls every 31 ms", 200, 31, 30, {2, 10, 18, 26}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PlaceFormation();
    G.MarchStep = G.MarchDir = 0;
    G.MarchNext = G.MarchLast = 0;
    G.MarchInterval = c.interval;
    window.SetClock(1000);
    std::vector<int> stepPolls;
    for (int p = 1; p <= c.polls; ++p) {
      window.SetClock(window.Clock() + c.spacing);
      const auto before = G.MarchStep;
      MarchFormation();
      if (G.MarchStep != before) {
        stepPolls.push_back(p);
        EXPECT_EQ(G.MarchNext, window.Clock() + c.interval) << "re-armed from the clock after the step";
      }
    }
    EXPECT_EQ(stepPolls, c.stepPolls);
  }
}

TEST_F(FormationTest, EachStepEndsWithTheEnemiesFiringFromTheirNewPlaces) {
  // Slot 23 rolls a 1 and its bullet is straight; nobody else rolls a 1.
  const auto seed = SeedWhere(26, [](const std::vector<float>& u) {
    const double kindDraw = u[1];
    if (!(u[0] < 0.05f) || (kindDraw >= 0.2 && kindDraw < 0.4)) return false;
    for (int k = 3; k < 26; ++k)
      if (u[static_cast<std::size_t>(k)] < 0.05f) return false;
    return true;
  });
  Step();
  EXPECT_EQ(G.BulletActive[0], 1);
  EXPECT_EQ(G.BulletX[0], 226.0f);
  EXPECT_EQ(G.BulletY[0], 143.0f);
  EXPECT_EQ(DrawsSince(seed), 26);

  // A poll that does not step does not fire either.
  Randomize(seed);
  window.SetClock(50000);
  G.MarchNext = 60000;
  MarchFormation();
  EXPECT_EQ(DrawsSince(seed), 0);
}

}  // namespace
}  // namespace zorva::testing
