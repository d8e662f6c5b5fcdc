// A simulated window installed as `Main` for the length of one test, with the
// game's state and random sequence at their start.
#pragma once

#include <cstdint>

#include "base/rnd.h"
#include "base/window.h"
#include "rules/state.h"
#include "sim/sim_window.h"

namespace zorva {

struct SimMain {
  explicit SimMain(std::int64_t clockStart = 1000, std::int64_t work = 5) : sim(clockStart, work), saved_(Main) {
    Main = &sim;
    ResetGameState();
    ResetRnd();
  }
  ~SimMain() {
    Main = saved_;
    ResetGameState();
    ResetRnd();
  }
  SimMain(const SimMain&) = delete;
  SimMain& operator=(const SimMain&) = delete;

  SimWindow sim;

 private:
  Window* saved_;
};

}  // namespace zorva
