#include "base/window.h"

namespace zorva {

Window* Main = nullptr;

Window::Window() : Crt(324, 324, 2), BG(324, 324, 2) {
  Crt.ForeColor = RGB(0, 0, 255);  // the status line prints in pure blue
}

std::int64_t Window::timeGetTime() {
  if (tap_ == nullptr) return ReadClock();
  return tap_->Clock(tap_->PlaysBack() ? 0 : ReadClock(), false);
}

std::int64_t Window::WaitReading(std::int64_t remaining) {
  if (tap_ == nullptr) return ReadClockWaiting(remaining);
  return tap_->Clock(tap_->PlaysBack() ? 0 : ReadClockWaiting(remaining), true);
}

std::int16_t Window::GetAsyncKeyState(int vk) {
  if (tap_ == nullptr) return PollKey(vk);
  return tap_->Key(tap_->PlaysBack() ? 0 : PollKey(vk));
}

std::uint64_t Window::GameSeed() {
  // The platform is asked all the same: a window may count its games there.
  const std::uint64_t drawn = NewSeed();
  return challenge_ ? *challenge_ : drawn;
}

std::uint64_t Window::TimerSeed() {
  if (tap_ == nullptr) return GameSeed();
  return tap_->Seed(tap_->PlaysBack() ? 0 : GameSeed(), ReadClock());
}

void Window::DoEvents() {
  if (tap_ == nullptr) {
    PumpEvents();
    return;
  }
  const bool mark = WaitChecked();
  try {
    PumpEvents();
  } catch (const ProgramEnded&) {
    tap_->Closed(tap_->PlaysBack() ? 0 : ReadClock());
    throw;
  }
  if (tap_->PlaysBack()) {
    // The viewer's clicks do not reach the game; ESCAPE stops the playback.
    SetWaitChecked(mark);
    if (PollKey(VK_ESCAPE) != 0) {
      tap_->Closed(0);
      throw ProgramEnded{0};
    }
  }
  tap_->Pumped();
}

void Window::ServeStanding() {
  const bool mark = WaitChecked();
  PumpEvents();
  SetWaitChecked(mark);
  if (PollKey(VK_ESCAPE) != 0) throw ProgramEnded{0};
}

void Window::PassBegins(Loop loop) {
  if (tap_ != nullptr) tap_->PassBegins(loop);
  OnPassBegins(loop);
}

void Window::PassEnds(bool endsGame) {
  OnPassEnds(endsGame);
  if (tap_ != nullptr) tap_->PassEnds(endsGame);
}

void Window::GameEnds() {
  if (tap_ != nullptr) tap_->GameEnds();
}

std::int64_t timeGetTime() { return Main->timeGetTime(); }
std::int16_t GetAsyncKeyState(int vk) { return Main->GetAsyncKeyState(vk); }
void sndPlaySoundA(const std::string& file, unsigned flags) {
  if (!Main->Silent()) Main->sndPlaySoundA(file, flags);
}
void mciSendStringA(const std::string& command) { Main->mciSendStringA(command); }
void DoEvents() { Main->DoEvents(); }

}  // namespace zorva
