#include "demo/demo.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <thread>

#include "base/rnd.h"
#include "flow/form.h"
#include "flow/game.h"
#include "rules/state.h"

namespace zorva {

namespace {

// Pauses of the recorded clock longer than this (a machine that slept) are
// cut to it when playing at the recorded pace.
constexpr std::int64_t kLongestPauseMs = 250;

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

std::string Hex(std::uint64_t v) {
  char s[24];
  std::snprintf(s, sizeof s, "%016" PRIx64, v);
  return s;
}

// Sets the input tap of `Main` for as long as it lives.
struct Attached {
  explicit Attached(InputTap* tap) { Main->SetInputTap(tap); }
  ~Attached() { Main->SetInputTap(nullptr); }
  Attached(const Attached&) = delete;
  Attached& operator=(const Attached&) = delete;
};

}  // namespace

std::string DescribeEnd(const Trailer& t) {
  return "score " + std::to_string(t.score) + ", " + std::to_string(t.frames) + " frames, last canvas " + Hex(t.canvas);
}

// The recorder.

DemoRecorder::DemoRecorder(const std::string& path) : writer_(path) {}

std::uint64_t DemoRecorder::Seed(std::uint64_t answer, std::int64_t clock) {
  GameStart start;
  start.firstPass = passes_;
  start.clock = clock;
  start.seed = answer;
  start.rnd = RndState();
  start.wait = Main->WaitChecked();
  start.state = G;
  start.state.AppPath.clear();
  writer_.StartGame(start);
  inGame_ = true;
  frames_ = 0;
  shown_ = Surface();
  return answer;
}

std::int64_t DemoRecorder::Clock(std::int64_t answer, bool waiting) {
  if (inGame_) writer_.Clock(answer, waiting);
  return answer;
}

std::int16_t DemoRecorder::Key(std::int16_t answer) {
  if (inGame_) writer_.Key(answer);
  return answer;
}

void DemoRecorder::Pumped() {
  if (inGame_) writer_.Pump(Main->WaitChecked());
}

void DemoRecorder::Closed(std::int64_t clock) {
  if (inGame_) {
    writer_.Close(Main->WaitChecked(), clock);
    EndGame();
  }
  writer_.Finish();
}

void DemoRecorder::PassBegins(Loop loop) {
  ++passes_;
  if (inGame_ && loop == Loop::Game) ++frames_;
}

void DemoRecorder::PassEnds(bool endsGame) {
  if (!inGame_) return;
  // The canvas as the event pump of this frame showed it; the frame that
  // ends the game shows nothing.
  if (!endsGame) shown_ = Main->Crt;
  writer_.FrameEnd(StateCheck(G, RndState(), Main->WaitChecked()));
}

void DemoRecorder::GameEnds() {
  if (inGame_) EndGame();
}

void DemoRecorder::EndGame() {
  const Trailer trailer{frames_, G.Score, CanvasHash(shown_)};
  writer_.EndGame(trailer);
  inGame_ = false;
  if (onGameRecorded) onGameRecorded(trailer);
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
  } catch (const ProgramEnded&) {
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
  if (verify) carriedIn_ = CheckStart(start, earlier_);
  waitThroughout_ = start.wait;
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
    if (verify && inFrame_ && kind == DemoReader::Kind::Wait && e.kind == DemoReader::Kind::Clock) {
      throw RuleBreak(earlier_.games + 1, "frame " + std::to_string(frame_) + " is paced by WAIT but lasts " +
                                              Grouped(e.value - frameStart_) + " ms, less than the wait allows");
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
  std::int64_t ahead = 0;
  if (__builtin_sub_overflow(reading, paceClock_, &ahead) || ahead <= 0) return;
  paceClock_ = reading;
  paceTime_ += std::chrono::milliseconds(std::min(ahead, kLongestPauseMs));
  const Steady::time_point now = Steady::now();
  if (paceTime_ > now + std::chrono::milliseconds(kLongestPauseMs)) {
    paceTime_ = now + std::chrono::milliseconds(kLongestPauseMs);
  }
  if (paceTime_ > now) std::this_thread::sleep_until(paceTime_);
}

std::uint64_t DemoPlayer::Seed(std::uint64_t, std::int64_t) { return seed_; }

std::int64_t DemoPlayer::Clock(std::int64_t, bool waiting) {
  const DemoReader::Event e = Expect(waiting ? DemoReader::Kind::Wait : DemoReader::Kind::Clock);
  if (verify && e.value < last_) {
    throw RuleBreak(earlier_.games + 1, "the clock goes back from " + Grouped(last_) + " to " + Grouped(e.value) +
                                            " ms in frame " + std::to_string(frame_));
  }
  if (startRead_ != frame_) startRead_ = frame_, frameStart_ = e.value;
  last_ = e.value;
  if (paced_) Pace(e.value);
  return e.value;
}

std::int16_t DemoPlayer::Key(std::int16_t) {
  return static_cast<std::int16_t>(Expect(DemoReader::Kind::Key).value);
}

void DemoPlayer::Pumped() {
  const DemoReader::Event e = Expect(DemoReader::Kind::Pump);
  if (e.waitMark != Main->WaitChecked()) MENU002_Click();
  waitThroughout_ = waitThroughout_ && e.waitMark;
  if (e.closed) {
    if (verify && e.value < last_) {
      throw RuleBreak(earlier_.games + 1, "the clock goes back from " + Grouped(last_) + " to " + Grouped(e.value) +
                                              " ms as the window closes");
    }
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
  if (!endsGame) shown_ = Main->Crt;
}

void DemoPlayer::GameEnds() {
  Expect(DemoReader::Kind::GameEnd);
  CheckEnd();
}

void DemoPlayer::CheckEnd() {
  const Trailer& t = reader_.End();
  const std::uint64_t canvas = CanvasHash(shown_);
  if (t.frames != gameFrames_ || t.score != G.Score || t.canvas != canvas) {
    if (verify) {
      throw RuleBreak(earlier_.games + 1, "it ends with " + DescribeEnd({gameFrames_, G.Score, canvas}) +
                                              ", its trailer says " + DescribeEnd(t));
    }
    throw Desync(frame_, "the game ends with " + DescribeEnd({gameFrames_, G.Score, canvas}) +
                             ", the recording with " + DescribeEnd(t));
  }
  earlier_.games++;
  earlier_.state = G;
  earlier_.rnd = RndState();
  earlier_.clock = last_;
  if (onGameEnds) onGameEnds(t);
}

// Playing a file.

int PlayDemoFile(const std::string& program, const std::string& path, bool paced, std::ostream& out,
                 const std::function<PlaybackResult(DemoPlayer&)>& play, bool verify) {
  const auto fail = [&](int status, const std::string& why) {
    std::cerr << program << ": " << path << ": " << why << std::endl;
    return status;
  };
  std::error_code error;
  if (std::filesystem::is_regular_file(path, error) && std::filesystem::file_size(path, error) > kDemoMaxFileBytes) {
    return fail(2, kDemoTooLarge);
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) return fail(2, "cannot read the demo");
  std::optional<DemoReader> reader;
  std::optional<DemoPlayer> player;
  try {
    reader.emplace(in);
    player.emplace(*reader, paced);
    int game = 0;
    player->verify = verify;
    player->onGameEnds = [&](const Trailer& t) {
      out << "game " << ++game << ": " << DescribeEnd(t) << ": ";
      if (!verify) {
        out << "as recorded" << std::endl;
        return;
      }
      out << "verified, WAIT " << (player->WaitThroughout() ? "checked throughout" : "not always checked");
      if (player->CarriedIn()) out << "; the file begins after other games, whose best score is taken as it is";
      out << std::endl;
    };
    const PlaybackResult result = play(*player);
    if (result.stopped) out << "stopped at frame " << result.frames << std::endl;
  } catch (const RuleBreak& e) {
    return fail(1, e.what());
  } catch (const Desync& e) {
    return fail(1, e.what());
  } catch (const DemoError& e) {
    const std::int64_t frame = player ? player->Frame() : 0;
    return fail(2, e.what() + (frame > 0 ? ", at frame " + std::to_string(frame) : std::string()));
  } catch (const std::exception& e) {
    return fail(1, e.what());
  }
  return 0;
}

}  // namespace zorva
