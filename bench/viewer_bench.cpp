// Watching a one-hour demo (260 games left alone, about 116,000 frames): its
// playback straight and with the viewer's snapshots, and seeks to frames
// anywhere in it once it has been read, with the memory the snapshots take.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "demo/viewer.h"
#include "sim/replay.h"
#include "sim/script.h"

namespace zorva {
namespace {

const std::string& OneHourDemo() {
  static const std::string path = [] {
    const std::string demo = (std::filesystem::temp_directory_path() / "zorva-bench-hour.zdm").string();
    std::string text;
    for (int i = 0; i < 260; ++i) text += "1 SPACE\n700 -\n";
    SimOptions options;
    options.seed = 1, options.record = demo;
    RunSimulation(ParseScript(text), options);
    return demo;
  }();
  return path;
}

// Plays the demo through, with a viewer when `watched`; the frames played.
std::int64_t PlayThrough(bool watched) {
  std::ifstream in(OneHourDemo(), std::ios::binary);
  DemoReader reader(in, kDemoResumeEvery);
  DemoPlayer player(reader, false);
  Viewer viewer(std::filesystem::file_size(OneHourDemo()));
  if (watched) player.viewer = &viewer;
  return RunPlayback(player, SimOptions{}).frames;
}

void BM_PlayOneHour(benchmark::State& state) {
  OneHourDemo();  // recorded before the clock runs
  std::int64_t frames = 0;
  for (auto _ : state) frames += PlayThrough(state.range(0) != 0);
  state.counters["frames_per_second"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
  state.SetLabel(state.range(0) != 0 ? "read and snapshotted" : "straight");
}
BENCHMARK(BM_PlayOneHour)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

// Once the whole file has been read (a seek to its end), 200 seeks to frames
// drawn at random: the time from each seek asked to the playback standing on
// its frame.
void BM_SeekAnywhere(benchmark::State& state) {
  std::vector<double> ms;
  std::uint64_t memory = 0;
  std::int64_t every = 0;
  for (auto _ : state) {
    std::ifstream in(OneHourDemo(), std::ios::binary);
    DemoReader reader(in, kDemoResumeEvery);
    DemoPlayer player(reader, false);
    Viewer viewer(std::filesystem::file_size(OneHourDemo()));
    player.viewer = &viewer;
    std::mt19937_64 random(5);
    std::int64_t last = 0;
    auto asked = std::chrono::steady_clock::now();
    viewer.SetPaused(true);
    viewer.Ask(ViewCommand::ToEnd);
    viewer.onStanding = [&](std::int64_t frame) {
      const auto now = std::chrono::steady_clock::now();
      if (last == 0 && frame > 1) last = frame;  // at the end: the file is read
      if (last == 0) return;
      if (ms.size() < 201) ms.push_back(std::chrono::duration<double, std::milli>(now - asked).count());
      if (ms.size() == 201) {
        memory = viewer.SnapshotBytes() + reader.ResumeBytes(), every = viewer.SnapshotEvery();
        return viewer.Ask(ViewCommand::ToEnd), viewer.SetPaused(false);
      }
      asked = std::chrono::steady_clock::now();
      viewer.SeekToFrame(std::uniform_int_distribution<std::int64_t>(1, last)(random));
    };
    RunPlayback(player, SimOptions{});
  }
  ms.erase(ms.begin());  // the seek to the end, which reads the file
  std::sort(ms.begin(), ms.end());
  state.counters["seek_ms_median"] = ms[ms.size() / 2];
  state.counters["seek_ms_p99"] = ms[ms.size() * 99 / 100];
  state.counters["seek_ms_max"] = ms.back();
  state.counters["snapshot_MiB"] = static_cast<double>(memory) / (1 << 20);
  state.counters["snapshot_every"] = static_cast<double>(every);
}
BENCHMARK(BM_SeekAnywhere)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace zorva
