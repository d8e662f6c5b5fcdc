#include "frame/desktop_window.h"

#include <algorithm>
#include <cstdio>

#include "base/surface.h"
#include "rules/state.h"

namespace zorva {

namespace {

// A show in step with the display's refresh may hold the pacing wait for up
// to one refresh; it is made only when at least this much is left over.
constexpr std::int64_t kSyncedShowSpareMicros = 2000;

// How often a key poll may look at the keyboard: the title loop polls tens of
// thousands of times a second.
constexpr std::int64_t kKeysReadEveryMicros = 1000;

}  // namespace

DesktopWindow::DesktopWindow(WindowOptions options) : options_(std::move(options)) {
  if (options_.frameLog.empty()) return;
  std::string why;
  frameLog_ = LineLog::Create(options_.frameLog, why);
  if (!frameLog_.IsOpen()) {
    throw StartupError("cannot write the frame log " + PrintablePath(options_.frameLog) + ": " + why);
  }
}

// The clock.

std::int64_t DesktopWindow::ReadClock() {
  lastReading_ = Micros() / 1000;
  return lastReading_;
}

std::int64_t DesktopWindow::ReadClockWaiting(std::int64_t remaining) {
  // The wait ends at the first reading more than `remaining` past the last
  // one, and the moment that reading comes is known: rest until just then.
  const std::int64_t ends = (lastReading_ + std::max<std::int64_t>(remaining, 0) + 1) * 1000;
  // The frame composed by this pass's event pump is shown now, in step with
  // the display when a whole refresh fits before the wait ends.
  if (framePending_) Show(remaining * 1000 >= refresh_ + kSyncedShowSpareMicros);
  SleepUntil(ends);
  return ReadClock();
}

// Keys.

// PollKey's rule (base/window.h): the keys' events are served at most once a
// millisecond.
std::int16_t DesktopWindow::PollKey(int vk) {
  const std::int64_t now = Micros();
  if (IsOpen() && now - keysRead_ >= kKeysReadEveryMicros) {
    keysRead_ = now;
    ServeKeys();
  }
  return keys_.Poll(vk);
}

void DesktopWindow::KeyChanged(int vk, bool down, bool repeat) {
  // Playing back, the viewer's keys ask the playback (the steps and seeks
  // again while held); keys never reach the game then.
  if (const ViewCommand command = ViewCommandOfKey(vk); command != ViewCommand::None && PlaysBack()) {
    if (down && focus_ && (!repeat || RepeatsWhileHeld(command))) Ask(command);
    return;
  }
  KeyRecord* key = keys_.Find(vk);
  if (key == nullptr) return;
  if (!down) {
    key->Release(KeyRecord::kKeyboard);
    return;
  }
  // Only presses made while the window has the keyboard count; a held key's
  // repeats add nothing.
  if (!focus_ || repeat) return;
  key->Hold(KeyRecord::kKeyboard);
}

void DesktopWindow::PadsHold(unsigned held, unsigned controls) {
  const unsigned pressed = controls & ~padControls_;
  padControls_ = controls;
  if (PlaysBack()) {
    for (unsigned bit = 1; bit != 0 && bit <= pressed; bit <<= 1) {
      if ((pressed & bit) != 0 && focus_) Ask(ViewCommandOfPad(bit));
    }
    return;
  }
  // Like a key: a press counts only while the window has the focus.
  keys_.HoldFrom(KeyRecord::kPad, kHeldKeys, padHeld_, held, focus_);
}

bool DesktopWindow::Seeks(Point p) {
  const std::optional<double> at = PlaysBack() ? ProgressAt(p) : std::nullopt;
  if (at) AskSeek(*at);
  return at.has_value();
}

void DesktopWindow::FocusChanged(bool focused) {
  focus_ = focused;
  // Keys held while another window takes the keyboard read as up.
  if (!focused) keys_.Clear();
}

void DesktopWindow::ForgetKeys() {
  focus_ = false;
  keys_.Clear();
  padHeld_ = padControls_ = 0;
}

// Showing the canvas.

void DesktopWindow::Compose() {
  ViewStatus status;
  const bool viewing = Viewing(status);
  ComposePicture(Crt, ShownMenu(), WaitChecked(), picture_, viewing ? &status : nullptr);
}

void DesktopWindow::Show(bool synced) {
  framePending_ = false;
  Present(synced);
  lastPresent_ = Micros();
  ++presents_;
}

void DesktopWindow::PumpEvents() {
  if (!IsOpen()) return;
  ServeEvents();
  // The pass never waits for the display: the canvas is shown at most once
  // per refresh, and passes in between only serve the events.
  if (Micros() - lastPresent_ < refresh_) return;
  Compose();
  // A paced game frame is shown from its pacing wait, where a show in step
  // with the display costs the frame nothing (unless the frame before had no
  // wait to show it in). A demo played back waits in its own way, so its
  // frames are shown at once.
  if (loop_ == Loop::Game && WaitChecked() && !framePending_ && !PlaysBack()) {
    framePending_ = true;
    return;
  }
  Show(false);
}

// The frame log: one line per pass, "LOOP CLOCK WORK FRAME WAIT", where a
// title pass has no WorkTime ("-"). The first line also gives the canvas's
// hash as zorva-sim's dump does, which ties the run to the simulated one (for
// that line only: hashing every pass would cost the title more than its pass).

void DesktopWindow::OnPassEnds(bool endsGame) {
  const bool game = loop_ == Loop::Game;
  if (endsGame) loop_ = Loop::Title;  // back in the title pass that ran the game
  if (!frameLog_.IsOpen() || endsGame) return;
  const long long clock = Micros() / 1000, frame = G.FrameTime, work = G.WorkTime;
  const int wait = WaitChecked() ? 1 : 0;
  char line[160];
  int n = game ? std::snprintf(line, sizeof line, "game %lld %lld %lld %d", clock, work, frame, wait)
               : std::snprintf(line, sizeof line, "title %lld - %lld %d", clock, frame, wait);
  if (!logged_) {
    n += std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n), " %016llx",
                       static_cast<unsigned long long>(CanvasHash(Crt)));
  }
  std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n), "\n");
  logged_ = true;
  std::string why;
  if (!frameLog_.Write(line, why)) {
    frameLogError_ = "cannot write the frame log " + PrintablePath(options_.frameLog) + ": " + why;
    frameLog_ = LineLog();
    throw ProgramEnded{1};
  }
}

}  // namespace zorva
