// Simulator throughput: continuous play, SPACE held, the ship sweeping, game
// after game, at the timing of a real game without the pacing wait.
#include <benchmark/benchmark.h>

#include <string>

#include "sim/replay.h"
#include "sim/script.h"

namespace zorva {
namespace {

void BM_SimContinuousPlay(benchmark::State& state) {
  std::string text = "1 SPACE wait\n";
  for (int i = 0; i < 250; ++i) text += "40 SPACE RIGHT\n40 SPACE LEFT\n";
  const auto script = ParseScript(text);
  SimOptions options;
  options.work = 31;
  options.seed = 1;
  std::int64_t frames = 0;
  for (auto _ : state) frames += RunSimulation(script, options).frames;
  state.counters["frames_per_second"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SimContinuousPlay)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zorva
