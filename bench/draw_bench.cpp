// The cost of drawing: single block transfers, and the busiest frame the game
// can compose, against a plain memcpy of the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "base/rnd.h"
#include "present/images.h"
#include "present/sprites.h"
#include "present/starfield.h"
#include "present/status.h"
#include "rules/blasts.h"
#include "rules/formation.h"
#include "rules/shots.h"
#include "rules/state.h"
#include "sim/sim_window.h"

namespace zorva {
namespace {

struct Scene {
  SimWindow window;
  Window* saved = Main;
  Scene() {
    LoadWindowImages(window);
    Main = &window;
    ResetGameState();
    ResetRnd();
    MakeStarfield();
  }
  ~Scene() { Main = saved; }
};

void BM_BitBlt(benchmark::State& state) {
  Scene scene;
  const int size = static_cast<int>(state.range(0));
  const std::uint32_t rop = state.range(1) == 0 ? SRCCOPY : SRCPAINT;
  for (auto _ : state) {
    BitBlt(Main->Crt, 0, 0, size, size, Main->BG, 0, 0, rop);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * size * size * 4);
  state.SetLabel(rop == SRCCOPY ? "SRCCOPY" : "SRCPAINT");
}
BENCHMARK(BM_BitBlt)->Args({32, 0})->Args({32, 1})->Args({320, 0})->Args({320, 1});

void BM_MemcpyCanvas(benchmark::State& state) {
  std::vector<Colour> a(320 * 320, 1), b(320 * 320, 2);
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), a.size() * sizeof(Colour));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(a.size() * sizeof(Colour)));
}
BENCHMARK(BM_MemcpyCanvas);

// Starfield, ship, 24 enemies, 9 shots, 21 bullets and the status line.
void BM_BusiestFrame(benchmark::State& state) {
  Scene scene;
  G.PlayerX = 146;
  G.PlayerY = 288;
  PlaceFormation();
  ResetWave();
  G.BulletTop = 20;
  GameState start = G;
  for (int i = 0; i < kShotSlots; ++i) {
    start.ShotActive[i] = 1;
    start.ShotX[i] = static_cast<std::int16_t>(20 + 30 * i);
    start.ShotY[i] = 250;
  }
  for (int i = 0; i < kBulletSlotsInPlay; ++i) {
    start.BulletActive[i] = 1;
    start.BulletX[i] = static_cast<float>(5 + 14 * i);
    start.BulletY[i] = 180;
    start.BulletDY[i] = 3;
  }
  for (auto _ : state) {
    G = start;
    ScrollStarfield();
    DrawPlayer();
    DrawEnemies();
    UpdateShotsAndBullets();
    DrawStatusLine();
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_BusiestFrame);

}  // namespace
}  // namespace zorva
