// Verified games: real recordings verify; games forged the way a cheater
// would (a build that starts games from a forged state, so that every frame
// check agrees with the file, or a file edited record by record) are refused
// with the first thing the rules do not allow.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <functional>
#include <fstream>

#include "base/rnd.h"
#include "demo/demo.h"
#include "sim/replay.h"
#include "sim/script.h"
#include "tests/file_support.h"

namespace zorva {
namespace {

using Kind = DemoReader::Kind;

// Game 1 ends at its GAME OVER with SPACE held, which starts game 2 at once;
// game 3 is closed while it runs. WAIT stays checked.
constexpr const char* kScript = "2 -\n1 tap:SPACE\n100 RIGHT SPACE\n300 SPACE\n1 -\n1 tap:SPACE\n40 -\n1 close\n";

TempDir& Dir() {
  static TempDir dir{"verify"};
  return dir;
}

// Records the script with `forge` applied at the end of every title pass
// before game `game` starts.
std::string Record(const std::string& name, int game = 0, const std::function<void()>& forge = nullptr) {
  const std::string path = (Dir().path / name).string();
  int started = 1;
  SimOptions options;
  options.seed = 5, options.record = path;
  options.afterPass = [&](Loop loop, bool endsGame) {
    if (endsGame) ++started;
    if (loop == Loop::Title && started == game) forge();
  };
  RunSimulation(ParseScript(kScript), options);
  return path;
}

// Copies a demo record by record through `edit`, which may change a record
// (the frame counts the demo's frames from 1) or drop it by returning false.
using Edit = std::function<bool(DemoReader::Event&, std::int64_t frame, GameStart&, Trailer&)>;
std::string Copy(const std::string& from, const std::string& name, const Edit& edit) {
  const std::string to = (Dir().path / name).string();
  std::vector<std::uint16_t> checks;
  std::optional<DemoWriter> out;
  for (int pass = 0; pass < 2; ++pass) {
    std::ifstream in(from, std::ios::binary);
    DemoReader r(in);
    std::size_t ended = 0;
    for (DemoReader::Event e = r.Next(); e.kind != Kind::End; e = r.Next()) {
      GameStart start = r.Start();
      Trailer end = r.End();
      if (!out && e.kind == Kind::Checks) checks.insert(checks.end(), r.Checks().begin(), r.Checks().begin() + e.value);
      if (!out || !edit(e, static_cast<std::int64_t>(ended) + 1, start, end)) continue;
      if (e.kind == Kind::GameStart) out->StartGame(start);
      if (e.kind == Kind::Clock || e.kind == Kind::Wait) out->Clock(e.value, e.kind == Kind::Wait);
      if (e.kind == Kind::Key) out->Key(static_cast<std::int16_t>(e.value));
      if (e.kind == Kind::Pump) e.closed ? out->Close(e.waitMark, e.value) : out->Pump(e.waitMark);
      if (e.kind == Kind::FrameEnd) out->FrameEnd(checks[ended++]);
      if (e.kind == Kind::GameEnd) out->EndGame(end);
    }
    if (!out) out.emplace(to);
  }
  return to;
}

struct Outcome {
  int status;
  std::string said;  // standard output and error
};

Outcome Verify(const std::string& demo) {
  const std::string command = "'" ZORVA_BINARY_DIR "/zorva-sim' --verify '" + demo + "' >'" + demo + ".out' 2>&1";
  const int raw = std::system(command.c_str());
  const Bytes said = ReadBytes(demo + ".out");
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, std::string(said.begin(), said.end())};
}

TEST(Verify, RealGamesVerifyAndForgedOnesAreRefusedWithTheirReason) {
  const std::string real = Record("real.zdm"), corpus = ZORVA_SOURCE_DIR "/tests/fuzz/corpus/demo_fuzz/";
  const std::string refused = "not a game the rules allow: ";
  std::int64_t before = 0;  // the frame's last reading before its wait
  bool waited = false;
  const struct {
    std::string demo, said;
    int status = 1;
  } cases[] = {
      {real, "game 1: score 50, 254 frames, last canvas 35965f1fbeba60d8: verified, WAIT checked throughout\n", 0},
      {corpus + "game_over.zdm", "game 1: score 0, 113 frames, last canvas cd620587ec218bd1: verified, WAIT checked", 0},
      {corpus + "wait_and_close.zdm", "verified, WAIT not always checked\n", 0},
      {Record("from_before.zdm", 1, [] { G.HiScore = 900; }),
       "verified, WAIT checked throughout; the file begins after other games, whose best score is taken as it is", 0},
      {Record("gate.zdm", 1, [] { G.MarchNext = G.MarchLast + 1000000; }),
       "game 1: " + refused + "the formation's step gate is 999,990 ms ahead of the clock"},
      {Record("blast.zdm", 2, [] { G.BlastLast -= 7; }),
       "game 2: " + refused + "the explosions' gate differs from what game 1 left (BlastLast)"},
      {Record("shots.zdm", 1, [] { G.ShotActive[3] = 1, G.ShotX[3] = 146, G.ShotY[3] = 200; }),
       "game 1: " + refused + "the shots differ from what the program's start left (ShotX)"},
      {Record("bullets.zdm", 2, [] { G.BulletActive[7] = 1; }),
       "game 2: " + refused + "the bullets differ from what game 1 left (BulletActive)"},
      {Record("best.zdm", 2, [] { G.HiScore = 30000; }),
       "game 2: " + refused + "the best score differs from what game 1 left (HiScore)"},
      {Record("carried_shots.zdm", 1, [] { G.HiScore = 10, G.ShotActive[0] = 1; }),
       "game 1: " + refused + "the shots are in flight as the first game of the file starts"},
      {Record("rnd.zdm", 2, [] { SetRndState(RndState() ^ 1); }),
       "game 2: " + refused + "the random state is not the one game 1 left"},
      {Copy(real, "scroll.zdm",
            [](auto& e, auto, auto& s, auto&) { return e.kind != Kind::GameStart || (s.state.ScrollY = 320, true); }),
       "the file is damaged (ScrollY 320 is out of range)", 2},
      {Copy(real, "back.zdm", [](auto& e, auto frame, auto&, auto&) {
         return frame != 250 || e.kind != Kind::Clock || (e.value -= 5000, true);
       }), "game 1: " + refused + "the clock goes back from 8,739 to 3,739 ms in frame 250"},
      {Copy(real, "unpaced.zdm",
            [&](auto& e, auto frame, auto&, auto&) {
              if (frame != 20 || e.kind == Kind::Wait) return frame != 20 || !(waited = true);
              if (e.kind == Kind::Clock) e.value = waited ? before : (before = e.value);
              return true;
            }),
       "game 1: " + refused + "frame 20 is paced by WAIT but lasts 5 ms, less than the wait allows"},
      {Copy(real, "trailer.zdm", [](auto& e, auto frame, auto&, auto& t) {
         return e.kind != Kind::GameEnd || frame != 255 || (t.score = 6000, true);
       }), "game 1: " + refused + "it ends with score 50, 254 frames, last canvas 35965f1fbeba60d8, its trailer says "
            "score 6000, 254 frames"},
  };
  for (const auto& c : cases) {
    const Outcome o = Verify(c.demo);
    EXPECT_EQ(o.status, c.status) << c.demo << ": " << o.said;
    EXPECT_NE(o.said.find(c.said), std::string::npos) << c.demo << ": " << o.said;
  }
}

}  // namespace
}  // namespace zorva
