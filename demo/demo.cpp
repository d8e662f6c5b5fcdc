#include "demo/demo.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <thread>

#include "base/files.h"
#include "base/rnd.h"
#include "flow/form.h"
#include "flow/game.h"
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
    while (reader_.Next().kind == DemoReader::Kind::GameStart) {
      BeginGame(reader_.Start());
      PlayGame();
      ++result.games;
    }
  } catch (const ProgramEnded& end) {
    if (end.status != 0) throw;  // the window failed: not a stop
    if (recordedClose_) {
      ++result.games;
      reader_.Next();  // nothing may follow the close
    } else {
      result.stopped = true;
    }
  }
  result.frames = frame_;
  return result;
}

void DemoPlayer::BeginGame(const GameStart& start) {
  const std::string folder = G.AppPath;  // the sound is played from here, not the recorder's folder
  if (verifier) verifier->GameStarts(start);
  G = start.state;
  G.AppPath = folder;
  SetRndState(start.rnd);
  Main->SetWaitChecked(start.wait);
  seed_ = start.seed;
  last_ = start.clock;
  gameFrames_ = 0;
  shown_ = Surface();
  starting_ = true;
  paceClock_ = start.clock;
  paceTime_ = Steady::now();
  if (onGameStarts) onGameStarts(start);
}

DemoReader::Event DemoPlayer::Expect(DemoReader::Kind kind) {
  DemoReader::Event e = reader_.Next();
  for (; e.kind == DemoReader::Kind::Checks; e = reader_.Next()) Verify(e.value);
  if (e.kind != kind) {
    if (verifier && inFrame_ && kind == DemoReader::Kind::Wait && e.kind == DemoReader::Kind::Clock) {
      verifier->Unpaced(frame_, e.value - frameStart_);
    }
    // The start of a game counts as part of its first frame.
    throw Desync(starting_ ? frame_ + 1 : frame_,
                 std::string("the game asks for ") + Describe(kind) + " where the recording has " + Describe(e.kind));
  }
  return e;
}

// The demo's checks cover exactly the frames ended since its previous ones
// (the reader makes sure of that).
void DemoPlayer::Verify(std::int64_t count) {
  const auto& recorded = reader_.Checks();
  for (int i = 0; i < unverified_ && i < count; ++i) {
    if (checks_[static_cast<std::size_t>(i)] != recorded[static_cast<std::size_t>(i)]) {
      throw Desync(firstUnverified_ + i, "the game's state differs from the recording");
    }
  }
  unverified_ = 0;
}

void DemoPlayer::Pace(std::int64_t reading) {
  // The reader keeps the readings of a game in order and close together.
  const std::int64_t ahead = reading - paceClock_;
  if (ahead <= 0) return;
  paceClock_ = reading;
  paceTime_ += std::chrono::milliseconds(std::min(ahead, kLongestPauseMs));
  Steady::time_point now = Steady::now();
  if (paceTime_ > now + std::chrono::milliseconds(kLongestPauseMs)) {
    paceTime_ = now + std::chrono::milliseconds(kLongestPauseMs);
  }
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

std::uint64_t DemoPlayer::Seed(std::uint64_t, std::int64_t) { return seed_; }

std::int64_t DemoPlayer::Clock(std::int64_t, bool waiting) {
  const DemoReader::Event e = Expect(waiting ? DemoReader::Kind::Wait : DemoReader::Kind::Clock);
  if (startRead_ != frame_) startRead_ = frame_, frameStart_ = e.value;
  last_ = e.value;
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
    last_ = e.value;
    Expect(DemoReader::Kind::GameEnd);
    CheckEnd();
    recordedClose_ = true;
    Form_Unload();
  }
}

void DemoPlayer::Closed(std::int64_t) {}

void DemoPlayer::PassBegins(Loop loop) {
  if (loop != Loop::Game) return;
  starting_ = false;
  inFrame_ = true;
  ++frame_;
  ++gameFrames_;
}

void DemoPlayer::PassEnds(bool endsGame) {
  inFrame_ = false;
  Expect(DemoReader::Kind::FrameEnd);  // the reader allows no more than kDemoMaxChecks unchecked
  if (unverified_ == 0) firstUnverified_ = frame_;
  checks_[static_cast<std::size_t>(unverified_++)] = StateCheck(G, RndState(), Main->WaitChecked());
  if (!endsGame) KeepShown(shown_);
}

void DemoPlayer::GameEnds() {
  Expect(DemoReader::Kind::GameEnd);
  CheckEnd();
}

void DemoPlayer::CheckEnd() {
  const Trailer& recorded = reader_.LastTrailer();
  const Trailer played{gameFrames_, G.Score, CanvasHash(shown_)};
  if (played.frames != recorded.frames || played.score != recorded.score || played.canvas != recorded.canvas) {
    if (verifier) verifier->EndDiffers(played, recorded);
    throw Desync(frame_, "the game ends with " + DescribeEnd(played) + ", the recording with " + DescribeEnd(recorded));
  }
  if (verifier) verifier->GameEnds(G, RndState(), last_);
  if (onGameEnds) onGameEnds(recorded);
}

}  // namespace zorva
