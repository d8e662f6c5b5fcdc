#include "demo/demo.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <optional>
#include <thread>
#include <utility>

#include "base/files.h"
#include "base/rnd.h"
#include "demo/viewer.h"
#include "flow/form.h"
#include "flow/game.h"
#include "present/starfield.h"
#include "rules/state.h"

namespace zorva {

namespace {

// Keeps the canvas of the game frame just ended in `shown`, for the game's
// end. Every game frame paints the whole drawing area (the starfield) before
// anything reads the canvas, and the windows compose their pictures from it
// anew at each show: so the canvas may take the old kept pixels in exchange,
// and only the game's first frame is copied.
void KeepShown(Surface& shown) {
  if (shown.Width() == Main->Crt.Width() && shown.Height() == Main->Crt.Height()) {
    shown.SwapPixels(Main->Crt);
  } else {
    shown = Main->Crt;
  }
}

// Pauses of the recorded clock longer than this (a machine that slept) are
// cut to it when playing at the recorded pace.
constexpr std::int64_t kLongestPauseMs = 250;
// How often a playback asks whether to stop: while it waits for the recorded
// pace, and between clock readings.
constexpr std::int64_t kStopPollMs = 50;
constexpr unsigned kStopPollReadings = 256;

const char* Describe(DemoReader::Kind kind) {
  switch (kind) {
    case DemoReader::Kind::GameStart: return "the start of a game";
    case DemoReader::Kind::Clock: return "a clock reading";
    case DemoReader::Kind::Wait: return "a clock reading of the busy wait";
    case DemoReader::Kind::Key: return "a key poll";
    case DemoReader::Kind::Pump: return "an event pump";
    case DemoReader::Kind::FrameEnd: return "the end of a frame";
    case DemoReader::Kind::Checks: return "the checks of frames";
    case DemoReader::Kind::GameEnd: return "the end of the game";
    case DemoReader::Kind::End: return "the end of the demo";
  }
  return "?";
}

// Sets the input tap of `Main` for as long as it lives.
struct Attached {
  explicit Attached(InputTap* tap) { Main->SetInputTap(tap); }
  ~Attached() { Main->SetInputTap(nullptr); }
  Attached(const Attached&) = delete;
  Attached& operator=(const Attached&) = delete;
};

}  // namespace

// The recorder.

DemoRecorder::DemoRecorder(const std::string& path) : writer_(path) {}
DemoRecorder::DemoRecorder(std::unique_ptr<DemoOutput> output) : writer_(std::move(output)) {}

template <class Call>
void DemoRecorder::Write(Call call) {
  if (failed_) return;
  try {
    call();
  } catch (const DemoError& e) {
    failed_ = true;
    inGame_ = false;
    if (onError) onError(e.what());
  }
}

void DemoRecorder::Finish() {
  Write([this] { writer_.Finish(); });
}

std::uint64_t DemoRecorder::Seed(std::uint64_t answer, std::int64_t clock) {
  GameStart start;
  start.firstPass = passes_;
  start.clock = clock;
  start.seed = answer;
  start.rnd = RndState();
  start.wait = Main->WaitChecked();
  start.state = G;
  start.state.AppPath.clear();
  Write([&] {
    writer_.StartGame(start);
    inGame_ = true;
  });
  frames_ = 0;
  shown_ = Surface();
  return answer;
}

std::int64_t DemoRecorder::Clock(std::int64_t answer, bool waiting) {
  if (inGame_) Write([&] { writer_.Clock(answer, waiting); });
  return answer;
}

std::int16_t DemoRecorder::Key(std::int16_t answer) {
  if (inGame_) Write([&] { writer_.Key(answer); });
  return answer;
}

void DemoRecorder::Pumped() {
  if (inGame_) Write([&] { writer_.Pump(Main->WaitChecked()); });
}

void DemoRecorder::Closed(std::int64_t clock) {
  if (inGame_) {
    Write([&] { writer_.Close(Main->WaitChecked(), clock); });
    EndGame();
  }
  Finish();
}

void DemoRecorder::PassBegins(Loop loop) {
  ++passes_;
  if (inGame_ && loop == Loop::Game) ++frames_;
}

void DemoRecorder::PassEnds(bool endsGame) {
  if (!inGame_) return;
  // The canvas as the event pump of this frame showed it; the frame that
  // ends the game shows nothing.
  if (!endsGame) KeepShown(shown_);
  Write([&] { writer_.FrameEnd(StateCheck(G, RndState(), Main->WaitChecked())); });
}

void DemoRecorder::GameEnds() {
  if (inGame_) EndGame();
}

void DemoRecorder::EndGame() {
  const Trailer trailer{frames_, G.Score, CanvasHash(shown_)};
  bool written = false;
  Write([&] {
    writer_.EndGame(trailer);
    written = true;
  });
  inGame_ = false;
  if (written && onGameRecorded) onGameRecorded(trailer);
}

// The player.

Desync::Desync(std::int64_t f, const std::string& what)
    : std::runtime_error("desync at frame " + std::to_string(f) + " (" + what + ")"), frame(f) {}

DemoPlayer::DemoPlayer(DemoReader& reader, bool paced) : reader_(reader), paced_(paced) {}

PlaybackResult DemoPlayer::Play() {
  OpenMain();
  const Attached attached(this);
  PlaybackResult result;
  try {
    for (;;) {
      try {
        PlayToEnd();
        if (viewer == nullptr || !viewer->DemoEnds(*this)) break;
      } catch (const Reposition&) {
      }
    }
  } catch (const ProgramEnded& end) {
    if (end.status != 0) throw;  // the window failed: not a stop
    result.stopped = true;
  }
  result.games = course_.gamesEnded;
  result.frames = course_.frame;
  return result;
}

void DemoPlayer::PlayToEnd() {
  try {
    if (resume_) {
      const Snapshot from = *std::exchange(resume_, std::nullopt);
      Restore(from);
      if (from.inGame) ResumeGame();
    }
    PlayOn();
  } catch (const ProgramEnded& end) {
    if (end.status != 0 || !recordedClose_) throw;
    // The window was closed in the recording, as its last record.
    recordedClose_ = false;
    reader_.Next();  // nothing may follow the close
  }
}

void DemoPlayer::PlayOn() {
  for (;;) {
    if (viewer != nullptr) viewer->BetweenGames(*this);
    if (reader_.Next().kind != DemoReader::Kind::GameStart) return;
    BeginGame(reader_.Start());
    PlayGame();
  }
}

void DemoPlayer::BeginGame(const GameStart& start) {
  const std::string folder = G.AppPath;  // the sound is played from here, not the recorder's folder
  if (verifier) verifier->GameStarts(start);
  G = start.state;
  G.AppPath = folder;
  SetRndState(start.rnd);
  Main->SetWaitChecked(start.wait);
  course_.seed = start.seed;
  course_.last = course_.gameStart = start.clock;
  course_.gameFrames = 0;
  ++course_.gamesStarted;
  shown_ = Surface();
  shownHash_.reset();
  course_.starting = true;
  paceClock_ = start.clock;
  paceTime_ = Steady::now();
  if (onGameStarts) onGameStarts(start);
}

DemoPlayer::Snapshot DemoPlayer::Take() const {
  Snapshot s;
  s.inGame = InGame();
  s.reader = reader_.Here();
  s.course = course_;
  if (s.inGame) {
    s.state = G;
    s.state.AppPath.clear();
    s.rnd = RndState();
    s.wait = Main->WaitChecked();
    s.shown = shownHash_ ? *shownHash_ : CanvasHash(shown_);
  }
  if (verifier) s.verifier = *verifier;
  return s;
}

void DemoPlayer::Resume(const Snapshot& snapshot) {
  resume_ = snapshot;
  throw Reposition{};
}

void DemoPlayer::Restore(const Snapshot& s) {
  reader_.Return(s.reader);
  course_ = s.course;
  if (verifier && s.verifier) *verifier = *s.verifier;
  if (s.inGame) {
    const std::string folder = G.AppPath;
    G = s.state;
    G.AppPath = folder;
    // The game's starfield, as its start drew it from its seed.
    Randomize(course_.seed);
    MakeStarfield();
    SetRndState(s.rnd);
    Main->SetWaitChecked(s.wait);
    shownHash_ = s.shown;
  }
  paceClock_ = course_.last;
  paceTime_ = Steady::now();
}

void DemoPlayer::ShowLastFrame() {
  if (shown_.Width() == Main->Crt.Width() && shown_.Height() == Main->Crt.Height()) Main->Crt = shown_;
}

DemoReader::Event DemoPlayer::Expect(DemoReader::Kind kind) {
  DemoReader::Event e = reader_.Next();
  for (; e.kind == DemoReader::Kind::Checks; e = reader_.Next()) Verify(e.value);
  if (e.kind != kind) {
    if (verifier && course_.inFrame && kind == DemoReader::Kind::Wait && e.kind == DemoReader::Kind::Clock) {
      verifier->Unpaced(course_.frame, e.value - course_.frameStart);
    }
    // The start of a game counts as part of its first frame.
    throw Desync(course_.starting ? course_.frame + 1 : course_.frame,
                 std::string("the game asks for ") + Describe(kind) + " where the recording has " + Describe(e.kind));
  }
  return e;
}

// The demo's checks cover exactly the frames ended since its previous ones
// (the reader makes sure of that).
void DemoPlayer::Verify(std::int64_t count) {
  const auto& recorded = reader_.Checks();
  for (int i = 0; i < course_.unverified && i < count; ++i) {
    if (course_.checks[static_cast<std::size_t>(i)] != recorded[static_cast<std::size_t>(i)]) {
      throw Desync(course_.firstUnverified + i, "the game's state differs from the recording");
    }
  }
  course_.unverified = 0;
}

void DemoPlayer::Pace(std::int64_t reading) {
  // The reader keeps the readings of a game in order and close together.
  const std::int64_t ahead = reading - paceClock_;
  if (ahead <= 0) return;
  paceClock_ = reading;
  if (pace_ <= 0) return;
  const auto longest = std::chrono::milliseconds(kLongestPauseMs);
  paceTime_ += std::chrono::microseconds(std::min(ahead, kLongestPauseMs) * 1000 * 16 / pace_);
  Steady::time_point now = Steady::now();
  if (paceTime_ > now + longest) paceTime_ = now + longest;
  while (paceTime_ > now) {
    StopIfRequested();
    const Steady::time_point until = std::min(paceTime_, now + std::chrono::milliseconds(kStopPollMs));
    if (sleep) {
      sleep(std::chrono::ceil<std::chrono::milliseconds>(until - now).count());
    } else {
      std::this_thread::sleep_until(until);
    }
    now = Steady::now();
  }
}

void DemoPlayer::StopIfRequested() {
  if (stopRequested && stopRequested()) throw ProgramEnded{0};
}

std::uint64_t DemoPlayer::Seed(std::uint64_t, std::int64_t) { return course_.seed; }

std::int64_t DemoPlayer::Clock(std::int64_t, bool waiting) {
  const DemoReader::Event e = Expect(waiting ? DemoReader::Kind::Wait : DemoReader::Kind::Clock);
  if (course_.startRead != course_.frame) course_.startRead = course_.frame, course_.frameStart = e.value;
  course_.last = e.value;
  if (++readings_ % kStopPollReadings == 0) StopIfRequested();
  if (paced_) Pace(e.value);
  return e.value;
}

std::int16_t DemoPlayer::Key(std::int16_t) { return static_cast<std::int16_t>(Expect(DemoReader::Kind::Key).value); }

void DemoPlayer::Pumped() {
  const DemoReader::Event e = Expect(DemoReader::Kind::Pump);
  if (e.waitMark != Main->WaitChecked()) MENU002_Click();
  if (verifier) verifier->Pumped(e.waitMark);
  if (e.closed) {
    course_.last = e.value;
    Expect(DemoReader::Kind::GameEnd);
    CheckEnd();
    recordedClose_ = true;
    Form_Unload();
  }
}

void DemoPlayer::Closed(std::int64_t) {}

void DemoPlayer::PassBegins(Loop loop) {
  if (loop != Loop::Game) return;
  course_.starting = false;
  course_.inFrame = true;
  ++course_.frame;
  ++course_.gameFrames;
}

void DemoPlayer::PassEnds(bool endsGame) {
  course_.inFrame = false;
  Expect(DemoReader::Kind::FrameEnd);  // the reader allows no more than kDemoMaxChecks unchecked
  if (course_.unverified == 0) course_.firstUnverified = course_.frame;
  course_.checks[static_cast<std::size_t>(course_.unverified++)] = StateCheck(G, RndState(), Main->WaitChecked());
  if (!endsGame) {
    KeepShown(shown_);
    shownHash_.reset();
  }
  if (viewer != nullptr) viewer->FrameEnds(*this, endsGame);
}

void DemoPlayer::GameEnds() {
  Expect(DemoReader::Kind::GameEnd);
  CheckEnd();
}

void DemoPlayer::CheckEnd() {
  const Trailer& recorded = reader_.LastTrailer();
  const Trailer played{course_.gameFrames, G.Score, shownHash_ ? *shownHash_ : CanvasHash(shown_)};
  if (played.frames != recorded.frames || played.score != recorded.score || played.canvas != recorded.canvas) {
    if (verifier) verifier->EndDiffers(played, recorded);
    throw Desync(course_.frame,
                 "the game ends with " + DescribeEnd(played) + ", the recording with " + DescribeEnd(recorded));
  }
  if (verifier) verifier->GameEnds(G, RndState(), course_.last);
  ++course_.gamesEnded;
  course_.demoClockBefore += course_.last - course_.gameStart;
  if (course_.gamesEnded > gamesTold_) {
    gamesTold_ = course_.gamesEnded;
    if (onGameEnds) onGameEnds(recorded);
  }
}

void DemoPlayer::View(ViewCommand command) {
  if (viewer != nullptr) viewer->Ask(command);
}

void DemoPlayer::ViewSeek(double fraction) {
  if (viewer != nullptr) viewer->SeekToFraction(fraction);
}

bool DemoPlayer::Viewing(ViewStatus& status) const {
  if (viewer == nullptr) return false;
  status = viewer->Status(*this);
  return true;
}

}  // namespace zorva
