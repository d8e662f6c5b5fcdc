// Runs the game headless on the simulated window from a key script, and
// writes what happened pass by pass.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "base/window.h"
#include "demo/demo.h"
#include "sim/script.h"

namespace zorva {

struct SimOptions {
  std::int64_t clock = kClockLeadMs;  // first clock reading
  std::int64_t work = 5;              // ms the event pump advances the clock
  std::optional<std::uint64_t> seed;  // k-th game seeds with seed + k - 1
  // A challenge run: every game seeds with this one seed (`seed` unused).
  std::optional<std::uint64_t> challenge;
  std::ostream* dump = nullptr;  // JSON Lines, one object per pass
  std::string pngDir;            // canvas pictures, when not empty
  std::int64_t pngEvery = 1;
  std::string programFolder = ".";  // where the sound effect is looked up
  std::string record;               // a demo of every game, when not empty
  // Playing back: the frames of the demo whose passes are written (from 1;
  // 0: from the first, to the last). The playback stops after `to`.
  std::int64_t from = 0, to = 0;
  // Called at once when the demo cannot be written; the run goes on.
  std::function<void(const std::string& why)> onRecordError;
  // Called at the end of every pass, after its record is written, with the
  // loop it belonged to and whether it ended a game.
  std::function<void(Loop loop, bool endsGame)> afterPass;
};

struct SimResult {
  std::int64_t passes = 0;    // passes begun
  std::int64_t frames = 0;    // game frames among them
  int games = 0;              // games started
  bool recordFailed = false;  // the demo could not be written
};

// Runs start-up, the title loop and the games until the window is closed
// (after the script's last line one more pass runs and closes the window).
// With options.record, every game is recorded as a demo (DemoError when the
// file cannot be made; a failure to write it later goes to onRecordError).
SimResult RunSimulation(const std::vector<ScriptLine>& script, const SimOptions& options);

// Plays a demo back on the simulated window as fast as it goes, writing the
// records of its games' passes under their recorded pass numbers, as the
// recording run wrote them (the clock, seed and script options are not used).
// Throws what DemoPlayer::Play throws.
PlaybackResult RunPlayback(DemoPlayer& player, const SimOptions& options);

}  // namespace zorva
