#include "demo/verify.h"

#include <algorithm>
#include <string_view>
#include <type_traits>
#include <vector>

#include "base/rnd.h"

namespace zorva {

namespace {

// A gate: its next time, its last poll, and the longest interval any routine
// adds to a reading to set the next time (the formation's pair is the title
// blink's too, whose 800 ms is longer than any formation step).
struct Gate {
  std::string_view next, last;
  std::int64_t interval;
  const char* what;
};
constexpr Gate kGates[] = {
    {"MarchNext", "MarchLast", 800, "the formation's step gate"},
    {"ShotNext", "ShotLast", 200, "the fire button's gate"},
    {"BlastNext", "BlastLast", 100, "the explosions' gate"},
    {"FpsNext", "FpsLast", 500, "the frame rate's gate"},
    {"GameOverKeyAt", "GameOverLast", 2000, "the GAME OVER screen's key deadline"},
    {"GameOverTimeoutAt", "GameOverLast", 10000, "the GAME OVER screen's timeout"},
};

// The carried variables the title loop writes; every other one holds what the
// last game (or the program's start) left.
constexpr std::string_view kTitleWrites[] = {"MarchNext", "MarchLast", "FpsNext", "FpsLast",
                                             "FrameTime", "Fps",       "ScrollY", "TitleBlink"};

// MakeStarfield draws three values for each of its 301 stars, once as the
// title loop starts.
constexpr int kTitleDraws = 301 * 3;

// One slot: whole numbers exactly, the others as doubles.
struct Slot {
  std::int64_t whole = 0;
  double real = 0;
  bool operator==(const Slot&) const = default;
};
struct Values {
  Variable var;
  std::vector<Slot> slots;
};

std::vector<Values> Table(const GameState& g) {
  std::vector<Values> table;
  EachVariable(g, [&](const Variable& v, const auto& member) {
    Values x{v, {}};
    EachSlot(member, [&](auto s) {
      if constexpr (std::is_integral_v<decltype(s)>) x.slots.push_back({static_cast<std::int64_t>(s), 0});
      else x.slots.push_back({0, static_cast<double>(s)});
    });
    table.push_back(std::move(x));
  });
  return table;
}

const Values& Find(const std::vector<Values>& table, std::string_view name) {
  return *std::find_if(table.begin(), table.end(), [&](const Values& v) { return name == v.var.name; });
}

// How a refusal names a variable.
std::string Named(std::string_view name) {
  for (const Gate& g : kGates) {
    if (name == g.next || name == g.last) return g.what;
  }
  if (name.starts_with("Shot")) return "the shots";
  if (name.starts_with("Bullet")) return "the bullets";
  if (name == "HiScore") return "the best score";
  return std::string(name);
}

}  // namespace

RuleBreak::RuleBreak(int game, const std::string& why)
    : std::runtime_error("game " + std::to_string(game) + ": not a game the rules allow: " + why) {}

std::string Grouped(std::int64_t v) {
  const std::string digits = std::to_string(v);
  const std::size_t first = v < 0 ? 1 : 0;
  std::string grouped = digits.substr(0, first);
  for (std::size_t i = first; i < digits.size(); ++i) {
    if (i > first && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

std::uint64_t FreshTitleRnd() {
  const std::uint64_t saved = RndState();
  ResetRnd();
  for (int i = 0; i < kTitleDraws; ++i) Rnd();
  const std::uint64_t fresh = RndState();
  SetRndState(saved);
  return fresh;
}

bool CheckStart(const GameStart& start, const Earlier& earlier) {
  const int game = earlier.games + 1;
  const auto refuse = [&](const std::string& why) { throw RuleBreak(game, why); };
  const std::vector<Values> now = Table(start.state), before = Table(earlier.state);
  const bool first = earlier.games == 0;
  const std::string leftBy = first ? "the program's start" : "game " + std::to_string(earlier.games);

  if (start.clock < earlier.clock) {
    refuse("it starts at " + Grouped(start.clock) + " ms, before the clock of " + leftBy + " (" +
           Grouped(earlier.clock) + " ms)");
  }
  // Every gate time was set from a reading taken before the game's start.
  for (const Gate& g : kGates) {
    const std::int64_t next = Find(now, g.next).slots[0].whole, last = Find(now, g.last).slots[0].whole;
    if (next - start.clock > g.interval) {
      refuse(std::string(g.what) + " is " + Grouped(next - start.clock) + " ms ahead of the clock");
    }
    if (last > start.clock) {
      refuse(std::string(g.what) + " was polled " + Grouped(last - start.clock) + " ms ahead of the clock");
    }
  }
  // Nothing but the title loop runs between the earlier game and this one.
  std::string differs;
  for (std::size_t i = 0; i < now.size() && differs.empty(); ++i) {
    const Variable& v = now[i].var;
    const bool titleWrites =
        std::find(std::begin(kTitleWrites), std::end(kTitleWrites), std::string_view(v.name)) != std::end(kTitleWrites);
    if (v.newGameSets || titleWrites || now[i].slots == before[i].slots) continue;
    const std::string what = Named(v.name);
    const bool many = what == "the shots" || what == "the bullets";
    differs = what + (many ? " differ" : " differs") + " from what " + leftBy + " left (" + v.name + ")";
  }
  if (differs.empty() && start.rnd != (first ? FreshTitleRnd() : earlier.rnd)) {
    differs = "the random state is not the one " + leftBy + " left";
  }
  // The first game of a file saved after other games carries what they left:
  // it is taken as it is.
  if (!differs.empty() && !first) refuse(differs);
  return !differs.empty();
}

}  // namespace zorva
