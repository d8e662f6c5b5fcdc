// Demos: every game of a run recorded as it is played, in any window, and
// played back exactly, in any window.
//
// The recorder is an input tap on `Main` for the whole run: at the start of
// each game (its seed) it writes everything the game's course depends on,
// then every value the game receives until PlayGame returns, with a check of
// the state at the end of every frame, and last how the game ended. The
// player restores each game's start and runs PlayGame on answers taken from
// the demo, checking every frame against the recording.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <ostream>
#include <stdexcept>
#include <string>

#include "base/surface.h"
#include "base/window.h"
#include "demo/demo_file.h"
#include "demo/verify.h"

namespace zorva {

class DemoRecorder : public InputTap {
 public:
  // Creates the demo file. Throws DemoError.
  explicit DemoRecorder(const std::string& path);

  // Called with each game's trailer once it is written and the file holds it.
  std::function<void(const Trailer&)> onGameRecorded;
  // Called at once when the file cannot be written, with why; the recording
  // stops there (what it holds stays readable) and the game goes on.
  std::function<void(const std::string&)> onError;
  bool Failed() const { return failed_; }

  // Ends the file; done by the close of the window or the destructor too.
  void Finish();

  bool PlaysBack() const override { return false; }
  std::uint64_t Seed(std::uint64_t answer, std::int64_t clock) override;
  std::int64_t Clock(std::int64_t answer, bool waiting) override;
  std::int16_t Key(std::int16_t answer) override;
  void Pumped() override;
  void Closed(std::int64_t clock) override;
  void PassBegins(Loop loop) override;
  void PassEnds(bool endsGame) override;
  void GameEnds() override;

 private:
  void EndGame();
  // Runs a call of the writer, unless the file failed before; a failure
  // stops the recording.
  template <class Call>
  void Write(Call call);

  DemoWriter writer_;
  bool failed_ = false;
  bool inGame_ = false;
  std::int64_t passes_ = 0;  // passes begun in the run
  std::int64_t frames_ = 0;  // frames begun in this game
  Surface shown_;            // the canvas of the game's last frame shown
};

// The playback left the recorded course: `frame` counts the game frames of
// the demo from 1.
struct Desync : std::runtime_error {
  Desync(std::int64_t frame, const std::string& what);
  std::int64_t frame;
};

struct PlaybackResult {
  int games = 0;            // games that reached their recorded end
  std::int64_t frames = 0;  // game frames played
  bool stopped = false;     // the viewer closed the window or pressed ESCAPE
};

class DemoPlayer : public InputTap {
 public:
  // Paced, a clock reading is given out only once the real clock has moved
  // on as far from the game's start as the recorded one (pauses longer than
  // a quarter of a second are cut short); otherwise as fast as possible.
  DemoPlayer(DemoReader& reader, bool paced);

  // Plays every game of the demo on `Main`: the start-up without the title
  // screen, then each game from its recorded start. Throws DemoError for a
  // bad file (after playing what came before the fault) and Desync, and
  // passes on a ProgramEnded with a status other than 0 (the window failed).
  PlaybackResult Play();

  // When set, also checks that every game is one the rules allow
  // (demo/verify.h): Play throws RuleBreak for the first game that is not.
  Verifier* verifier = nullptr;

  // Called as each game starts, and once it has ended as recorded.
  std::function<void(const GameStart&)> onGameStarts;
  std::function<void(const Trailer&)> onGameEnds;
  // Asked while the playback waits for the recorded pace and every few
  // hundred clock readings, so that a window is answered within a fraction of
  // a second whatever the file holds: true stops the playback as ESCAPE does.
  std::function<bool()> stopRequested;
  // Sleeps for the pace, for so many ms; unset, the thread sleeps (a page
  // hands the browser its turn instead).
  std::function<void(std::int64_t)> sleep;

  // The game frame being played, counted from 1 over the whole demo.
  std::int64_t Frame() const { return frame_; }
  // The latest clock reading given to the game (the game's start clock
  // before the first, the close's clock after a recorded close).
  std::int64_t LastReading() const { return last_; }

  bool PlaysBack() const override { return true; }
  std::uint64_t Seed(std::uint64_t answer, std::int64_t clock) override;
  std::int64_t Clock(std::int64_t answer, bool waiting) override;
  std::int16_t Key(std::int16_t answer) override;
  void Pumped() override;
  void Closed(std::int64_t clock) override;
  void PassBegins(Loop loop) override;
  void PassEnds(bool endsGame) override;
  void GameEnds() override;

 private:
  using Steady = std::chrono::steady_clock;

  void BeginGame(const GameStart& start);
  DemoReader::Event Expect(DemoReader::Kind kind);
  void Verify(std::int64_t count);
  void CheckEnd();
  void Pace(std::int64_t reading);
  void StopIfRequested();

  DemoReader& reader_;
  bool paced_;
  std::uint64_t seed_ = 0;
  std::int64_t frame_ = 0;
  std::int64_t gameFrames_ = 0;
  bool starting_ = false;  // the game's first frame has not begun yet
  std::int64_t last_ = 0;
  bool recordedClose_ = false;
  Surface shown_;
  // The checks of the frames ended since the demo's last record of checks.
  std::array<std::uint16_t, kDemoMaxChecks> checks_{};
  int unverified_ = 0;
  std::int64_t firstUnverified_ = 0;  // the frame of the first of them
  std::int64_t paceClock_ = 0;
  unsigned readings_ = 0;
  Steady::time_point paceTime_{};
  bool inFrame_ = false;
  std::int64_t frameStart_ = 0;  // the first reading of the frame
  std::int64_t startRead_ = -1;  // the frame whose start reading is frameStart_
};

}  // namespace zorva
