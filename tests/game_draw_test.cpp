// The play screen's drawing: starfield, sprites, banner and status line.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "app/rnd.h"
#include "app/runtime.h"
#include "present/sprites.h"
#include "present/starfield.h"
#include "present/status.h"
#include "rules/blasts.h"
#include "rules/state.h"
#include "tests/base_sim_main.h"

namespace zorva {
namespace {

constexpr Colour kStar = 0x00102030;

// A sprite sheet whose every cell is black but for one marker pixel at (5, 5)
// of the cell, coloured after the cell's place.
Colour CellColour(int cx, int cy) { return static_cast<Colour>(0x00400000 | (cx << 8) | (cy + 1)); }

void MarkedSheet(Surface& s, int w, int h) {
  std::vector<Colour> px(static_cast<std::size_t>(w) * h, 0);
  for (int cy = 0; cy < h; cy += 32)
    for (int cx = 0; cx < w; cx += 32) px[static_cast<std::size_t>(cy + 5) * w + cx + 5] = CellColour(cx, cy);
  s.SetImage(w, h, std::move(px));
}

struct DrawFixture : ::testing::Test {
  SimMain m;
  void SetUp() override {
    MarkedSheet(Main->Chr, 192, 64);
    Main->Crt.BackColor = kStar;
    Main->Crt.Cls();  // a canvas of stars everywhere
    ResetWave();
    G.PlayerX = 146;
    G.PlayerY = 288;
  }
  Colour At(int x, int y) const { return Main->Crt.Pixel(x, y); }
};

TEST_F(DrawFixture, ShipAndItsExplosionReplaceTheStarsBeneath) {
  DrawPlayer();
  EXPECT_EQ(At(146, 288), 0u);                       // black of the sprite hides the star
  EXPECT_EQ(At(151, 293), CellColour(0, 0));         // the ship's own pixel, not mixed
  EXPECT_EQ(At(145, 288), kStar);                    // outside the square, untouched
  for (int frame = 0; frame <= 7; ++frame) {
    Main->Crt.Cls();
    G.PlayerBlastFrame = static_cast<std::int16_t>(frame);
    DrawPlayerBlast();
    if (frame <= 5) {
      EXPECT_EQ(At(151, 293), CellColour(32 * frame, 32)) << "frame " << frame;
      EXPECT_EQ(At(146, 288), 0u) << "frame " << frame;
    } else {
      EXPECT_EQ(At(151, 293), kStar) << "frame " << frame;  // nothing drawn, stars show
    }
  }
}

TEST_F(DrawFixture, ShipAtBothEdges) {
  for (const int x : {0, 288}) {
    Main->Crt.Cls();
    G.PlayerX = x;
    DrawPlayer();
    EXPECT_EQ(At(x, 288), 0u);
    EXPECT_EQ(At(x + 31, 319), 0u);
    EXPECT_EQ(At(x == 0 ? 32 : 287, 300), kStar);
  }
}

TEST_F(DrawFixture, EnemiesOrOverTheStarsAndGoneOnesAreNotDrawn) {
  for (int i = 0; i < kEnemySlots; ++i) {
    G.EnemyX[i] = static_cast<std::int16_t>(10 + 40 * (i % 6));
    G.EnemyY[i] = static_cast<std::int16_t>(20 + 40 * (i / 6));
    G.EnemyState[i] = static_cast<std::int16_t>(i % 8);
  }
  DrawEnemies();
  for (int i = 0; i < kEnemySlots; ++i) {
    const int s = i % 8;
    const Colour marker = At(G.EnemyX[i] + 5, G.EnemyY[i] + 5);
    if (s == 7) {
      EXPECT_EQ(marker, kStar) << "slot " << i;
    } else {
      const Colour cell = s == 0 ? CellColour(64, 0) : CellColour(32 * (s - 1), 32);
      EXPECT_EQ(marker, kStar | cell) << "slot " << i;
    }
    EXPECT_EQ(At(G.EnemyX[i], G.EnemyY[i]), kStar) << "black of the sprite lets the star show";
  }
}

TEST_F(DrawFixture, BannerOnlyOnceItIsUp) {
  MarkedSheet(Main->Res, 279, 167);
  Main->Res.PSet(2, 48, 0x000000F0);  // a pixel of the GAME OVER lettering
  DrawGameOver();
  EXPECT_EQ(At(87, 112), kStar);
  G.GameOverShown = 1;
  DrawGameOver();
  EXPECT_EQ(At(87, 112), kStar | 0x000000F0u);
  EXPECT_EQ(At(85 + 160, 110), kStar);  // the rectangle ends at column 244
}

TEST(Starfield, StarsFollowTheDrawsAndNeverTouchRowOrColumnZero) {
  SimMain m;
  for (const std::uint64_t seed : {1u, 2u, 77u}) {
    Randomize(seed);
    MakeStarfield();
    // Replay the same draws: three per star, x and y 1..320, colour never black.
    Randomize(seed);
    std::set<std::pair<int, int>> expected;
    for (int star = 0; star <= 300; ++star) {
      const int x = static_cast<int>(Int(static_cast<double>(Rnd()) * 320 + 1));
      const int y = static_cast<int>(Int(static_cast<double>(Rnd()) * 320 + 1));
      Rnd();
      if (x < 320 && y < 320) expected.insert({x, y});
    }
    std::set<std::pair<int, int>> lit;
    for (int y = 0; y < 320; ++y)
      for (int x = 0; x < 320; ++x)
        if (Main->BG.Pixel(x, y) != 0) lit.insert({x, y});
    EXPECT_EQ(lit, expected) << "seed " << seed;
    EXPECT_GT(lit.size(), 280u);
    for (const auto& [x, y] : lit) {
      EXPECT_NE(x, 0);
      EXPECT_NE(y, 0);
    }
  }
}

TEST(Starfield, FirstFieldIsTheSameEveryRunAndGamesGetNewOnes) {
  SimMain m;
  MakeStarfield();
  const std::vector<Colour> first = Main->BG.Pixels();
  ResetRnd();
  MakeStarfield();
  EXPECT_EQ(Main->BG.Pixels(), first);
  Randomize(1000);
  MakeStarfield();
  EXPECT_NE(Main->BG.Pixels(), first);
}

TEST(Starfield, ScrollShiftsDownAndWraps) {
  SimMain m;
  MakeStarfield();
  for (const int s : {0, 1, 160, 319}) {
    G.ScrollY = static_cast<std::int16_t>(s);
    ScrollStarfield();
    EXPECT_EQ(G.ScrollY, s == 319 ? 0 : s + 1);
    for (int y = 0; y < 320; ++y)
      for (int x = 0; x < 320; ++x)
        ASSERT_EQ(Main->Crt.Pixel(x, y), Main->BG.Pixel(x, ((y - s) % 320 + 320) % 320))
            << "s " << s << " at " << x << "," << y;
  }
}

TEST(StatusLine, TextIsExactToTheCharacter) {
  SimMain m;
  struct Case {
    std::int32_t hi, score, fps;
    std::string text;
  };
  const Case cases[] = {
      {120, 40, 33, "HISCORE 0120  SCORE 0040" + std::string(25, ' ') + "FPS 00033"},
      {0, 0, 0, "HISCORE 0000  SCORE 0000" + std::string(25, ' ') + "FPS 00000"},
      {32770, 32770, 1000, "HISCORE 32770  SCORE 32770" + std::string(25, ' ') + "FPS 01000"},
  };
  for (const Case& c : cases) {
    G.HiScore = c.hi;
    G.Score = c.score;
    G.Fps = c.fps;
    EXPECT_EQ(StatusText(), c.text);
  }
  EXPECT_EQ(cases[0].text.size(), 58u);
}

TEST(StatusLine, FrameRateFollowsItsGate) {
  SimMain m;
  struct Case {
    std::int64_t frameTime;
    std::int32_t fps;
  };
  const Case cases[] = {{1, 1000}, {3, 333}, {30, 33}, {33, 30}, {1001, 0}};
  for (const Case& c : cases) {
    G.FpsNext = 100;
    G.FpsLast = 101;  // the gate is open
    G.FrameTime = c.frameTime;
    DrawStatusLine();
    EXPECT_EQ(G.Fps, c.fps) << "frame time " << c.frameTime;
    EXPECT_EQ(G.FpsNext, m.sim.Clock() + 500);
    EXPECT_EQ(G.FpsLast, 101);
  }
  // A frame shorter than the clock's resolution keeps the gate shut.
  G.FpsNext = 100;
  G.FpsLast = 101;
  G.FrameTime = 0;
  G.Fps = 7;
  DrawStatusLine();
  EXPECT_EQ(G.Fps, 7);
  EXPECT_EQ(G.FpsLast, m.sim.Clock());
}

}  // namespace
}  // namespace zorva
