// Shared set-up of the rules tests: a fresh simulated window as `Main`, the
// game's state at its start with the ship in place, and ways to pick random
// draws.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "tests/base_sim_main.h"

namespace zorva::testing {

class RulesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    G.AppPath = "game";
    G.PlayerX = 146;
    G.PlayerY = 288;
    G.BulletTop = 4;
  }

  // A sprite sheet whose every pixel tells where it came from (red x, green
  // y, blue 0x80), so that no pixel is black.
  void PatternSheet() {
    std::vector<Colour> pixels(192 * 64);
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 192; ++x) pixels[static_cast<std::size_t>(y * 192 + x)] = SheetPixel(x, y);
    window.Chr.SetImage(192, 64, std::move(pixels));
    window.Crt.Cls();
  }
  static Colour SheetPixel(int x, int y) { return RGB(x, y, 0x80); }

  // The sheet's 32 x 32 cell at (sx, sy) lies in the canvas at (x, y), as far
  // as its corners inside the canvas show.
  ::testing::AssertionResult CellDrawnAt(int x, int y, int sx, int sy) {
    for (int d : {0, 31})
      for (int e : {0, 31}) {
        const int cx = x + d, cy = y + e;
        if (cx < 0 || cy < 0 || cx >= 320 || cy >= 320) continue;
        if (window.Crt.Pixel(cx, cy) != SheetPixel(sx + d, sy + e))
          return ::testing::AssertionFailure() << "canvas (" << cx << ", " << cy << ") is not from cell (" << sx << ", " << sy << ")";
      }
    return ::testing::AssertionSuccess();
  }
  int LitPixels() const {
    int n = 0;
    for (Colour c : window.Crt.Pixels()) n += c != 0;
    return n;
  }
  // Every enemy but the listed slots is gone.
  static void OnlyAlive(std::initializer_list<int> slots) {
    G.EnemyState.fill(7);
    for (int s : slots) G.EnemyState[static_cast<std::size_t>(s)] = 0;
  }

  SimMain m;
  SimWindow& window = m.sim;
};

// The first seed whose first draws satisfy `want`; the sequence is left at
// that seed's start.
inline std::uint64_t SeedWhere(int draws, const std::function<bool(const std::vector<float>&)>& want) {
  for (std::uint64_t seed = 1; seed < 2000000; ++seed) {
    Randomize(seed);
    std::vector<float> u(static_cast<std::size_t>(draws));
    for (auto& v : u) v = Rnd();
    if (want(u)) {
      Randomize(seed);
      return seed;
    }
  }
  ADD_FAILURE() << "no seed found";
  return 0;
}

// How many values were drawn since `seed` was set, found by looking the next
// two values up in the sequence of that seed.
inline int DrawsSince(std::uint64_t seed, int limit = 200) {
  const float a = Rnd(), b = Rnd();
  Randomize(seed);
  float prev = Rnd();
  for (int n = 0; n <= limit; ++n) {
    const float cur = Rnd();
    if (prev == a && cur == b) return n;
    prev = cur;
  }
  return -1;
}

}  // namespace zorva::testing
