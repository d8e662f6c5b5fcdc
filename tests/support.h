// What the game's tests share: every routine under test, the simulated window
// as `Main` with the game at its start, whole simulated runs kept pass by
// pass, and sprites found in the canvas.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "base/bmp.h"
#include "base/clock.h"
#include "base/font.h"
#include "base/rnd.h"
#include "base/runtime.h"
#include "base/wav.h"
#include "flow/form.h"
#include "flow/waves.h"
#include "frame/layout.h"
#include "present/images.h"
#include "present/starfield.h"
#include "present/status.h"
#include "rules/blasts.h"
#include "rules/fire.h"
#include "rules/formation.h"
#include "rules/player.h"
#include "rules/shots.h"
#include "rules/state.h"
#include "sim/replay.h"
#include "sim/sim_window.h"
#include "tests/file_support.h"

namespace zorva {

// A simulated window as `Main` for one test; the state and the random sequence at their start before and after.
struct SimMain {
  explicit SimMain(std::int64_t clock = 1000, std::int64_t work = 5) : sim(clock, work) { Main = &sim, ResetGameState(), ResetRnd(); }
  ~SimMain() { Main = nullptr, ResetGameState(), ResetRnd(); }
  SimWindow sim;
};

// The state and the clock at the end of one pass of a simulated run.
struct Pass {
  Loop loop;
  bool endsGame;
  std::int64_t clock;
  GameState g;
  bool Game() const { return loop == Loop::Game; }
};

// Runs a key script (the k-th game seeded with seed + k - 1) and keeps every pass that ends; `after` may change
// the state after each one. A title pass that runs a game ends after the game's frames.
inline std::vector<Pass> Play(const std::string& script, std::uint64_t seed = 1,
                              const std::function<void(const std::vector<Pass>&)>& after = {}) {
  std::vector<Pass> passes;
  SimOptions options;
  options.seed = seed;
  options.afterPass = [&](Loop loop, bool endsGame) {
    passes.push_back({loop, endsGame, static_cast<SimWindow*>(Main)->Clock(), G});
    if (after) after(passes);
  };
  RunSimulation(ParseScript(script), options);
  return passes;
}

inline std::size_t FirstWhere(const std::vector<Pass>& passes, const std::function<bool(const Pass&)>& is) {
  return static_cast<std::size_t>(std::find_if(passes.begin(), passes.end(), is) - passes.begin());
}

// Whether every inked pixel of the sprite sheet's 32 x 32 cell at (sx, sy) shows in the canvas at (x, y), as far
// as the canvas reaches.
inline bool Drawn(int x, int y, int sx, int sy) {
  for (int j = 0; j < 32; ++j)
    for (int i = 0; i < 32; ++i) {
      const Colour s = Main->Chr.Pixel(sx + i, sy + j);
      if (x + i >= 0 && y + j >= 0 && x + i < 320 && y + j < 320 && (Main->Crt.Pixel(x + i, y + j) & s) != s) return false;
    }
  return true;
}

}  // namespace zorva
