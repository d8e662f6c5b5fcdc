// Verified games: a game of a demo is one the rules allow when it starts from
// a state the title screen can leave as SPACE is pressed, its clock never goes
// back, no frame paced by WAIT is shorter than the wait, and it ends as its
// trailer says. The reader keeps a game's readings in order; every other check
// is made here, by a Verifier the player calls at each step of the playback
// (DemoPlayer::verifier).
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

class Verifier {
 public:
  // A game starts from `start`. Throws RuleBreak when no title screen after
  // the earlier games of the file can start a game from it. A first game that
  // starts from anything but what the program's start leaves (a best score,
  // shots or bullets in flight, another random state) is one of a file saved
  // after other games: what they left is taken as it is (its verdict says
  // so), and its gates are still checked against the clock.
  void GameStarts(const GameStart& start);
  // The event pump of a frame left the WAIT mark at `mark`.
  void Pumped(bool mark);
  // Frame `frame` is paced by WAIT, yet the recording goes on with an ordinary
  // clock reading `lasted` ms after the frame's first where the game reads
  // the clock for its wait. Throws RuleBreak.
  [[noreturn]] void Unpaced(std::int64_t frame, std::int64_t lasted) const;
  // The game ended with `played` where its trailer says `recorded`. Throws
  // RuleBreak.
  [[noreturn]] void EndDiffers(const Trailer& played, const Trailer& recorded) const;
  // The game ended as recorded, leaving `state`, the random state `rnd` and
  // the clock at `clock` for the next one.
  void GameEnds(const GameState& state, std::uint64_t rnd, std::int64_t clock);

  // What the game just ended proves, for its line: "verified, WAIT checked
  // throughout" and, for a game that begins after other games, how many of
  // its points the shots in flight at its start could account for.
  std::string Verdict(const Trailer& trailer) const;
  // Of the game being played, or just ended: whether WAIT was checked
  // throughout, and whether it began after other games.
  bool WaitThroughout() const { return waitThroughout_; }
  bool CarriedIn() const { return carriedIn_; }

 private:
  // What the earlier games of the file left for the next one.
  int games_ = 0;           // games of the file before this one
  GameState state_;         // the variables as the last of them left them
  std::uint64_t rnd_ = 0;   // the random state it left
  std::int64_t clock_ = 0;  // the file's last clock reading so far
  // The game being played.
  bool waitThroughout_ = true;
  bool carriedIn_ = false;
  int shotsCarriedIn_ = 0;
};

// The random state the title screen leaves when the program has just started.
std::uint64_t FreshTitleRnd();

// 1234567 as "1,234,567".
std::string Grouped(std::int64_t v);

}  // namespace zorva
