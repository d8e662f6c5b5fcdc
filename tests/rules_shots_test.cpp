#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "rules/shots.h"
#include "tests/rules_fixture.h"

namespace zorva::testing {
namespace {

class ShotsTest : public RulesTest {
 protected:
  void SetUp() override {
    RulesTest::SetUp();
    OnlyAlive({});
  }
  static void Enemy(int slot, int x, int y, std::int16_t state = 0) {
    G.EnemyX[static_cast<std::size_t>(slot)] = static_cast<std::int16_t>(x);
    G.EnemyY[static_cast<std::size_t>(slot)] = static_cast<std::int16_t>(y);
    G.EnemyState[static_cast<std::size_t>(slot)] = state;
  }
  static void Shot(int slot, int x, int y) {
    G.ShotX[static_cast<std::size_t>(slot)] = static_cast<std::int16_t>(x);
    G.ShotY[static_cast<std::size_t>(slot)] = static_cast<std::int16_t>(y);
    G.ShotActive[static_cast<std::size_t>(slot)] = 1;
  }
  static void Bullet(int slot, float x, float y, float dx, float dy) {
    const auto s = static_cast<std::size_t>(slot);
    G.BulletActive[s] = 1;
    G.BulletX[s] = x;
    G.BulletY[s] = y;
    G.BulletDX[s] = dx;
    G.BulletDY[s] = dy;
  }
  std::size_t SoundCount() const { return window.Sounds().size(); }
};

TEST_F(ShotsTest, TheShotWindowOfAnEnemyIsStrictOnEverySide) {
  const struct {
    int x, y;
    int hit;
  } cases[] = {
      {85, 51, 1},  {115, 51, 1}, {85, 81, 1}, {115, 81, 1}, {100, 66, 1},
      {84, 66, 0},  {116, 66, 0}, {100, 50, 0}, {100, 82, 0}, {84, 50, 0}, {-300, 66, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "shot at (" << c.x << ", " << c.y << ")");
    G.Score = 40;
    G.HiScore = 100;
    Enemy(9, 100, 50);
    const std::size_t sounds = SoundCount();
    EXPECT_EQ(ShotHitsEnemy(static_cast<std::int16_t>(c.x), static_cast<std::int16_t>(c.y)), c.hit);
    EXPECT_EQ(G.EnemyState[9], c.hit);
    EXPECT_EQ(G.Score, 40 + 10 * c.hit);
    EXPECT_EQ(G.HiScore, 100);
    EXPECT_EQ(SoundCount() - sounds, static_cast<std::size_t>(c.hit));
  }
}

TEST_F(ShotsTest, OneShotDestroysEveryLiveEnemyWhoseWindowHoldsIt) {
  Enemy(3, 100, 50);
  Enemy(4, 110, 60);
  Enemy(5, 90, 40, 3);  // exploding: passed over
  EXPECT_EQ(ShotHitsEnemy(105, 70), 1);
  EXPECT_EQ(G.EnemyState[3], 1);
  EXPECT_EQ(G.EnemyState[4], 1);
  EXPECT_EQ(G.EnemyState[5], 3);
  EXPECT_EQ(G.Score, 20);
  EXPECT_EQ(G.HiScore, 20);
  ASSERT_EQ(SoundCount(), 2u);
  for (const auto& s : window.Sounds()) {
    EXPECT_EQ(s.file, "game/効果音.wav");
    EXPECT_EQ(s.flags, SND_ASYNC | SND_NODEFAULT);
  }
}

TEST_F(ShotsTest, ExplodingAndGoneEnemiesNeverStopAShot) {
  for (std::int16_t state = 1; state <= 7; ++state) {
    SCOPED_TRACE(::testing::Message() << "state " << state);
    Enemy(0, 100, 50, state);
    G.ShotActive.fill(0);
    Shot(2, 100, 72);
    UpdateShotsAndBullets();
    EXPECT_EQ(G.EnemyState[0], state);
    EXPECT_EQ(G.ShotActive[2], 1);
    EXPECT_EQ(G.ShotY[2], 66);
    EXPECT_EQ(G.Score, 0);
    EXPECT_EQ(SoundCount(), 0u);
  }
}

TEST_F(ShotsTest, HiScoreFollowsTheScoreAndIsNeverLowered) {
  const struct {
    std::int32_t score, hi;
    std::int32_t expectedHi;
  } cases[] = {{0, 0, 10}, {90, 100, 100}, {100, 110, 110}, {100, 120, 120}, {500, 200, 510}};
  for (const auto& c : cases) {
    G.Score = c.score;
    G.HiScore = c.hi;
    Enemy(0, 100, 50);
    ASSERT_EQ(ShotHitsEnemy(100, 60), 1);
    EXPECT_EQ(G.Score, c.score + 10);
    EXPECT_EQ(G.HiScore, c.expectedHi);
  }
}

TEST_F(ShotsTest, TheScoreGoesOnPast32760) {
  G.Score = 32750;
  G.HiScore = 32750;
  for (int k = 0; k < 3; ++k) {
    Enemy(0, 100, 50);
    ASSERT_EQ(ShotHitsEnemy(100, 60), 1);
  }
  EXPECT_EQ(G.Score, 32780);
  EXPECT_EQ(G.HiScore, 32780);
}

TEST_F(ShotsTest, AShotThatHitsNothingFlies48FramesAndIsDrawnEachTime) {
  PatternSheet();
  Shot(4, 200, 288);
  std::vector<int> drawnAt;
  while (G.ShotActive[4] == 1) {
    window.Crt.Cls();
    UpdateShotsAndBullets();
    drawnAt.push_back(G.ShotActive[4] == 1 ? G.ShotY[4] : 0);
    EXPECT_TRUE(CellDrawnAt(200, drawnAt.back(), 32, 0));
    ASSERT_LE(drawnAt.size(), 100u);
  }
  ASSERT_EQ(drawnAt.size(), 48u);
  EXPECT_EQ(drawnAt.front(), 282);
  EXPECT_EQ(drawnAt[46], 6);
  EXPECT_EQ(G.ShotY[4], 320) << "parked";
  window.Crt.Cls();
  UpdateShotsAndBullets();
  EXPECT_EQ(LitPixels(), 0) << "a removed shot is not drawn again";
  EXPECT_EQ(G.ShotY[4], 320);
}

TEST_F(ShotsTest, OnlySlotsExactlyInFlightMove) {
  PatternSheet();
  for (std::int16_t flag : {0, 2, -1}) {
    G.ShotActive[1] = flag;
    G.ShotX[1] = 50;
    G.ShotY[1] = 100;
    UpdateShotsAndBullets();
    EXPECT_EQ(G.ShotY[1], 100);
    EXPECT_EQ(G.ShotActive[1], flag);
  }
  EXPECT_EQ(LitPixels(), 0);
}

TEST_F(ShotsTest, TheLowerSlotTakesAnEnemyTwoShotsReachTogether) {
  Enemy(7, 100, 200);
  Shot(5, 100, 236);
  Shot(2, 100, 236);
  UpdateShotsAndBullets();
  EXPECT_EQ(G.EnemyState[7], 1);
  EXPECT_EQ(G.ShotActive[2], 0);
  EXPECT_EQ(G.ShotY[2], 320);
  EXPECT_EQ(G.ShotActive[5], 1) << "the other shot flies on";
  EXPECT_EQ(G.ShotY[5], 230);
  EXPECT_EQ(G.Score, 10);
  EXPECT_EQ(SoundCount(), 1u);
}

TEST_F(ShotsTest, ShotsScoreAfterTheShipIsLost) {
  G.PlayerDead = 1;
  Enemy(0, 10, 16);
  Shot(0, 10, 40);
  UpdateShotsAndBullets();
  EXPECT_EQ(G.EnemyState[0], 1);
  EXPECT_EQ(G.Score, 10);
}

TEST_F(ShotsTest, BulletPositionsRoundDownToWholePixels) {
  const struct {
    float x, dx, y, dy;
    int drawX, drawY;
  } cases[] = {
      {99.5f, 0.25f, 7.5f, 0.4f, 99, 7},
      {0.25f, -0.5f, 10, 2, -1, 12},
      {-3, 0, 0, -0.25f, -3, -1},
      {146, -0.75f, -31.5f, 0, 145, -32},
      {12, 0.999f, 100, 5, 12, 105},
  };
  for (const auto& c : cases) {
    Bullet(0, c.x, c.y, c.dx, c.dy);
    UpdateShotsAndBullets();
    EXPECT_EQ(G.BulletX[0], c.x + c.dx);
    EXPECT_EQ(G.BulletDrawX[0], c.drawX);
    EXPECT_EQ(G.BulletDrawY[0], c.drawY);
    EXPECT_EQ(G.BulletActive[0], 1);
  }
}

TEST_F(ShotsTest, TheShipWindowIsStrictOnEverySide) {
  const struct {
    int x, y;
    int hit;
  } cases[] = {
      {131, 273, 1}, {161, 273, 1}, {131, 303, 1}, {161, 303, 1}, {146, 288, 1},
      {130, 288, 0}, {162, 288, 0}, {146, 272, 0}, {146, 304, 0}, {146, -288, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "bullet at (" << c.x << ", " << c.y << ")");
    G.PlayerDead = 0;
    const std::size_t sounds = SoundCount();
    EXPECT_EQ(BulletHitsPlayer(static_cast<std::int16_t>(c.x), static_cast<std::int16_t>(c.y)), c.hit);
    EXPECT_EQ(G.PlayerDead, c.hit);
    EXPECT_EQ(SoundCount() - sounds, static_cast<std::size_t>(c.hit));
    // A ship already lost cannot be hit again.
    EXPECT_EQ(BulletHitsPlayer(static_cast<std::int16_t>(c.x), static_cast<std::int16_t>(c.y)), 0);
  }
}

TEST_F(ShotsTest, OnlyOneBulletDestroysTheShip) {
  PatternSheet();
  Bullet(3, 160, 290, 0, 4);
  Bullet(1, 150, 275, 0, 2);
  Bullet(4, 146, 280, 0, 3);
  UpdateShotsAndBullets();
  EXPECT_EQ(G.PlayerDead, 1);
  EXPECT_EQ(SoundCount(), 1u);
  EXPECT_EQ(G.BulletActive[1], 0) << "the lowest slot hits and is freed";
  EXPECT_EQ(G.BulletActive[3], 1);
  EXPECT_EQ(G.BulletActive[4], 1);
  EXPECT_EQ(window.Crt.Pixel(150, 277), SheetPixel(96, 0)) << "drawn in the frame it hits";
  // The others pass through the lost ship and leave at the bottom, silently.
  for (int f = 0; f < 30; ++f) UpdateShotsAndBullets();
  EXPECT_EQ(G.BulletActive[3], 0);
  EXPECT_EQ(G.BulletActive[4], 0);
  EXPECT_EQ(SoundCount(), 1u);
}

TEST_F(ShotsTest, StraightBulletsLeaveAtDrawnY320To324AndAreDrawnThere) {
  PatternSheet();
  G.PlayerX = 0;
  for (int speed = 2; speed <= 5; ++speed) {
    for (float startY : {38.0f, 121.0f + 22, 57.0f}) {
      SCOPED_TRACE(::testing::Message() << "speed " << speed << " from " << startY);
      Bullet(2, 200, startY, 0, static_cast<float>(speed));
      int lastY = 0;
      int frames = 0;
      while (G.BulletActive[2] == 1 && frames < 200) {
        window.Crt.Cls();
        UpdateShotsAndBullets();
        ++frames;
        if (G.BulletActive[2] == 1) {
          ASSERT_LT(G.BulletDrawY[2], 320);
          EXPECT_TRUE(CellDrawnAt(200, G.BulletDrawY[2], 96, 0));
        }
        lastY = G.BulletDrawY[2];
      }
      EXPECT_GE(lastY, 320);
      EXPECT_LE(lastY, 324);
      EXPECT_EQ(G.PlayerDead, 0);
    }
  }
  // A bullet drawn at 319 still shows its top row.
  window.Crt.Cls();
  Bullet(0, 40, 317, 0, 2);
  UpdateShotsAndBullets();
  EXPECT_EQ(G.BulletActive[0], 1);
  EXPECT_EQ(window.Crt.Pixel(40, 319), SheetPixel(96, 0));
}

TEST_F(ShotsTest, SlotsAboveBulletTopAreNeverVisited) {
  PatternSheet();
  const struct {
    std::int16_t top;
    int moved;  // slots 0..moved-1 move
  } cases[] = {{4, 5}, {0, 1}, {20, 21}, {-1, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "BulletTop " << c.top);
    G.BulletTop = c.top;
    for (int s = 0; s < kBulletSlots; ++s) Bullet(s, 10, 100, 0, 2);
    UpdateShotsAndBullets();
    for (int s = 0; s < kBulletSlots; ++s) EXPECT_EQ(G.BulletY[s], s < c.moved ? 102 : 100) << "slot " << s;
  }
}

TEST_F(ShotsTest, ABulletThatLeavesThe16BitRangeIsFreed) {
  G.PlayerDead = 1;
  const struct {
    float x, y, dx, dy;
  } cases[] = {
      {100, -32766.0f, 0, -4},
      {32765.0f, 100, 5, 0},
      {-32766.5f, 100, -3, 0},
  };
  for (const auto& c : cases) {
    Bullet(0, c.x, c.y, c.dx, c.dy);
    G.BulletDrawX[0] = 1;
    G.BulletDrawY[0] = 2;
    UpdateShotsAndBullets();
    EXPECT_EQ(G.BulletActive[0], 0);
    EXPECT_EQ(G.BulletDrawX[0], 1) << "the drawn position keeps its last whole value";
    EXPECT_EQ(G.BulletDrawY[0], 2);
  }
  // One that stays just inside flies on.
  Bullet(0, 100, -32767.5f, 0, -0.25f);
  UpdateShotsAndBullets();
  EXPECT_EQ(G.BulletActive[0], 1);
  EXPECT_EQ(G.BulletDrawY[0], -32768);
}

}  // namespace
}  // namespace zorva::testing
