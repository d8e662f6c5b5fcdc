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
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "base/surface.h"
#include "base/viewing.h"
#include "base/window.h"
#include "demo/demo_file.h"
#include "demo/verify.h"

namespace zorva {

class DemoRecorder : public InputTap {
 public:
  // Creates the demo file, or writes to `output`. Throws DemoError.
  explicit DemoRecorder(const std::string& path);
  explicit DemoRecorder(std::unique_ptr<DemoOutput> output);

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

class Viewer;

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
  // When set, a viewer controls the playback (demo/viewer.h): it may pause it
  // at the end of a frame, change its speed, or take it to another frame.
  Viewer* viewer = nullptr;

  // Called as each game starts, and once it has ended as recorded (the first
  // time only, whatever the viewer goes back to).
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
  std::int64_t Frame() const { return course_.frame; }
  // The game being played, from 1, and the frames begun in it.
  int Game() const { return course_.gamesStarted; }
  std::int64_t GameFrames() const { return course_.gameFrames; }
  // The pass number of the frame being played, as the recording numbered it.
  std::int64_t Pass() const { return reader_.Start().firstPass + course_.gameFrames - 1; }
  // The latest clock reading given to the game (the game's start clock
  // before the first, the close's clock after a recorded close).
  std::int64_t LastReading() const { return course_.last; }
  // The game's clock, from its start, and the demo's: the games before it
  // together, then this one's.
  std::int64_t GameClock() const { return course_.last - course_.gameStart; }
  std::int64_t DemoClock() const { return course_.demoClockBefore + (InGame() ? GameClock() : 0); }
  // Whether a game is being played (its start is read, its end not yet).
  bool InGame() const { return course_.gamesStarted > course_.gamesEnded; }
  // The bytes of the file behind what has been read so far, and all of them.
  double FileBytesRead() const { return reader_.FilePosition(); }
  std::uint64_t FileBytes() const { return fileBytes; }
  // The size of the demo file, when known (the viewer's estimate of its frames).
  std::uint64_t fileBytes = 0;
  // The pace in sixteenths of the recorded one (16 is 1x); 0 is as fast as
  // the machine goes.
  void SetPace(int sixteenths) { pace_ = sixteenths; }
  // Puts the canvas of the frame that ended last back into Crt (which a frame
  // end gives away), to be shown while the playback stands there.
  void ShowLastFrame();

  // The player's own part of where a playback stands.
  struct Course {
    std::uint64_t seed = 0;
    std::int64_t frame = 0, gameFrames = 0;
    bool starting = false;  // the game's first frame has not begun yet
    std::int64_t last = 0, gameStart = 0, demoClockBefore = 0;
    int gamesStarted = 0, gamesEnded = 0;
    // The checks of the frames ended since the demo's last record of checks.
    std::array<std::uint16_t, kDemoMaxChecks> checks{};
    int unverified = 0;
    std::int64_t firstUnverified = 0;  // the frame of the first of them
    bool inFrame = false;
    std::int64_t frameStart = 0;  // the first reading of the frame
    std::int64_t startRead = -1;  // the frame whose start reading is frameStart
  };
  // Everything the playback needs to go on from the end of a frame, or from
  // between two games, as if it had played the demo straight to there: a few
  // kilobytes.
  struct Snapshot {
    bool inGame = false;  // at the end of a frame (else before the next game)
    DemoReader::Mark reader;
    Course course;
    GameState state;  // in a game: G, the random state and the WAIT mark
    std::uint64_t rnd = 0;
    bool wait = true;
    std::uint64_t shown = 0;  // the hash of the canvas kept for the game's end
    std::optional<Verifier> verifier;
  };
  Snapshot Take() const;
  // Goes on from `snapshot`, one taken from this playback: what plays now is
  // unwound and the playback plays on from there.
  [[noreturn]] void Resume(const Snapshot& snapshot);

  bool PlaysBack() const override { return true; }
  std::uint64_t Seed(std::uint64_t answer, std::int64_t clock) override;
  std::int64_t Clock(std::int64_t answer, bool waiting) override;
  std::int16_t Key(std::int16_t answer) override;
  void Pumped() override;
  void Closed(std::int64_t clock) override;
  void PassBegins(Loop loop) override;
  void PassEnds(bool endsGame) override;
  void GameEnds() override;
  void View(ViewCommand command) override;
  void ViewSeek(double fraction) override;
  bool Viewing(ViewStatus& status) const override;

 private:
  using Steady = std::chrono::steady_clock;
  // Unwinds a playback going on from a snapshot (Resume) out to Play.
  struct Reposition {};

  // The playback from where it stands (or from the snapshot to resume) to the
  // end of the demo, which may be a recorded close.
  void PlayToEnd();
  // The games from the reader's place on, to the end of the demo.
  void PlayOn();
  void Restore(const Snapshot& snapshot);
  void BeginGame(const GameStart& start);
  DemoReader::Event Expect(DemoReader::Kind kind);
  void Verify(std::int64_t count);
  void CheckEnd();
  void Pace(std::int64_t reading);
  void StopIfRequested();

  DemoReader& reader_;
  bool paced_;
  int pace_ = 16;
  Course course_;
  int gamesTold_ = 0;  // the games whose end onGameEnds has been told
  bool recordedClose_ = false;
  Surface shown_;
  std::optional<std::uint64_t> shownHash_;  // of a canvas kept before a snapshot was resumed
  std::optional<Snapshot> resume_;
  std::int64_t paceClock_ = 0;
  unsigned readings_ = 0;
  Steady::time_point paceTime_{};
};
}  // namespace zorva
