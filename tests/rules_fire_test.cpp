#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "rules/fire.h"
#include "rules/formation.h"
#include "tests/rules_fixture.h"

namespace zorva::testing {
namespace {

using Draws = std::vector<float>;

class FireTest : public RulesTest {
 protected:
  void SetUp() override {
    RulesTest::SetUp();
    PlaceFormation();
  }
  // A lone live enemy at (x, y) in slot 0 and every bullet slot free.
  static void LoneEnemy(int x, int y) {
    OnlyAlive({0});
    G.EnemyX[0] = static_cast<std::int16_t>(x);
    G.EnemyY[0] = static_cast<std::int16_t>(y);
    G.BulletActive.fill(0);
  }
};

bool In(float u, double lo, double hi) { return u >= lo && u < hi; }
bool NoOne(const Draws& u) {
  for (float v : u)
    if (v < 0.05f) return false;
  return true;
}
bool First(const Draws& u) { return u[0] < 0.05f; }

TEST_F(FireTest, WhoFiresAndHowManyValuesAreDrawn) {
  const struct {
    const char* name;
    std::vector<int> dead;  // enemies exploding (3) and gone (7) in turn; the rest live
    std::vector<int> busy;  // bullet slots in use
    int draws;              // values the predicate looks at
    std::function<bool(const Draws&)> want;
    int expectedDraws, shooter, bulletSlot;  // shooter -1: nobody fired
  } cases[] = {
      {"nobody rolls a 1", {}, {}, 24, NoOne, 24, -1, -1},
      {"the scan starts at slot 23", {}, {}, 1, First, 26, 23, 0},
      {"only the first roller fires", {}, {}, 21,  // 23..21 miss, 20 rolls a 1 (then kind and speed), 5 too
       [](const Draws& u) { return u[0] >= 0.05f && u[1] >= 0.05f && u[2] >= 0.05f && u[3] < 0.05f && u[20] < 0.05f; },
       26, 20, 0},
      {"exploding and gone enemies draw nothing", {23, 22, 21, 20, 19, 18, 17, 16, 1, 0}, {}, 14, NoOne, 14, -1, -1},
      {"the lowest free slot", {}, {0, 1}, 1, First, 26, 23, 2},
      {"a gap below busy slots", {}, {0, 2, 3}, 1, First, 26, 23, 1},
      {"no free slot: every roll is still drawn", {}, {0, 1, 2, 3, 4}, 24,
       [](const Draws& u) { return u[0] < 0.05f && u[7] < 0.05f; }, 24, -1, -1},
      {"every enemy gone", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23}, {}, 1,
       [](const Draws&) { return true; }, 0, -1, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    G.EnemyState.fill(0);
    for (std::size_t k = 0; k < c.dead.size(); ++k) G.EnemyState[static_cast<std::size_t>(c.dead[k])] = k % 2 ? 3 : 7;
    G.BulletActive.fill(0);
    for (int b : c.busy) G.BulletActive[static_cast<std::size_t>(b)] = 1;
    const auto seed = SeedWhere(c.draws, c.want);
    EnemyFire();
    EXPECT_EQ(DrawsSince(seed), c.expectedDraws);
    int inFlight = 0;
    for (auto a : G.BulletActive) inFlight += a != 0;
    EXPECT_EQ(inFlight, static_cast<int>(c.busy.size()) + (c.shooter >= 0));
    if (c.shooter < 0) continue;
    const auto j = static_cast<std::size_t>(c.bulletSlot), s = static_cast<std::size_t>(c.shooter);
    EXPECT_EQ(G.BulletActive[j], 1);
    EXPECT_EQ(G.BulletX[j], G.EnemyX[s]);
    EXPECT_EQ(G.BulletY[j], G.EnemyY[s] + 22);
  }
}

TEST_F(FireTest, SlotsAboveBulletTopAreNeverFilled) {
  // BulletTop, slots 0..busyUpTo in use, the slot that launches (-1 none).
  const int cases[][3] = {{4, 3, 4}, {4, 4, -1}, {3, 3, -1}, {20, 19, 20}, {0, -1, 0}, {0, 0, -1}};
  for (const auto& c : cases) {
    LoneEnemy(50, 60);
    G.BulletTop = static_cast<std::int16_t>(c[0]);
    for (int j = 0; j <= c[1]; ++j) G.BulletActive[static_cast<std::size_t>(j)] = 1;
    SeedWhere(1, First);
    EnemyFire();
    for (int j = c[1] + 1; j < kBulletSlots; ++j)
      EXPECT_EQ(G.BulletActive[static_cast<std::size_t>(j)], j == c[2] ? 1 : 0) << "top " << c[0] << ", slot " << j;
  }
}

TEST_F(FireTest, AimLevelSetsTheShareOfAimedBullets) {
  const struct {
    float aim;
    double lo, hi;  // range of the kind draw
    bool aimed;
  } cases[] = {
      {0, 0.0, 0.2, false}, {0, 0.2, 0.4, true}, {0, 0.4, 1.0, false}, {3, 0.0, 0.5, false}, {3, 0.5, 1.0, true},
      {3, 0.999, 1.0, true}, {2.4000001f, 0.0, 0.38, false}, {2.4000001f, 0.39, 0.76, true}, {2.4000001f, 0.78, 1.0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "AimLevel " << c.aim << ", kind draw in [" << c.lo << ", " << c.hi << ")");
    G.AimLevel = c.aim;
    LoneEnemy(10, 16);
    const auto seed = SeedWhere(3, [&](const Draws& u) { return First(u) && In(u[1], c.lo, c.hi); });
    EnemyFire();
    EXPECT_EQ(DrawsSince(seed), 3);  // a launch draws kind and speed whichever the kind
    ASSERT_EQ(G.BulletActive[0], 1);
    EXPECT_EQ(G.BulletDX[0] != 0, c.aimed);
  }
}

TEST_F(FireTest, TheWorkedExampleOfAnAimedBullet) {
  LoneEnemy(10, 16);
  G.BulletDrawX[0] = 7;
  G.BulletDrawY[0] = 8;
  SeedWhere(3, [](const Draws& u) { return First(u) && In(u[1], 0.2, 0.4) && In(u[2], 0.5, 0.75); });
  EnemyFire();
  ASSERT_EQ(G.BulletActive[0], 1);
  EXPECT_EQ(G.BulletX[0], 10);
  EXPECT_EQ(G.BulletY[0], 38);
  // 1.78885 and 3.57771, worked out in double precision, then stored in single.
  EXPECT_EQ(G.BulletDX[0], static_cast<float>(136.0 * 4 / std::sqrt(136.0 * 136 + 272.0 * 272)));
  EXPECT_EQ(G.BulletDY[0], static_cast<float>(272.0 * 4 / std::sqrt(136.0 * 136 + 272.0 * 272)));
  EXPECT_NEAR(G.BulletDX[0], 1.78885, 1e-5);
  EXPECT_EQ(G.BulletDrawX[0] * 10 + G.BulletDrawY[0], 78);  // the flight sets the drawn position, not the launch
}

TEST_F(FireTest, EverySpeedFrom2To5AndEveryDirection) {
  const struct {
    const char* name;
    int ex, ey;
    bool aimed;
    int sx, sy;  // signs of BulletDX, BulletDY
  } shots[] = {
      {"straight", 40, 100, false, 0, 1},           {"straight from beside the ship", 146, 288, false, 0, 1},
      {"down and right", 40, 100, true, 1, 1},      {"down and left", 250, 51, true, -1, 1},
      {"straight down", 146, 121, true, 0, 1},      {"upward from below the line", 100, 294, true, 1, -1},
      {"along the line", 10, 288, true, 1, 0},      {"from the ship's own place", 146, 288, true, 0, 1},
  };
  for (const auto& s : shots)
    for (int speed = 2; speed <= 5; ++speed) {
      SCOPED_TRACE(::testing::Message() << s.name << " at speed " << speed);
      LoneEnemy(s.ex, s.ey);
      const double kLo = s.aimed ? 0.2 : 0.4, kHi = s.aimed ? 0.4 : 1.0, vLo = (speed - 2) * 0.25;
      const auto seed = SeedWhere(3, [&](const Draws& u) { return First(u) && In(u[1], kLo, kHi) && In(u[2], vLo, vLo + 0.25); });
      EnemyFire();
      EXPECT_EQ(DrawsSince(seed), 3);
      ASSERT_EQ(G.BulletActive[0], 1);
      EXPECT_EQ(G.BulletX[0], s.ex);
      EXPECT_EQ(G.BulletY[0], s.ey + 22);
      const float dx = G.BulletDX[0], dy = G.BulletDY[0];
      EXPECT_EQ((dx > 0) - (dx < 0), s.sx);
      EXPECT_EQ((dy > 0) - (dy < 0), s.sy);
      EXPECT_NEAR(std::hypot(dx, dy), speed, 1e-5);  // the velocity's length is the speed
      if (s.sx == 0) {
        EXPECT_EQ(dx * 100 + dy, speed);
      }
    }
}

}  // namespace
}  // namespace zorva::testing
