// The simulated window: a virtual clock, scripted keys and menu clicks, and a
// record of every sound and multimedia command. Deterministic to the bit.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/key_record.h"
#include "base/window.h"

namespace zorva {

class SimWindow : public Window {
 public:
  explicit SimWindow(std::int64_t clockStart = kClockLeadMs, std::int64_t work = 5);

  // The virtual clock. Only the event pump (by `work` ms) and the busy wait
  // (1 ms per reading after its first) move it.
  std::int64_t Clock() const { return clock_; }
  void SetClock(std::int64_t ms) { clock_ = ms; }
  std::int64_t Work() const { return work_; }
  void SetWork(std::int64_t ms) { work_ = ms; }

  // Keys. Press sets the pressed-since-the-previous-poll record when the key
  // was up; Tap is a press and release made between two polls. Codes outside
  // 0..255 are no keys: they are ignored and always read as up.
  void Press(int vk);
  void Release(int vk);
  void Tap(int vk);

  // Events served by the next event pump.
  void ClickWaitInNextPump() { pendingWaitClick_ = true; }
  void CloseInNextPump() { pendingClose_ = true; }

  // A fixed seed base: the k-th game (1-based) seeds with base + k - 1.
  // Without it, each game seeds from the virtual clock.
  void SetSeedBase(std::optional<std::uint64_t> base) { seedBase_ = base; }
  void SetProgramFolder(std::string folder) { programFolder_ = std::move(folder); }

  // What happened.
  struct SoundPlay {
    std::string file;
    unsigned flags;
    bool played;  // the file was a playable wave
  };
  const std::vector<SoundPlay>& Sounds() const { return sounds_; }
  const std::vector<std::string>& MciCommands() const { return mci_; }
  int PumpCount() const { return pumps_; }
  int GamesSeeded() const { return gamesSeeded_; }
  bool Closed() const { return closed_; }

  // Called at the start of every pass, before the pass reads the clock.
  std::function<void(Loop)> onPassBegins;
  // Called at the end of every pass.
  std::function<void(bool endsGame)> onPassEnds;
  // Called when the window is closed, after Form_Unload sent its command and
  // before the program ends.
  std::function<void()> onClose;

  // Window
  void sndPlaySoundA(const std::string& file, unsigned flags) override;
  void mciSendStringA(const std::string& command) override;
  void End() override;
  std::string ProgramFolder() override { return programFolder_; }
  void ShowMain() override {}

 protected:
  std::int64_t ReadClock() override { return clock_; }
  std::int64_t ReadClockWaiting(std::int64_t remaining) override;
  std::int16_t PollKey(int vk) override;
  void PumpEvents() override;
  std::uint64_t NewSeed() override;
  void OnPassBegins(Loop loop) override;
  void OnPassEnds(bool endsGame) override;

 private:
  std::int64_t clock_;
  std::int64_t work_;
  KeyRecords keys_;
  bool pendingWaitClick_ = false;
  bool pendingClose_ = false;
  bool closed_ = false;
  std::optional<std::uint64_t> seedBase_;
  int gamesSeeded_ = 0;
  int pumps_ = 0;
  std::string programFolder_ = ".";
  std::vector<SoundPlay> sounds_;
  std::vector<std::string> mci_;
};

}  // namespace zorva
