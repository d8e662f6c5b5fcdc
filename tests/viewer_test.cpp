// Watching a demo: after any sequence of seeks, steps and speed changes the
// frame the playback stands on has the picture and the state a straight
// playback has there, and the verdict is a straight playback's, whatever the
// viewer did.
#include "demo/viewer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <cmath>
#include <map>
#include <set>
#include <sstream>
#include <tuple>
#include <vector>

#include "base/rnd.h"
#include "run/run.h"
#include "tests/file_support.h"
#include "sim/replay.h"
#include "sim/script.h"

namespace zorva {
namespace {

// Five games, each ending at its GAME OVER (with SPACE held, which starts the
// next at once), the last followed by the title screen.
constexpr const char* kFiveGames = "2 -\n1 tap:SPACE\n100 RIGHT SPACE\n300 SPACE\n1 -\n1 tap:SPACE\n40 -\n1 tap:SPACE\n500 SPACE\n30 -\n";

// What a frame shows: its state, the random state and the canvas's hash.
struct Shown {
  std::vector<double> values;
  std::uint64_t rnd = 0, canvas = 0;
  std::int64_t demoClock = 0;
  double fileByte = 0;
  int game = 0;
  bool operator==(const Shown& o) const { return std::tie(values, rnd, canvas) == std::tie(o.values, o.rnd, o.canvas); }
};

Shown Now(const DemoPlayer& player) {
  Shown s{{}, RndState(), CanvasHash(Main->Crt), player.DemoClock(), player.FileBytesRead(), player.Game()};
  EachVariable(G, [&](const Variable&, const auto& member) {
    EachSlot(member, [&](auto x) { s.values.push_back(static_cast<double>(x)); });
  });
  return s;
}

struct Recorded {
  explicit Recorded(const char* script = kFiveGames, const char* name = "five") : dir(name) { Record(script); }
  TempDir dir;
  std::string demo = (dir.path / "run.zdm").string();
  std::map<std::int64_t, Shown> straight;  // every frame of a straight playback
  std::set<std::int64_t> ends;             // the frames that end a game (they show the frame before)
  PlaybackResult result;                   // of the straight playback
  void Record(const char* script) {
    SimOptions options;
    options.seed = 7, options.record = demo;
    RunSimulation(ParseScript(script), options);
    std::ifstream in(demo, std::ios::binary);
    DemoReader reader(in);
    DemoPlayer player(reader, false);
    SimOptions watch;
    watch.afterPass = [&](Loop, bool endsGame) {
      straight[player.Frame()] = Now(player);
      if (endsGame) ends.insert(player.Frame());
    };
    result = RunPlayback(player, watch);
  }
};

const Recorded& Five() {
  static const Recorded run;
  return run;
}

TEST(Viewer, EveryFrameReachedIsTheStraightPlaybacksFrame) {
  using C = ViewCommand;
  const Recorded& r = Five();
  const std::int64_t last = r.straight.rbegin()->first;
  const std::int64_t firstOfGame2 = *r.ends.begin() + 1;
  // A step: a command, or a seek to a frame (0: none) or to a fraction of the bar (< 0: none).
  struct Step {
    C command = C::None;
    std::int64_t frame = 0;
    double fraction = -1;
  };
  const struct {
    const char* what;
    std::vector<Step> steps;
    std::vector<std::int64_t> frames;  // where the playback stands after each step (-1: the first frame at or past
                                       // the demo clock 5 s after the step before's, -2: 5 s before, -3: the first
                                       // frame at or past half the file)
  } cases[] = {
      {"forward, back, to the first frame", {{C::None, 300}, {C::None, 12}, {C::ToStart}}, {300, 12, 1}},
      {"on from a snapshot past the frame", {{C::ToEnd}, {C::ToStart}, {C::None, 300}, {C::Forward5s}}, {last, 1, 300, -1}},
      {"a frame back and on, across a snapshot", {{C::None, 257}, {C::StepBack}, {C::StepBack}, {C::StepForward}}, {257, 256, 255, 256}},
      {"across a game's end and back", {{C::None, firstOfGame2 - 2}, {C::NextGame}, {C::PreviousGame}}, {firstOfGame2 - 2, firstOfGame2, 1}},
      {"onto the GAME OVER screen", {{C::None, firstOfGame2 - 30}, {C::StepForward}}, {firstOfGame2 - 30, firstOfGame2 - 29}},
      {"by the game's clock", {{C::None, 400}, {C::Back5s}, {C::Forward5s}}, {400, -2, -1}},
      {"a speed, then to the end and back", {{C::Faster}, {C::ToEnd}, {C::StepBack}}, {2, last, last - 1}},
      {"by the bar, back and on", {{C::ToEnd}, {C::Slower, 0, 0.5}, {C::None, 0, 0.0}, {C::None, 0, 0.5}}, {last, -3, 1, -3}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::ifstream in(r.demo, std::ios::binary);
    DemoReader reader(in, 4096);
    DemoPlayer player(reader, false);
    // Snapshots at every frame at first, thinned to stay within 64 KiB.
    Viewer viewer(static_cast<std::uint64_t>(fs::file_size(r.demo)), 1, 64 * 1024);
    player.viewer = &viewer;
    viewer.SetPaused(true);
    viewer.SeekToFrame(1);
    std::size_t step = 0;
    std::int64_t clockBefore = 0;
    viewer.onStanding = [&](std::int64_t frame) {
      if (step > 0) {
        const std::int64_t want = c.frames[step - 1];
        const auto first = [&](auto past) { return std::find_if(r.straight.begin(), r.straight.end(), [&](const auto& f) { return past(f.second); })->first; };
        const auto clock = [&](std::int64_t ms) { return first([ms](const Shown& f) { return f.demoClock >= ms; }); };
        const double half = static_cast<double>(fs::file_size(r.demo)) / 2;
        EXPECT_EQ(frame, want == -1 ? clock(clockBefore + 5000) : want == -2 ? clock(clockBefore - 5000)
                         : want == -3 ? first([half](const Shown& f) { return f.fileByte >= half; }) : want) << "step " << step;
        EXPECT_TRUE(r.ends.count(frame) || Now(player) == r.straight.at(frame)) << "frame " << frame << " step " << step;
      }
      clockBefore = player.DemoClock();
      if (step == c.steps.size()) return viewer.SetPaused(false);
      const Step& s = c.steps[step++];
      viewer.Ask(s.command);
      if (s.frame > 0) viewer.SeekToFrame(s.frame);
      if (s.fraction >= 0) viewer.SeekToFraction(s.fraction);
    };
    const PlaybackResult result = RunPlayback(player, SimOptions{});
    EXPECT_EQ(step, c.steps.size());
    EXPECT_EQ(std::pair(result.games, result.frames), std::pair(r.result.games, r.result.frames));
    EXPECT_TRUE(viewer.SnapshotBytes() > 0 && viewer.SnapshotBytes() <= 64 * 1024 && viewer.SnapshotEvery() > 1);
  }
}

// A demo whose last game was closed while it ran ends inside that frame: the
// end a viewer goes to is the frame before, its last whole one.
TEST(Viewer, TheEndOfADemoClosedInAGameIsItsLastWholeFrame) {
  const Recorded closed("2 -\n1 tap:SPACE\n100 RIGHT SPACE\n300 SPACE\n1 -\n1 tap:SPACE\n40 -\n1 close\n", "closed");
  std::ifstream in(closed.demo, std::ios::binary);
  DemoReader reader(in, kDemoResumeEvery);
  DemoPlayer player(reader, false);
  Viewer viewer(static_cast<std::uint64_t>(fs::file_size(closed.demo)));
  player.viewer = &viewer;
  viewer.SetPaused(true);
  viewer.Ask(ViewCommand::ToEnd);
  std::vector<std::int64_t> stood;
  viewer.onStanding = [&](std::int64_t frame) {
    stood.push_back(frame);
    EXPECT_TRUE(Now(player) == closed.straight.at(frame)) << frame;
    if (stood.size() == 2) viewer.Ask(ViewCommand::StepBack);
    if (stood.size() == 3) viewer.SetPaused(false);
  };
  const PlaybackResult result = RunPlayback(player, SimOptions{});
  EXPECT_EQ(stood, (std::vector<std::int64_t>{1, result.frames - 1, result.frames - 2}));
  EXPECT_EQ(std::pair(result.games, result.stopped), std::pair(3, false));
}

// zorva-sim --play --from N --to M writes the records of those frames alone, as the whole dump has them.
TEST(Viewer, ARangeOfFramesIsDumpedAsTheWholeDumpHasIt) {
  const Recorded& r = Five();
  const auto dump = [&](std::int64_t from, std::int64_t to) {
    std::ifstream in(r.demo, std::ios::binary);
    DemoReader reader(in, kDemoResumeEvery);
    DemoPlayer player(reader, false);
    std::ostringstream out;
    SimOptions options;
    options.dump = &out, options.from = from, options.to = to;
    const PlaybackResult result = RunPlayback(player, options);
    std::vector<std::string> lines;
    std::istringstream text(out.str());
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return std::pair(lines, result.stopped);
  };
  const auto [whole, ended] = dump(0, 0);
  const std::int64_t game2 = *r.ends.begin() + 1;
  for (const auto& [from, to] : {std::pair<std::int64_t, std::int64_t>{1, 10}, {300, 320}, {game2 - 2, game2 + 2}}) {
    const auto [part, stopped] = dump(from, to);
    EXPECT_EQ(part, std::vector<std::string>(whole.begin() + from - 1, whole.begin() + to)) << from << ".." << to;
    EXPECT_TRUE(stopped && !ended);
  }
}

// A damaged file says the same, whatever the viewer does: a seek past the
// damage reports the damage.
TEST(Viewer, ADamagedOrForgedFileGetsItsVerdictWhateverTheViewerDoes) {
  const Recorded& r = Five();
  const Bytes whole = ReadBytes(r.demo);
  const std::string cut = WriteBytes(r.dir.path / "cut.zdm", Bytes(whole.begin(), whole.begin() + static_cast<long>(whole.size() / 2)));
  Bytes flipped = whole;
  flipped[flipped.size() * 3 / 4] ^= 0x20;
  const std::string damaged = WriteBytes(r.dir.path / "damaged.zdm", flipped);
  for (const std::string& demo : {r.demo, cut, damaged}) {
    const auto play = [&](bool watched) {
      return PlayDemoFile("zorva-sim", demo, false, true, [&](DemoPlayer& player) {
        Viewer viewer(whole.size());
        if (watched) {
          player.viewer = &viewer;
          viewer.SeekToFrame(100000);  // past the end, and past the damage
          viewer.onStanding = [&](std::int64_t) { viewer.Ask(ViewCommand::ToStart), viewer.SetPaused(false); };
        }
        return RunPlayback(player, SimOptions{});
      });
    };
    const Verdict straight = play(false), watched = play(true);
    EXPECT_EQ(watched.status, straight.status) << demo;
    ASSERT_FALSE(straight.lines.empty());
    EXPECT_EQ(watched.lines.back().text, straight.lines.back().text) << demo;
  }
}

}  // namespace
}  // namespace zorva
