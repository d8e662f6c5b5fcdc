#include "sim/sim_window.h"

#include "base/wav.h"
#include "flow/form.h"

namespace zorva {

SimWindow::SimWindow(std::int64_t clockStart, std::int64_t work) : clock_(clockStart), work_(work) {}

void SimWindow::Press(int vk) {
  if (KeyRecord* k = keys_.Find(vk)) k->Hold();
}

void SimWindow::Release(int vk) {
  if (KeyRecord* k = keys_.Find(vk)) k->Release();
}

void SimWindow::Tap(int vk) {
  if (KeyRecord* k = keys_.Find(vk)) k->Tap();
}

std::int64_t SimWindow::ReadClockWaiting(std::int64_t) { return ++clock_; }

std::int16_t SimWindow::PollKey(int vk) { return keys_.Poll(vk); }

void SimWindow::sndPlaySoundA(const std::string& file, unsigned flags) {
  sounds_.push_back({file, flags, OpenWaveFile(file).has_value()});  // its headers tell; the samples stay unread
}

void SimWindow::mciSendStringA(const std::string& command) { mci_.push_back(command); }

void SimWindow::PumpEvents() {
  ++pumps_;
  clock_ += work_;
  if (pendingWaitClick_) {
    pendingWaitClick_ = false;
    MENU002_Click();
  }
  if (pendingClose_) {
    pendingClose_ = false;
    Form_Unload();
  }
}

std::uint64_t SimWindow::NewSeed() {
  ++gamesSeeded_;
  if (seedBase_) return *seedBase_ + static_cast<std::uint64_t>(gamesSeeded_ - 1);
  return static_cast<std::uint64_t>(clock_);
}

void SimWindow::End() {
  closed_ = true;
  if (onClose) onClose();
}

void SimWindow::OnPassBegins(Loop loop) {
  if (onPassBegins) onPassBegins(loop);
}

void SimWindow::OnPassEnds(bool endsGame) {
  if (onPassEnds) onPassEnds(endsGame);
}

}  // namespace zorva
