// Verified games: a game of a demo is one the rules allow when it starts from
// a state the title screen can leave as SPACE is pressed, its clock never goes
// back, no frame paced by WAIT is shorter than the wait, and it ends as its
// trailer says. The reader keeps a game's readings in order, the player (with
// DemoPlayer::verify) checks the pacing and the end as it plays, and the start
// is checked here, before the game's first frame, against the games before.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "demo/demo_file.h"

namespace zorva {

// A game no run of the program can produce: "game N: not a game the rules
// allow: why".
struct RuleBreak : std::runtime_error {
  RuleBreak(int game, const std::string& why);
};

// What the earlier games of the file left for the next one.
struct Earlier {
  int games = 0;           // games of the file before this one
  GameState state;         // the variables as the last of them left them
  std::uint64_t rnd = 0;   // the random state it left
  std::int64_t clock = 0;  // the file's last clock reading so far
};

// Throws RuleBreak (numbered earlier.games + 1) when no title screen after
// the earlier games can start a game from `start`. A first game that starts
// from anything but what the program's start leaves (a best score, shots or
// bullets in flight, another random state) is one of a file saved after other
// games: what they left is taken as it is (the result says so), the gates are
// still checked against the clock. Returns true for such a game.
bool CheckStart(const GameStart& start, const Earlier& earlier);

// The random state the title screen leaves when the program has just started.
std::uint64_t FreshTitleRnd();

// 1234567 as "1,234,567".
std::string Grouped(std::int64_t v);

}  // namespace zorva
