// The table of game variables drives the demo file and says what a new game sets: every variable it names reaches a
// demo with its own value, and a new game owes nothing to what the variables it sets held before. (The dump, its
// third consumer, is held to every variable by the golden replays.)
#include <cmath>

#include "demo/demo_file.h"
#include "tests/support.h"

namespace zorva {
namespace {

// Every slot of every variable of `g`, by name, as doubles (a single and a 16-bit value are exact in one).
std::vector<std::pair<std::string, std::vector<double>>> Slots(const GameState& g) {
  std::vector<std::pair<std::string, std::vector<double>>> all;
  EachVariable(g, [&all](const Variable& var, const auto& member) {
    all.push_back({var.name, {}});
    EachSlot(member, [&all](const auto& x) { all.back().second.push_back(static_cast<double>(x)); });
  });
  return all;
}

TEST(StateTable, ADemoKeepsEveryVariableOfAGameStart) {
  // Each slot a value of its own inside the variable's range, so that a variable left out or read into another
  // one shows.
  GameStart start;
  double next = 1;
  EachVariable(start.state, [&next](const Variable& var, auto& member) {
    EachSlot(member, [&](auto& x) {
      using T = std::remove_reference_t<decltype(x)>;
      x = static_cast<T>(var.lowest + std::fmod(next++, var.highest - var.lowest + 1));
    });
  });
  TempDir dir("table");
  const std::string path = (dir.path / "start.zdm").string();
  {
    DemoWriter writer(path);
    writer.StartGame(start);
    writer.EndGame({});  // the file takes its name once it holds a whole game
  }
  std::ifstream in(path, std::ios::binary);
  DemoReader reader(in);
  ASSERT_EQ(reader.Next().kind, DemoReader::Kind::GameStart);
  const auto want = Slots(start.state), got = Slots(reader.Start().state);
  for (std::size_t i = 0; i < want.size(); ++i) EXPECT_EQ(got[i], want[i]) << want[i].first;
}

TEST(StateTable, ANewGameStartsAlikeWhateverTheVariablesItSetsHeld) {
  const std::string script = "1 tap:SPACE\n60 RIGHT SPACE\n400 -\n1 SPACE\n60 LEFT SPACE\n";
  const auto games = [](const std::vector<Pass>& passes) {
    std::vector<std::vector<std::pair<std::string, std::vector<double>>>> game;
    for (const Pass& p : passes)
      if (p.Game()) game.push_back(Slots(p.g));
    return game;
  };
  // Before each title pass every variable a new game sets holds its highest value.
  const auto scramble = [](const std::vector<Pass>& passes) {
    if (passes.back().Game()) return;
    EachVariable(G, [](const Variable& var, auto& member) {
      EachSlot(member, [&var](auto& x) {
        if (var.between == kNewGameSets) x = static_cast<std::remove_reference_t<decltype(x)>>(std::min(var.highest, 1000.0));
      });
    });
  };
  const auto plain = games(Play(script)), scrambled = games(Play(script, 1, scramble));
  ASSERT_EQ(scrambled.size(), plain.size());
  for (std::size_t pass = 0; pass < plain.size(); ++pass)
    for (std::size_t v = 0; v < plain[pass].size(); ++v)
      ASSERT_EQ(scrambled[pass][v], plain[pass][v]) << plain[pass][v].first << " in game frame " << pass;
}

}  // namespace
}  // namespace zorva
