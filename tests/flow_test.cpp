// Whole runs on the simulated window (start-up paints once at clock 1000, each
// event pump takes 5 ms, WAIT checked): what a game keeps from before it, its
// end, and the change of wave; the golden replays; the artwork made again.

#include <cstdio>
#include <sstream>

#include "frame/command_line.h"
#include "tests/support.h"

namespace zorva {
namespace {

TEST(Flow, PressesMadeBeforeAScreenAreForgottenWhenItStarts) {
  // PlayerX in each game frame: a LEFT or RIGHT tap on the title screen is
  // forgotten when SPACE starts the game; one in its first frame counts.
  const std::pair<const char*, std::vector<double>> games[] = {
      {"1 tap:LEFT\n1 SPACE\n2 -\n", {146, 146}}, {"1 tap:RIGHT SPACE\n2 -\n", {146, 146}}, {"1 SPACE\n1 tap:LEFT\n1 -\n", {138, 138}}};
  for (const auto& [script, x] : games) {
    std::vector<double> seen;
    for (const Pass& p : Play(script)) p.Game() ? seen.push_back(p.g.PlayerX) : void();
    EXPECT_EQ(seen, x) << script;
  }
  for (const bool held : {false, true}) {  // a SPACE tap before the title screen is forgotten; SPACE held starts a game
    SimMain m;
    held ? m.sim.Press(VK_SPACE) : m.sim.Tap(VK_SPACE);
    m.sim.onPassBegins = [&, passes = 0](Loop) mutable { passes++ == 1 ? m.sim.CloseInNextPump() : void(); };
    EXPECT_THROW(Form_Load(), ProgramEnded);
    EXPECT_EQ(m.sim.GamesSeeded(), held ? 1 : 0);
  }
}

TEST(Flow, TheFirstGameTakesOverTheGatesScrollAndBlinkOfTheTitleScreen) {
  // Title pass 0 (clock 1005) records the blink gate's poll; pass 1 (1010)
  // blinks, MarchNext = 1810, shows the frame rate of 5 ms passes (FpsNext
  // 1510) and starts the game at 1015. Frames every 31 ms: frame 27 (1821) is
  // the first poll past 1810, so the formation's first step is frame 28's.
  const std::vector<Pass> passes = Play("1 -\n1 tap:SPACE\n30 -\n");
  const GameState& first = passes[1].g;  // passes[0] is title pass 0
  EXPECT_VALUES(V(first.ScrollY, first.TitleBlink, first.MarchNext, first.FpsNext, first.Fps), V(3, -1, 1810, 1510, 200));
  EXPECT_VALUES(V(FirstWhere(passes, [](const Pass& p) { return p.g.MarchStep == 1; }), passes[28].clock), V(28, 1852 + 31));
  EXPECT_EQ(Play("1 tap:SPACE\n2 -\n")[0].g.MarchStep, 1);  // started on pass 0, it steps in frame 1
}

TEST(Flow, AGameEndsWithItsGameOverScreenAndTheNextStartsAfreshKeepingItsHiScore) {
  // SPACE held from the start; after frame 3 the ship is lost with 120 points
  // at a harder wave. SPACE held on ends the GAME OVER screen and, after the
  // title's one pass, starts the next game (next_game.script shows the rest).
  const std::vector<Pass> p = Play("1 tap:SPACE\n200 SPACE\n", 1, [](const std::vector<Pass>& p) {
    if (p.size() == 3) G.Score = G.HiScore = 120, G.PlayerDead = 1, G.AimLevel = 1.2f, G.MarchInterval = 170, G.BulletTop = 7;
  });
  const std::size_t end = FirstWhere(p, [](const Pass& pass) { return pass.endsGame; });
  ASSERT_LT(end + 2, p.size());
  const GameState &title = p[end + 1].g, &next = p[end + 2].g;
  // Two waits of 1000 ms (each ends at the first reading past it); the frame rate cleared.
  EXPECT_VALUES(V(p[end + 1].clock - p[end].clock, title.Fps, title.PlayerDead, title.PlayerBlastFrame, title.GameOverShown),
            V(2002, 0, 0, 0, 0));
  // The shot of frame 2 flew on and destroyed the fourth column's bottom enemy: 130.
  EXPECT_VALUES(V(p[end + 2].Game(), next.Score, next.HiScore, next.PlayerX, next.AimLevel, next.MarchInterval, next.BulletTop),
            V(1, 0, 130, 146, 0, 200, 4));
}

TEST(Flow, TheShipIsDrawnWhereItWasAndItsShotLeavesFromWhereItIsNow) {
  // Frame 1 moves the ship to 154 (the fresh fire gate only records); frame 2 draws it there, moves it to 162 and
  // fires from 162: the shot drawn at 282.
  bool drawn = false;
  const auto p = Play("1 SPACE RIGHT\n2 SPACE RIGHT\n", 1, [&](const std::vector<Pass>& p) {
    if (p.size() == 2) drawn = Drawn(154, 288, 0, 0) && !Drawn(162, 288, 0, 0) && Drawn(162, 282, 32, 0);
  });
  EXPECT_VALUES(V(p[1].g.PlayerX, p[1].g.ShotX[0], p[1].g.ShotY[0], drawn), V(162, 162, 282, 1));
}

TEST(Flow, AWaveCanChangeDuringTheDeathSequence) {
  // After frame 3 the ship is lost while the last enemy is in its last
  // explosion frame: at the next tick it is gone, the ship's explosion starts,
  // and in the same frame the next wave is placed.
  const auto passes = Play("1 tap:SPACE\n400 -\n", 1, [](const std::vector<Pass>& p) {
    if (p.size() == 3) G.PlayerDead = 1, G.EnemyState.fill(7), G.EnemyState[5] = 6, G.KillCount = 23, G.BulletActive.fill(0);
  });
  const std::size_t wave = FirstWhere(passes, [](const Pass& p) { return p.g.MarchInterval == 190; });
  ASSERT_LT(wave, passes.size());
  const GameState& g = passes[wave].g;
  EXPECT_VALUES(V(passes[wave - 1].g.KillCount, g.KillCount, g.PlayerDead, g.PlayerBlastFrame, g.EnemyX[0], g.EnemyY[0], g.BulletTop,
              g.AimLevel, std::count(g.EnemyState.begin(), g.EnemyState.end(), 0)),
            V(23, 0, 1, 1, 10, 16, 3, 0.4f, 24));
  EXPECT_TRUE(std::any_of(passes.begin() + static_cast<long>(wave), passes.end(), [](const Pass& p) { return p.endsGame; }));
}

TEST(Flow, DifficultyClimbsWaveByWave) {
  SimMain m;
  G.MarchInterval = 200, G.BulletTop = 4;
  // Wave, MarchInterval, AimLevel (single precision), BulletGrowth, BulletTop.
  const double table[][5] = {{2, 190, 0.4000000059604645, 0.5, 3},  {3, 180, 0.800000011920929, 1.0, 4},
                             {4, 170, 1.2000000476837158, 1.5, 4}, {5, 160, 1.600000023841858, 2.0, 5},
                             {6, 150, 2.0, 2.5, 5},                {7, 140, 2.4000000953674316, 3.0, 6},
                             {8, 130, 2.8000001907348633, 3.5, 6}, {9, 120, 3.0, 4.0, 7},
                             {20, 10, 3.0, 9.5, 12},               {21, 0, 3.0, 10.0, 13},
                             {35, 0, 3.0, 17.0, 20},               {40, 0, 3.0, 19.5, 20}};
  for (int wave = 1; const auto& row : table) {
    for (; wave < row[0]; ++wave) G.EnemyState.fill(7), G.KillCount = 24, CheckWave();
    EXPECT_VALUES(V(G.MarchInterval, G.AimLevel, G.BulletGrowth, G.BulletTop, G.KillCount), V(row[1], row[2], row[3], row[4], 0)) << wave;
  }
  // KillCount, shot slot in flight, bullet slot in flight (-1 none), whether the wave changes.
  const int cases[][4] = {{24, -1, -1, 1}, {23, -1, -1, 0}, {24, 8, -1, 0}, {24, -1, 20, 0}, {24, -1, 15, 0}, {24, -1, 21, 1}};
  for (const auto& [kills, shot, bullet, change] : cases) {
    ResetGameState();
    G.MarchInterval = 200, G.EnemyState.fill(7), G.KillCount = static_cast<std::int16_t>(kills), G.EnemyX[0] = 99, G.MarchStep = 7;
    G.MarchDrop = 8, G.MarchDir = 1, G.Score = 240, G.ShotY[3] = 123, G.BulletX[2] = 55.5f;
    if (shot >= 0) G.ShotActive[shot] = 1;
    if (bullet >= 0) G.BulletActive[bullet] = 1;
    CheckWave();
    EXPECT_VALUES(V(G.KillCount, G.EnemyState[5], G.EnemyX[0], G.EnemyY[23], G.MarchInterval, G.MarchStep, G.MarchDrop, G.MarchDir,
                G.BlastSrcX[0]),
              change ? V(0, 0, 10, 121, 190, 0, 0, 0, 64) : V(kills, 7, 99, 0, 200, 7, 8, 1, 0)) << kills << " " << shot << " " << bullet;
    EXPECT_VALUES(V(G.Score, G.ShotY[3], G.BulletX[2]), V(240, 123, 55.5f));  // not its business
  }
}

const fs::path kSource = ZORVA_SOURCE_DIR, kBinary = ZORVA_BINARY_DIR;

// Where a dump first departs from its recording: the pass (line) and the first field that differs, with both
// values; empty when they are the same. A field starts at each "NAME": after { or ,.
std::string FirstDifference(const std::string& dump, const std::string& recorded) {
  std::istringstream got(dump), want(recorded);
  std::string a, b;
  for (int pass = 0;; ++pass) {
    const bool more = !!std::getline(got, a), expected = !!std::getline(want, b);
    if (!more || !expected) return more == expected ? "" : "pass " + std::to_string(pass) + (more ? " is one too many" : " is missing");
    if (a == b) continue;
    std::size_t at = 0;
    for (std::size_t i = 0; i + 1 < std::min(a.size(), b.size()) && a[i] == b[i]; ++i)
      if ((a[i] == '{' || a[i] == ',') && a[i + 1] == '"') at = i + 1;
    const auto field = [at](const std::string& line) { return line.substr(at, std::min(line.find(",\"", at + 1), line.size() - 1) - at); };
    return "pass " + std::to_string(pass) + ": " + field(a) + ", recorded " + field(b);
  }
}

// Each tests/golden/NAME.script starts with "# zorva-sim OPTIONS" and says
// what it shows; its dump must be NAME.jsonl byte for byte.
TEST(Sim, GoldenReplaysMatchByteForByte) {
  EXPECT_EQ(FirstDifference("{\"a\":1,\"b\":[2,3]}\n{}\n", "{\"a\":1,\"b\":[2,4]}\n{}\n"), "pass 0: \"b\":[2,3], recorded \"b\":[2,4]");
  int checked = 0;
  for (const auto& entry : fs::directory_iterator(kSource / "tests" / "golden")) {
    if (entry.path().extension() != ".script") continue;
    std::ifstream in(entry.path());
    std::string options;
    std::getline(in, options);
    ASSERT_EQ(options.rfind("# zorva-sim", 0), 0u) << entry.path();
    const std::string command =
        Command(kBinary / "zorva-sim") + options.substr(11) + " --dump - '" + entry.path().string() + "'";
    FILE* pipe = popen(command.c_str(), "r");
    std::string dump;
    for (int c; (c = std::fgetc(pipe)) != EOF;) dump += static_cast<char>(c);
    EXPECT_EQ(pclose(pipe), 0) << entry.path();
    const Bytes expected = ReadBytes(fs::path(entry.path()).replace_extension(".jsonl"));
    const std::string difference = FirstDifference(dump, std::string(expected.begin(), expected.end()));
    EXPECT_TRUE(difference.empty()) << entry.path().filename().string() << ", " << difference;
    ++checked;
  }
  EXPECT_GE(checked, 4);
}

// zorva-sim's command line: the exit status, the lines it writes and the first line of its complaint.
TEST(Sim, TheCommandLineAndItsExitStatuses) {
  const TempDir dir("sim-command-line");
  std::ofstream(dir.path / "game.script") << "1 SPACE\n40 -\n";
  std::ofstream(dir.path / "bad.script") << "1 SPACE\n2 FIRE\n";
  const auto run = [&](const std::string& args) { return RunProgram(kBinary / "zorva-sim", args, dir.path, "3 -\n"); };
  // The arguments; the exit status, the lines on standard output, the first line on standard error.
  const std::pair<const char*, std::tuple<int, int, std::string>> cases[] = {
      {"game.script", {0, 0, ""}},
      {"--dump - --clock 0 --work 9 --seed 7 -", {0, 4, ""}},
      {"--record game.zdm game.script", {0, 0, ""}},
      {"--play game.zdm", {0, 1, ""}},
      {"--play game.zdm --dump -", {0, 41, "game 1: score 0, 41 frames, last canvas c3d85ecbc99af1c2: as recorded"}},
      {"bad.script", {2, 0, "zorva-sim: script line 2: unknown token \"FIRE\""}},
      {"", {2, 0, "zorva-sim: no script given"}},
      {"--bogus game.script", {2, 0, "zorva-sim: unknown option --bogus"}},
      {"game.script game.script", {2, 0, "zorva-sim: only one script can be given"}},
      {"--clock -1 game.script", {2, 0, "zorva-sim: --clock needs a number of milliseconds from 0 to 2^53"}},
      {"--work 1000001 game.script", {2, 0, "zorva-sim: --work needs a number of milliseconds from 0 to 1000000"}},
      {"--seed 9223372036854775808 game.script", {2, 0, "zorva-sim: --seed needs a whole number"}},
      {"--png-every 0 game.script", {2, 0, "zorva-sim: --png-every needs a whole number of at least 1"}},
      {"--dump", {2, 0, "zorva-sim: --dump needs a file name, or - for standard output"}},
      {"--dump no/such/dump game.script", {2, 0, "zorva-sim: cannot write the dump no/such/dump"}},
      {"no.script", {2, 0, "zorva-sim: cannot read the script no.script"}},
      {"--dump - --challenge 7kq-m2r-x4j -", {0, 4, ""}},
      {"--challenge 7KQ-M2R-X4K game.script", {2, 0, "zorva-sim: --challenge needs a challenge code, such as 7KQ-M2R-X4J"}},
      {"--seed 1 --challenge 7KQ-M2R-X4J -", {2, 0, "zorva-sim: --seed and --challenge do not go together: a challenge seeds every game"}},
      {"--play game.zdm --challenge=7KQ-M2R-X4J", {2, 0, "zorva-sim: --play takes no script, --clock, --work, --seed, --challenge or --record"}},
      {"--play game.script", {2, 0, "zorva-sim: game.script: not a ZORVA demo"}},
  };
  for (const auto& [args, expected] : cases) EXPECT_EQ(run(args), expected) << "zorva-sim " << args;
}

// zorva itself: the exit status, the lines on standard output, the first line on standard error.
TEST(Sim, ZorvaAnswersWithoutAWindowAndSaysItsMistakesOnOneLine) {
  const TempDir dir("command-line");
  const std::string help = HelpText("");
  const int helpLines = static_cast<int>(std::count(help.begin(), help.end(), '\n'));
  const std::pair<const char*, std::tuple<int, int, std::string>> cases[] = {
      {"--version", {0, 1, ""}},
      {"--help", {0, helpLines, ""}},
      {"--scale 0", {2, 0, "zorva: --scale needs a whole number from 1 to 16; " + UsageLine()}},
      {"game", {2, 0, "zorva: unexpected argument game; " + UsageLine()}},
      {"--challenge 7KQ-M2R-X4J --play run.zdm", {2, 0, "zorva: --challenge and --play do not go together; " + UsageLine()}},
  };
  for (const auto& [args, expected] : cases)
    EXPECT_EQ(RunProgram(kBinary / "zorva", args, dir.path), expected) << "zorva " << args;
}

TEST(Sim, TheArtworkIsMadeAgainToTheByteAndTheSoundLiesBesideThePrograms) {
  const fs::path out = kBinary / "assets-regenerated", assets = kSource / "assets";
  fs::remove_all(out);
  ASSERT_EQ(std::system((Command(kBinary / "zorva-assetgen") + " '" + out.string() + "' > /dev/null").c_str()), 0);
  for (const auto& e : fs::directory_iterator(out)) EXPECT_EQ(ReadBytes(e.path()), ReadBytes(assets / e.path().filename())) << e.path();
  const auto count = [](const fs::path& folder) { return std::distance(fs::directory_iterator(folder), fs::directory_iterator()); };
  EXPECT_EQ(count(out) + 2, count(assets));  // all but the hand-written typeface and the header of the embedded ones
  fs::remove_all(out);
  EXPECT_EQ(ReadBytes(kBinary / "効果音.wav"), ReadBytes(assets / "効果音.wav"));  // beside the programs
}

}  // namespace
}  // namespace zorva
