// The play screen's drawing: starfield, sprites, banner and status line.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "base/rnd.h"
#include "base/runtime.h"
#include "present/sprites.h"
#include "present/starfield.h"
#include "present/status.h"
#include "rules/blasts.h"
#include "tests/base_sim_main.h"

namespace zorva {
namespace {

constexpr Colour kStar = 0x00102030;

// A sheet whose cells are black but for a marker pixel at (5, 5) of each,
// coloured after the cell's place.
Colour CellColour(int cx, int cy) { return static_cast<Colour>(0x00400000 | (cx << 8) | (cy + 1)); }

struct Draw : ::testing::Test {
  SimMain m;
  void SetUp() override {
    std::vector<Colour> px(192 * 64, 0);
    for (int cy = 0; cy < 64; cy += 32)
      for (int cx = 0; cx < 192; cx += 32) px[static_cast<std::size_t>((cy + 5) * 192 + cx + 5)] = CellColour(cx, cy);
    Main->Chr.SetImage(192, 64, std::move(px));
    Main->Crt.BackColor = kStar;
    Main->Crt.Cls();  // stars everywhere
    ResetWave();
    G.PlayerX = 146;
    G.PlayerY = 288;
  }
  Colour At(int x, int y) const { return Main->Crt.Pixel(x, y); }
};

TEST_F(Draw, ShipAndItsExplosionReplaceTheStarsBeneath) {
  for (const int x : {146, 0, 288}) {
    Main->Crt.Cls();
    G.PlayerX = x;
    DrawPlayer();
    EXPECT_EQ(At(x, 288), 0u);  // black of the sprite hides the star
    EXPECT_EQ(At(x + 31, 319), 0u);
    EXPECT_EQ(At(x + 5, 293), CellColour(0, 0));  // the ship's own pixel, not mixed
    EXPECT_EQ(At(x == 0 ? 32 : x - 1, 300), kStar);  // outside the square
  }
  G.PlayerX = 0;
  for (int frame = 0; frame <= 7; ++frame) {
    Main->Crt.Cls();
    G.PlayerBlastFrame = static_cast<std::int16_t>(frame);
    DrawPlayerBlast();
    EXPECT_EQ(At(5, 293), frame <= 5 ? CellColour(32 * frame, 32) : kStar) << "frame " << frame;
    EXPECT_EQ(At(0, 288), frame <= 5 ? 0u : kStar) << "frame " << frame;
  }
}

TEST_F(Draw, EnemiesOrOverTheStarsAndGoneOnesAreNotDrawn) {
  for (int i = 0; i < kEnemySlots; ++i) {
    G.EnemyX[i] = static_cast<std::int16_t>(10 + 40 * (i % 6));
    G.EnemyY[i] = static_cast<std::int16_t>(20 + 40 * (i / 6));
    G.EnemyState[i] = static_cast<std::int16_t>(i % 8);
  }
  DrawEnemies();
  for (int i = 0; i < kEnemySlots; ++i) {
    const int s = i % 8;
    const Colour cell = s == 7 ? 0 : s == 0 ? CellColour(64, 0) : CellColour(32 * (s - 1), 32);
    EXPECT_EQ(At(G.EnemyX[i] + 5, G.EnemyY[i] + 5), kStar | cell) << "slot " << i;
    EXPECT_EQ(At(G.EnemyX[i], G.EnemyY[i]), kStar) << "slot " << i;
  }
}

TEST_F(Draw, BannerOnlyOnceItIsUp) {
  std::vector<Colour> px(279 * 167, 0);
  px[48 * 279 + 2] = 0xF0;  // a pixel of the GAME OVER lettering
  px[48 * 279 + 160] = 0xF0;  // and one just right of the banner's rectangle
  Main->Res.SetImage(279, 167, std::move(px));
  DrawGameOver();
  EXPECT_EQ(At(87, 112), kStar);
  G.GameOverShown = 1;
  DrawGameOver();
  EXPECT_EQ(At(87, 112), kStar | 0xF0u);
  EXPECT_EQ(At(85 + 160, 112), kStar);
}

TEST(Starfield, StarsFollowTheDrawsAndTheFirstFieldIsAlwaysTheSame) {
  SimMain m;
  MakeStarfield();
  const std::vector<Colour> first = Main->BG.Pixels();
  for (const std::uint64_t seed : {1u, 77u}) {
    Randomize(seed);
    MakeStarfield();
    EXPECT_NE(Main->BG.Pixels(), first);
    // Three draws per star: x and y 1..320 (a star at 320 is off the area),
    // a colour never black.
    Randomize(seed);
    std::set<std::pair<int, int>> expected, lit;
    for (int star = 0; star <= 300; ++star) {
      const int x = static_cast<int>(Int(static_cast<double>(Rnd()) * 320 + 1));
      const int y = static_cast<int>(Int(static_cast<double>(Rnd()) * 320 + 1));
      Rnd();
      if (x < 320 && y < 320) expected.insert({x, y});
    }
    for (int y = 0; y < 320; ++y)
      for (int x = 0; x < 320; ++x)
        if (Main->BG.Pixel(x, y) != 0) lit.insert({x, y});
    EXPECT_EQ(lit, expected) << "seed " << seed;
  }
  ResetRnd();
  MakeStarfield();
  EXPECT_EQ(Main->BG.Pixels(), first);
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
        ASSERT_EQ(Main->Crt.Pixel(x, y), Main->BG.Pixel(x, (y - s + 320) % 320)) << "s " << s << " at " << x << "," << y;
  }
}

TEST(StatusLine, TextIsExactToTheCharacterAndTheFrameRateFollowsItsGate) {
  SimMain m;
  const struct {
    std::int32_t hi, score, fps;
    std::string text;
  } texts[] = {
      {120, 40, 33, "HISCORE 0120  SCORE 0040" + std::string(25, ' ') + "FPS 00033"},
      {0, 0, 0, "HISCORE 0000  SCORE 0000" + std::string(25, ' ') + "FPS 00000"},
      {32770, 32770, 1000, "HISCORE 32770  SCORE 32770" + std::string(25, ' ') + "FPS 01000"},
  };
  for (const auto& c : texts) {
    G.HiScore = c.hi;
    G.Score = c.score;
    G.Fps = c.fps;
    EXPECT_EQ(StatusText(), c.text);
  }
  // Frame time and the frame rate shown; 0 (shorter than the clock's
  // resolution) keeps the gate shut and the old figure.
  const std::int64_t rates[][2] = {{1, 1000}, {3, 333}, {30, 33}, {33, 30}, {1001, 0}, {0, 7}};
  for (const auto& c : rates) {
    G.FpsNext = 100;
    G.FpsLast = 101;  // open
    G.FrameTime = c[0];
    G.Fps = 7;
    DrawStatusLine();
    EXPECT_EQ(G.Fps, c[1]) << "frame time " << c[0];
    EXPECT_EQ(G.FpsNext, c[0] > 0 ? m.sim.Clock() + 500 : 100);
    EXPECT_EQ(G.FpsLast, c[0] > 0 ? 101 : m.sim.Clock());
  }
}

}  // namespace
}  // namespace zorva
