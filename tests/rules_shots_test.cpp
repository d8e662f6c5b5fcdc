#include <gtest/gtest.h>

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
  static void Enemy(std::size_t slot, int x, int y, std::int16_t state = 0) {
    G.EnemyX[slot] = static_cast<std::int16_t>(x);
    G.EnemyY[slot] = static_cast<std::int16_t>(y);
    G.EnemyState[slot] = state;
  }
  static void Shot(std::size_t slot, int x, int y) {
    G.ShotX[slot] = static_cast<std::int16_t>(x);
    G.ShotY[slot] = static_cast<std::int16_t>(y);
    G.ShotActive[slot] = 1;
  }
  static void Bullet(std::size_t slot, float x, float y, float dx, float dy) {
    G.BulletActive[slot] = 1;
    G.BulletX[slot] = x;
    G.BulletY[slot] = y;
    G.BulletDX[slot] = dx;
    G.BulletDY[slot] = dy;
  }
  std::size_t Sounds() const { return window.Sounds().size(); }
};

TEST_F(ShotsTest, HitWindowsAreStrictOnEverySide) {
  // An enemy at (100, 50) is hit by a shot at x 85..115, y 51..81; the ship
  // at PlayerX 146 by a bullet at x 131..161, y 273..303.
  const int enemyCases[][3] = {{85, 51, 1}, {115, 51, 1}, {85, 81, 1}, {115, 81, 1}, {100, 66, 1}, {84, 66, 0},
                               {116, 66, 0}, {100, 50, 0}, {100, 82, 0}, {84, 50, 0}, {-300, 66, 0}};
  for (const auto& c : enemyCases) {
    SCOPED_TRACE(::testing::Message() << "shot at " << c[0] << "," << c[1]);
    G.Score = 40;
    G.HiScore = 100;
    Enemy(9, 100, 50);
    const std::size_t sounds = Sounds();
    EXPECT_EQ(ShotHitsEnemy(static_cast<std::int16_t>(c[0]), static_cast<std::int16_t>(c[1])), c[2]);
    EXPECT_EQ(G.EnemyState[9], c[2]);
    EXPECT_EQ(G.Score, 40 + 10 * c[2]);
    EXPECT_EQ(G.HiScore, 100);
    EXPECT_EQ(Sounds() - sounds, static_cast<std::size_t>(c[2]));
  }
  const int shipCases[][3] = {{131, 273, 1}, {161, 273, 1}, {131, 303, 1}, {161, 303, 1}, {146, 288, 1},
                              {130, 288, 0}, {162, 288, 0}, {146, 272, 0}, {146, 304, 0}, {146, -288, 0}};
  for (const auto& c : shipCases) {
    SCOPED_TRACE(::testing::Message() << "bullet at " << c[0] << "," << c[1]);
    G.PlayerDead = 0;
    const std::size_t sounds = Sounds();
    EXPECT_EQ(BulletHitsPlayer(static_cast<std::int16_t>(c[0]), static_cast<std::int16_t>(c[1])), c[2]);
    EXPECT_EQ(G.PlayerDead, c[2]);
    EXPECT_EQ(Sounds() - sounds, static_cast<std::size_t>(c[2]));
    EXPECT_EQ(BulletHitsPlayer(static_cast<std::int16_t>(c[0]), static_cast<std::int16_t>(c[1])), 0);  // lost already
  }
}

TEST_F(ShotsTest, OneShotDestroysEveryLiveEnemyWhoseWindowHoldsIt) {
  Enemy(3, 100, 50);
  Enemy(4, 110, 60);
  Enemy(5, 90, 40, 3);  // exploding: passed over
  EXPECT_EQ(ShotHitsEnemy(105, 70), 1);
  EXPECT_EQ(G.EnemyState[3] + G.EnemyState[4], 2);
  EXPECT_EQ(G.EnemyState[5], 3);
  EXPECT_EQ(G.Score, 20);
  EXPECT_EQ(G.HiScore, 20);
  ASSERT_EQ(Sounds(), 2u);
  EXPECT_EQ(window.Sounds()[1].file, "game/効果音.wav");
  EXPECT_EQ(window.Sounds()[1].flags, SND_ASYNC | SND_NODEFAULT);
}

TEST_F(ShotsTest, ScoresAddUpAndHiScoreFollowsPast32760) {
  const std::int32_t cases[][3] = {{0, 0, 10}, {90, 100, 100}, {100, 110, 110}, {100, 120, 120}, {500, 200, 510},
                                   {32760, 32760, 32770}, {32770, 32760, 32780}};
  for (const auto& c : cases) {
    G.Score = c[0];
    G.HiScore = c[1];
    Enemy(0, 100, 50);
    ASSERT_EQ(ShotHitsEnemy(100, 60), 1);
    EXPECT_EQ(G.Score, c[0] + 10);
    EXPECT_EQ(G.HiScore, c[2]);
  }
}

TEST_F(ShotsTest, ExplodingAndGoneEnemiesNeverStopAShotNorDoFlagsOtherThanOne) {
  for (std::int16_t state = 1; state <= 7; ++state) {
    Enemy(0, 100, 50, state);
    Shot(2, 100, 72);
    UpdateShotsAndBullets();
    EXPECT_EQ(G.EnemyState[0], state);
    EXPECT_EQ(G.ShotActive[2], 1);
    EXPECT_EQ(G.ShotY[2], 66);
  }
  EXPECT_EQ(G.Score, 0);
  EXPECT_EQ(Sounds(), 0u);
  PatternSheet();
  for (std::int16_t flag : {0, 2, -1}) {  // only slots exactly in flight move
    Shot(1, 50, 100);
    G.ShotActive[1] = flag;
    G.ShotActive[2] = 0;
    UpdateShotsAndBullets();
    EXPECT_EQ(G.ShotY[1], 100);
  }
  EXPECT_EQ(LitPixels(), 0);
}

TEST_F(ShotsTest, AShotThatHitsNothingFlies48FramesAndIsDrawnEachTime) {
  PatternSheet();
  Shot(4, 200, 288);
  std::vector<int> drawnAt;
  while (G.ShotActive[4] == 1 && drawnAt.size() < 100) {
    window.Crt.Cls();
    UpdateShotsAndBullets();
    drawnAt.push_back(G.ShotActive[4] == 1 ? G.ShotY[4] : 0);
    EXPECT_TRUE(CellDrawnAt(200, drawnAt.back(), 32, 0));
  }
  ASSERT_EQ(drawnAt.size(), 48u);
  EXPECT_EQ(drawnAt.front(), 282);
  EXPECT_EQ(drawnAt[46], 6);
  window.Crt.Cls();
  UpdateShotsAndBullets();
  EXPECT_EQ(LitPixels(), 0);  // a removed shot is not drawn again
  EXPECT_EQ(G.ShotY[4], 320);  // parked
}

TEST_F(ShotsTest, TheLowerSlotTakesAnEnemyTwoShotsReachTogetherEvenAfterTheShipIsLost) {
  G.PlayerDead = 1;
  Enemy(7, 100, 200);
  Shot(5, 100, 236);
  Shot(2, 100, 236);
  UpdateShotsAndBullets();
  EXPECT_EQ(G.EnemyState[7], 1);
  EXPECT_EQ(G.ShotActive[2], 0);
  EXPECT_EQ(G.ShotY[2], 320);
  EXPECT_EQ(G.ShotActive[5], 1);  // the other flies on
  EXPECT_EQ(G.ShotY[5], 230);
  EXPECT_EQ(G.Score, 10);
  EXPECT_EQ(Sounds(), 1u);
}

TEST_F(ShotsTest, BulletPositionsRoundDownToWholePixels) {
  const float cases[][6] = {{99.5f, 0.25f, 7.5f, 0.4f, 99, 7}, {0.25f, -0.5f, 10, 2, -1, 12}, {-3, 0, 0, -0.25f, -3, -1},
                            {146, -0.75f, -31.5f, 0, 145, -32}, {12, 0.999f, 100, 5, 12, 105}};
  for (const auto& c : cases) {
    Bullet(0, c[0], c[2], c[1], c[3]);
    UpdateShotsAndBullets();
    EXPECT_EQ(G.BulletX[0], c[0] + c[1]);
    EXPECT_EQ(G.BulletDrawX[0], c[4]);
    EXPECT_EQ(G.BulletDrawY[0], c[5]);
    EXPECT_EQ(G.BulletActive[0], 1);
  }
}

TEST_F(ShotsTest, OnlyOneBulletDestroysTheShip) {
  PatternSheet();
  Bullet(3, 160, 290, 0, 4);
  Bullet(1, 150, 275, 0, 2);
  Bullet(4, 146, 280, 0, 3);
  UpdateShotsAndBullets();
  EXPECT_EQ(G.PlayerDead, 1);
  EXPECT_EQ(G.BulletActive[1], 0);  // the lowest slot hits and is freed
  EXPECT_EQ(G.BulletActive[3] + G.BulletActive[4], 2);
  EXPECT_EQ(window.Crt.Pixel(150, 277), SheetPixel(96, 0));  // drawn in the frame it hits
  for (int f = 0; f < 30; ++f) UpdateShotsAndBullets();  // the others pass through, silently
  EXPECT_EQ(G.BulletActive[3] + G.BulletActive[4], 0);
  EXPECT_EQ(Sounds(), 1u);
}

TEST_F(ShotsTest, StraightBulletsLeaveAtDrawnY320To324AndAreDrawnTillThen) {
  PatternSheet();
  G.PlayerX = 0;
  for (int speed = 2; speed <= 5; ++speed)
    for (float startY : {38.0f, 143.0f, 57.0f}) {
      SCOPED_TRACE(::testing::Message() << "speed " << speed << " from " << startY);
      Bullet(2, 200, startY, 0, static_cast<float>(speed));
      for (int frames = 0; G.BulletActive[2] == 1 && frames < 200; ++frames) {
        window.Crt.Cls();
        UpdateShotsAndBullets();
        if (G.BulletActive[2] == 1) {
          ASSERT_LT(G.BulletDrawY[2], 320);
          EXPECT_TRUE(CellDrawnAt(200, G.BulletDrawY[2], 96, 0));
        }
      }
      EXPECT_GE(G.BulletDrawY[2], 320);
      EXPECT_LE(G.BulletDrawY[2], 324);
    }
  window.Crt.Cls();
  Bullet(0, 40, 317, 0, 2);  // drawn at 319: its top row shows
  UpdateShotsAndBullets();
  EXPECT_EQ(window.Crt.Pixel(40, 319), SheetPixel(96, 0));
}

TEST_F(ShotsTest, SlotsAboveBulletTopAreNeverVisited) {
  for (const std::int16_t top : {4, 0, 20, -1}) {
    G.BulletTop = top;
    for (std::size_t s = 0; s < kBulletSlots; ++s) Bullet(s, 10, 100, 0, 2);
    UpdateShotsAndBullets();
    for (int s = 0; s < kBulletSlots; ++s) EXPECT_EQ(G.BulletY[s], s <= top ? 102 : 100) << "top " << top << ", slot " << s;
  }
}

TEST_F(ShotsTest, ABulletThatLeavesThe16BitRangeIsFreed) {
  G.PlayerDead = 1;
  const float cases[][4] = {{100, -32766.0f, 0, -4}, {32765.0f, 100, 5, 0}, {-32766.5f, 100, -3, 0}};
  for (const auto& c : cases) {
    Bullet(0, c[0], c[1], c[2], c[3]);
    G.BulletDrawX[0] = 1;
    G.BulletDrawY[0] = 2;
    UpdateShotsAndBullets();
    EXPECT_EQ(G.BulletActive[0], 0);
    EXPECT_EQ(G.BulletDrawX[0] * 10 + G.BulletDrawY[0], 12);  // the last whole position stays
  }
  Bullet(0, 100, -32767.5f, 0, -0.25f);  // just inside: flies on
  UpdateShotsAndBullets();
  EXPECT_EQ(G.BulletActive[0], 1);
  EXPECT_EQ(G.BulletDrawY[0], -32768);
}

}  // namespace
}  // namespace zorva::testing
