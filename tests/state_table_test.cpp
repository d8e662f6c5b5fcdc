// The table of game variables drives the demo file, the dump and a new game's start: every variable it names
// reaches each of them, with its own value.
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "demo/demo_file.h"
#include "tests/support.h"

namespace zorva {
namespace {

// The type of a variable's slots.
template <class M>
struct SlotType {
  using type = M;
};
template <class T, std::size_t N>
struct SlotType<std::array<T, N>> {
  using type = T;
};

// Every slot of every variable of `g`, by name, as doubles (a single and a 16-bit value are exact in one).
std::vector<std::pair<std::string, std::vector<double>>> Slots(const GameState& g) {
  std::vector<std::pair<std::string, std::vector<double>>> all;
  EachVariable(g, [&all](const Variable& var, const auto& member) {
    all.push_back({var.name, {}});
    EachSlot(member, [&all](const auto& x) { all.back().second.push_back(static_cast<double>(x)); });
  });
  return all;
}

// The numbers of the dump line's field `name`: one, or the elements of its list; none when it is missing.
std::vector<double> Field(const std::string& line, const std::string& name) {
  const std::size_t at = line.find("\"" + name + "\":");
  std::vector<double> numbers;
  if (at == std::string::npos) return numbers;
  const char* p = line.c_str() + at + name.size() + 3;
  const bool list = *p == '[';
  do {
    char* end = nullptr;
    numbers.push_back(std::strtod(p + (list || numbers.size() > 0), &end));
    p = end;
  } while (list && *p == ',');
  return numbers;
}

TEST(StateTable, TheDumpShowsEveryVariableOfEveryPassWithItsValue) {
  std::ostringstream dump;
  std::vector<GameState> states;
  SimOptions options;
  options.seed = 3, options.dump = &dump;
  options.afterPass = [&states](Loop, bool) { states.push_back(G); };
  RunSimulation(ParseScript("20 -\n1 tap:SPACE\n150 RIGHT SPACE\n100 LEFT\n1 close\n"), options);
  std::istringstream lines(dump.str());
  std::size_t pass = 0;
  for (std::string line; std::getline(lines, line) && pass < states.size(); ++pass) {
    EachVariable(states[pass], [&](const Variable& var, const auto& member) {
      std::vector<double> want;
      EachSlot(member, [&want](const auto& x) { want.push_back(static_cast<double>(x)); });
      want.resize(static_cast<std::size_t>(var.dumped));
      std::vector<double> got = Field(line, var.name);  // read back into the variable's own type
      for (auto& x : got) x = static_cast<double>(static_cast<typename SlotType<std::remove_cvref_t<decltype(member)>>::type>(x));
      ASSERT_EQ(got, want) << var.name << " in pass " << pass;
    });
  }
  EXPECT_EQ(pass, states.size());
  EXPECT_GT(states.back().Score, 0);
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
        if (var.newGameSets) x = static_cast<std::remove_reference_t<decltype(x)>>(std::min(var.highest, 1000.0));
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
