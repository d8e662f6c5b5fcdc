// Demos: a recorded run plays back to the same records, a changed key is
// found at its frame, hostile files get one line and status 2, and games
// verify or are refused with the rule they break.
#include "demo/demo.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <tuple>
#include <utility>

#include "base/rnd.h"
#include "tests/file_support.h"
#include "sim/replay.h"
#include "sim/script.h"

namespace zorva {
namespace {

using Kind = DemoReader::Kind;

// Game 1 (WAIT off from the title screen, on again during it) ends after its
// GAME OVER; game 2 is closed while it runs. RIGHT is held in frames 1..100.
struct Recorded {
  TempDir dir{"demo"};
  std::string demo = (dir.path / "run.zdm").string();
  std::string games;  // the records of the game passes
  Recorded() {
    std::ostringstream out;
    SimOptions options;
    options.seed = 5, options.record = demo, options.dump = &out;
    RunSimulation(ParseScript("1 wait\n1 tap:SPACE\n100 RIGHT SPACE\n1 wait\n50 LEFT\n400 -\n1 SPACE\n5 -\n60 SPACE\n1 close\n"),
                  options);
    std::istringstream dump(out.str());
    for (std::string line; std::getline(dump, line);) {
      if (line.find("\"loop\":\"game\"") != std::string::npos) games += line + "\n";
    }
  }
};

const Recorded& Recording() {
  static const Recorded run;
  return run;
}

std::string In(const std::string& name) { return (Recording().dir.path / name).string(); }

// A shell command's status and standard error (a minute at most); LastOut has its standard output.
std::string LastOut(const std::string& name = "out") {
  const Bytes text = ReadBytes(In(name));
  return {text.begin(), text.end()};
}

std::pair<int, std::string> Shell(const std::string& command) {
  const int raw = std::system(("timeout 60 " + command + " >'" + In("out") + "' 2>'" + In("errors") + "'").c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, LastOut("errors")};
}

const std::string kSim = Command(ZORVA_BINARY_DIR "/zorva-sim");

// zorva-sim --play (or `how`): the exit status and what it wrote to standard error.
std::pair<int, std::string> Play(const std::string& demo, const std::string& how = "--play") {
  return Shell(kSim + " " + how + " '" + demo + "'");
}

// The games a reader plays back, as zorva-sim dumps their passes, and how many.
std::pair<std::string, int> PlayedBack(DemoReader& reader) {
  DemoPlayer player(reader, false);
  std::ostringstream dump;
  SimOptions options;
  options.dump = &dump;
  const PlaybackResult result = RunPlayback(player, options);
  EXPECT_FALSE(result.stopped);
  return {dump.str(), result.games};
}

// Read from a file as a stream, or from its bytes in memory.
TEST(Demo, PlaybackWritesTheRecordedGamesPassForPass) {
  const Bytes bytes = ReadBytes(Recording().demo);
  for (const bool memory : {false, true}) {
    std::ifstream in(Recording().demo, std::ios::binary);
    MemorySource source(bytes);
    std::optional<DemoReader> reader;
    memory ? reader.emplace(source) : reader.emplace(in);
    EXPECT_EQ(PlayedBack(*reader), std::pair(Recording().games, 2)) << (memory ? "memory" : "stream");
  }
}

// A reader goes back to any place it has been and reads on from there alike,
// however many points it keeps to go back to.
TEST(Demo, AReaderGoesBackToWhereItWasAndReadsTheSameRecords) {
  for (const std::uint64_t every : {std::uint64_t{8}, std::uint64_t{1} << 20}) {
    std::ifstream in(Recording().demo, std::ios::binary);
    DemoReader reader(in, every);
    std::vector<std::tuple<Kind, std::int64_t, bool>> events;
    std::vector<std::pair<std::size_t, DemoReader::Mark>> marks;
    for (DemoReader::Event e{Kind::GameStart}; e.kind != Kind::End;) {
      if (events.size() % 97 == 0) marks.emplace_back(events.size(), reader.Here());
      e = reader.Next();
      events.emplace_back(e.kind, e.value, e.waitMark);
    }
    EXPECT_EQ(reader.ResumeBytes() > 40 * 1024 * kDemoMostResumes / 2, every == 8) << reader.ResumeBytes();
    for (auto it = marks.rbegin(); it != marks.rend(); ++it) {
      reader.Return(it->second);
      for (std::size_t i = it->first; i < std::min(events.size(), it->first + 300); ++i) {
        const DemoReader::Event e = reader.Next();
        ASSERT_EQ(std::tuple(e.kind, e.value, e.waitMark), events[i]) << "record " << i << " read again from " << it->first;
      }
    }
  }
}

// Copies a demo record by record through `edit`, which may change a record
// (the frame counts the demo's frames from 1) or drop it by returning false.
using Edit = std::function<bool(DemoReader::Event&, std::int64_t frame, GameStart&, Trailer&)>;
// With `memory`, the copy is written there instead.
std::string Copy(const std::string& from, const std::string& name, const Edit& edit, Bytes* memory = nullptr) {
  std::vector<std::uint16_t> checks;
  std::optional<DemoWriter> out;
  for (int pass = 0; pass < 2; ++pass) {
    std::ifstream in(from, std::ios::binary);
    DemoReader r(in);
    std::size_t ended = 0;
    for (DemoReader::Event e = r.Next(); e.kind != Kind::End; e = r.Next()) {
      GameStart start = r.Start();
      Trailer end = r.LastTrailer();
      if (!out && e.kind == Kind::Checks) checks.insert(checks.end(), r.Checks().begin(), r.Checks().begin() + e.value);
      if (!out || !edit(e, static_cast<std::int64_t>(ended) + 1, start, end)) continue;
      if (e.kind == Kind::GameStart) out->StartGame(start);
      if (e.kind == Kind::Clock || e.kind == Kind::Wait) out->Clock(e.value, e.kind == Kind::Wait);
      if (e.kind == Kind::Key) out->Key(static_cast<std::int16_t>(e.value));
      if (e.kind == Kind::Pump) e.closed ? out->Close(e.waitMark, e.value) : out->Pump(e.waitMark);
      if (e.kind == Kind::FrameEnd) out->FrameEnd(checks[ended++]);
      if (e.kind == Kind::GameEnd) out->EndGame(end);
    }
    if (!out && memory != nullptr) out.emplace(std::make_unique<MemoryOutput>(*memory));
    if (!out) out.emplace(In(name));
  }
  return In(name);
}

// A demo written to memory holds what the file holds, and reads from there
// (after a seek back, too) as the file does.
TEST(Demo, ADemoWrittenToMemoryIsTheFileByteForByte) {
  const auto same = [](auto&&...) { return true; };
  Bytes memory;
  const Bytes file = ReadBytes(Copy(Recording().demo, "copy.zdm", same));
  Copy(Recording().demo, "unwritten.zdm", same, &memory);
  EXPECT_EQ(memory, file);
  EXPECT_FALSE(std::filesystem::exists(In("unwritten.zdm")));
  MemorySource source(memory);
  DemoReader reader(source, 8);
  const DemoReader::Mark start = reader.Here();
  for (int time = 0; time < 2; ++time) {
    EXPECT_EQ(PlayedBack(reader), std::pair(Recording().games, 2)) << "time " << time;
    reader.Return(start);
  }
}

// A copy with the first key poll of `frame` answered `answer`.
std::string CopyWithKey(const std::string& name, std::int64_t frame, std::int16_t answer) {
  return Copy(Recording().demo, name, [&, polled = false](auto& e, auto f, auto&, auto&) mutable {
    if (f == frame && e.kind == Kind::Key && !std::exchange(polled, true)) e.value = answer;
    return true;
  });
}

TEST(Demo, AChangedKeyIsADesyncAtItsFrame) {
  // RIGHT is polled first; at frame 10 the ship is far from the edge.
  EXPECT_EQ(Play(CopyWithKey("same.zdm", 10, static_cast<std::int16_t>(0x8000))).first, 0);
  const auto [status, errors] = Play(CopyWithKey("key.zdm", 10, 0));
  EXPECT_EQ(status, 1);
  EXPECT_NE(errors.find(": desync at frame 10 ("), std::string::npos) << errors;
}

// A demo of the given format around `records`.
std::string Pack(const std::string& records, int format = kDemoFormat) {
  std::string packed(compressBound(records.size()), '\0');
  uLongf size = packed.size();
  compress(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(records.data()),
           records.size());
  return std::string(kDemoMagic, 8) + char(format) + '\0' + packed.substr(0, size);
}

// The records of a demo that starts a game in `state` at `clock`.
std::string StartRecords(const GameState& state, std::int64_t clock = 1000) {
  {
    DemoWriter writer(In("start.zdm"));
    writer.StartGame({0, clock, 1, 2, true, state});
    writer.EndGame({});
  }
  const Bytes file = ReadBytes(In("start.zdm"));
  std::string records(1 << 16, '\0');
  uLongf size = records.size();
  uncompress(reinterpret_cast<Bytef*>(records.data()), &size, file.data() + 10, file.size() - 10);
  return records.substr(0, size - 11);  // without the game's end
}


TEST(Demo, HostileFilesGetOneLineAndStatusTwo) {
  const Bytes whole = ReadBytes(Recording().demo);
  const std::string demo(whole.begin(), whole.end()), start = StartRecords(GameState{}), bad = "the file is damaged (";
  GameState farScroll = [] { GameState g; g.ScrollY = 5000; return g; }();
  const std::string farStart = StartRecords(GameState{}, -(std::int64_t{1} << 62));
  const std::size_t half = demo.size() / 2;
  const auto repeat = [](const std::string& s, int n) { std::string out; while (n-- > 0) out += s; return out; };
  const std::pair<std::string, std::string> cases[] = {
      {"", "not a ZORVA demo"},
      {Pack(start, 2), "demo format 2 is not known here (this program reads format 1)"},
      {demo.substr(0, 10) + "not zlib at all", bad + "incorrect header check)"},
      {demo.substr(0, demo.size() / 2), "the file ends early, at frame "},
      {demo + "x", bad + "bytes after its end)"},
      {Pack(""), "the demo holds no games"},
      {Pack(start), "the demo ends in the middle of a game"},
      {Pack("\x01"), bad + "a record outside a game)"},
      {Pack(start + "\xBF\x80\x80\x80\x80\x80\x20"), bad + "a repeat count out of range)"},
      {Pack(start + "\x3F" + std::string(10, '\xFF') + "\x01"), bad + "a number longer than 64 bits)"},
      {Pack(start + "\x3F\xFE\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x01"), bad + "a clock reading out of range)"},
      {Pack(start + "\x3F\x01"), bad + "a clock reading earlier than the one before)"},
      // Readings at the limits of what a game's start allows, then one beyond.
      {Pack(farStart + "\x7F\x80\x80\x80\x80\x80\x80\x80\x80\x80\x01"), bad + "a clock reading out of range)"},
      // A busy wait fed readings that never advance.
      {Pack(start + "\x40" + repeat("\xBF\x80\x20", 100000)), bad + "more records in a frame than the game makes)"},
      // Frames by the million, found after the playback leaves them at once.
      {Pack(start + repeat(std::string(64, '\xD0') + "\xD8\x40" + std::string(128, '\0'), 100000)),
       bad + "more frames than a file of its size holds), after the playback left it at frame 1"},
      // A byte of the stream changed: the playback may leave the recording first, but damage it is.
      {demo.substr(0, half) + char(demo[half] ^ 0x10) + demo.substr(half + 1), bad},
      {Pack(start + "\xD8\x01\x00\x00"), bad + "checks of frames that did not end)"},
      {Pack(start + "\xF7"), bad + "an unknown record 0xF7)"},
      {Pack(start + "\xC4\x34\x12"), bad + "a key poll answered 0x1234, which no key gives)"},
      {Pack(StartRecords(farScroll)), bad + "ScrollY 5000 is out of range)"},
      {"huge", "the file is larger than 64 MiB, more than any demo"},
      {"fifo", "cannot read the demo: a FIFO"},
      {"", "cannot read the demo: a directory"},
      {"two\nlines", "cannot read the demo: No such file or directory"},  // shown on one line
      {"loop", "cannot read the demo: Too many levels of symbolic links"},
  };
  WriteBytes(In("huge"), {}), fs::resize_file(In("huge"), std::uintmax_t{3} << 30);
  mkfifo(In("fifo").c_str(), 0600), fs::create_symlink(In("loop"), In("loop"));
  int i = 0;
  for (const auto& [bytes, message] : cases) {
    const bool named = message.find("cannot read") == 0 || message.find("larger") != std::string::npos;
    const std::string path = named ? In(bytes) : WriteBytes(In("hostile" + std::to_string(i++)), Bytes(bytes.begin(), bytes.end()));
    const auto [status, errors] = Play(path);
    EXPECT_EQ(status, 2) << message;
    std::string shown;  // the path as the message shows it, its newline escaped
    for (const char ch : path) shown += ch == '\n' ? std::string("\\n") : std::string(1, ch);
    EXPECT_EQ(errors.rfind("zorva-sim: " + shown + ": " + message, 0), 0u) << errors;
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
  }
}

// Recording keeps the old file until a whole game is in, says at once what fails, never writes over its input.
TEST(Demo, RecordingLosesNothingAndReportsWhatFails) {
  const TempDir dir("record");
  const std::string old = (dir.path / "old.zdm").string(), script = (dir.path / "run.script").string();
  const std::string text = "1 wait\n1 tap:SPACE\n100 RIGHT SPACE\n1 wait\n50 LEFT\n400 -\n1 SPACE\n5 -\n60 SPACE\n400 LEFT SPACE\n";
  WriteBytes(script, Bytes(text.begin(), text.end()));
  const Bytes before = {'o', 'l', 'd'};
  // The shell's file size limit (in blocks of 512 bytes) stands for a full disk.
  const auto record = [&](const std::string& limit, const std::string& to) {
    WriteBytes(old, before);
    return Shell("sh -c \"trap '' XFSZ; ulimit -f " + limit + "; exec " + kSim + " --seed 5 --record '" + to +
               "' '" + script + "'\"");
  };
  const std::string notWritten = "zorva-sim: cannot write the demo " + old + ": File too large\n", unlimited = "unlimited";
  // File size limit, file named, message, status, whether the old demo stays, what playing the new one says.
  const std::tuple<std::string, std::string, std::string, int, bool, std::string> cases[] = {
      {unlimited, old, "", 0, false, "game 2: "},
      {"3", old, notWritten, 1, true, ""},  // not even one whole game fits
      {"4", old, notWritten, 1, false, "game 1: "},
      {"unlimited", "/dev/full", "zorva-sim: cannot record into /dev/full: a device\n", 1, true, ""},
      {"unlimited", script, "zorva-sim: the file " + script + " would be written over while it is in use\n", 2, true, ""},
  };
  for (const auto& [limit, to, said, code, kept, played] : cases) {
    const auto [status, errors] = record(limit, to);
    EXPECT_EQ(status, code) << limit << " " << to;
    EXPECT_EQ(errors.substr(0, errors.find("usage")), said);
    EXPECT_EQ(ReadBytes(old) == before, kept) << limit << " " << to;
    EXPECT_TRUE(kept || (Play(old), LastOut()).find(played) != std::string::npos) << LastOut();
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 2) << "a file was left";
}

// Game 1 ends at its GAME OVER with SPACE held, which starts game 2 at once;
// game 3 is closed while it runs. WAIT stays checked.
constexpr const char* kScript = "2 -\n1 tap:SPACE\n100 RIGHT SPACE\n300 SPACE\n1 -\n1 tap:SPACE\n40 -\n1 close\n";

// Records the script with `forge` applied at the end of every title pass
// before game `game` starts.
std::string Record(const std::string& name, int game = 0, const std::function<void()>& forge = nullptr) {
  const std::string path = In(name);
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

// Real games verify; games forged the way a cheater would (a build that starts
// games from a forged state, so that every frame check agrees with the file,
// or a file edited record by record) are refused with their reason. A scroll
// out of its range is a damaged file (above).
TEST(Demo, RealGamesVerifyAndForgedOnesAreRefusedWithTheirReason) {
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
       "verified, WAIT checked throughout; the file begins after other games, whose best score, shots and bullets are "
       "taken as they are", 0},
      {Record("gate.zdm", 1, [] { G.MarchNext = G.MarchLast + 1000000; }),
       "game 1: " + refused + "the formation's step gate is 999,990 ms ahead of the clock"},
      {Record("blast.zdm", 2, [] { G.BlastLast -= 7; }),
       "game 2: " + refused + "the explosions' gate differs from what game 1 left (BlastLast)"},
      {Record("shots.zdm", 2, [] { G.ShotActive[3] = 1, G.ShotX[3] = 146, G.ShotY[3] = 200; }),
       "game 2: " + refused + "the shots differ from what game 1 left (ShotX)"},
      {Record("bullets.zdm", 2, [] { G.BulletActive[7] = 1; }),
       "game 2: " + refused + "the bullets differ from what game 1 left (BulletActive)"},
      {Record("best.zdm", 2, [] { G.HiScore = 30000; }),
       "game 2: " + refused + "the best score differs from what game 1 left (HiScore)"},
      {Record("carried_bullets.zdm", 1, [] { G.BulletActive[0] = 1; }), "no shot was in flight at its start", 0},
      // Nine shots placed under the lowest enemies score 90 points the player never fired.
      {Record("carried_shots.zdm", 1, [] { for (int i = 0; i < kShotSlots; ++i) G.ShotActive[i] = 1, G.ShotX[i] = 10 + 42 * (i % 6), G.ShotY[i] = i < 6 ? 141 : 106; }),
       "the 9 shots in flight at its start could account for up to 90 of its points", 0},
      {Record("carried_gate.zdm", 1, [] { G.HiScore = 10, G.MarchNext = G.MarchLast + 1000000; }),
       "game 1: " + refused + "the formation's step gate is 999,990 ms ahead of the clock"},
      {Record("rnd.zdm", 2, [] { SetRndState(RndState() ^ 1); }),
       "game 2: " + refused + "the random state is not the one game 1 left"},
      {Copy(real, "back.zdm", [](auto& e, auto frame, auto& s, auto&) {
         return e.kind != Kind::GameStart || frame == 1 || (s.clock -= 100000, true);
       }), "game 2: " + refused + "it starts at -"},
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
    const auto [status, errors] = Play(c.demo, "--verify");
    EXPECT_EQ(status, c.status) << c.demo << ": " << LastOut() << errors;
    EXPECT_NE((LastOut() + errors).find(c.said), std::string::npos) << c.demo << ": " << LastOut() << errors;
  }
}

}  // namespace
}  // namespace zorva
