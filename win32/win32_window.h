// The real window on Windows, on the Win32 API itself: caption and icon, a
// real menu bar with OPTION -> WAIT, the sunken canvas scaled by whole
// multiples of the display's own pixels, Alt+Enter fullscreen, the keyboard
// and XInput gamepads as the game polls them, the clock with its pacing wait,
// the wave player, the frame log and the event pump.
#pragma once

#include "win32/windows_api.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/files.h"
#include "base/key_record.h"
#include "base/window.h"
#include "frame/command_line.h"
#include "frame/layout.h"
#include "win32/wave_out.h"

namespace zorva {

// The window could not be opened; the message names the cause.
struct StartupError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The largest whole multiple of the 324 x 324 canvas that fits a client area
// of w x h pixels (never below 1), and where it goes, centred.
struct CanvasPlace {
  int scale = 1, x = 0, y = 0;
};
CanvasPlace FitCanvas(int w, int h);

// What one gamepad holds, as XInput reports it: LEFT, RIGHT and SPACE (kHeldKeys).
std::array<bool, 3> PadKeys(unsigned buttons, int stickX);

class Win32Window : public Window {
 public:
  // Registers the window class and makes the (still hidden) window with its
  // menu, the wave player (unless the options say no sound) and the frame
  // log. Throws StartupError when any of it cannot be made.
  explicit Win32Window(WindowOptions options = {});
  ~Win32Window() override;

  // Window
  void sndPlaySoundA(const std::string& file, unsigned flags) override;
  void mciSendStringA(const std::string& command) override;
  std::string ExeFolder() override { return ProgramFolder(nullptr); }
  void ShowMain() override;
  void End() override;

  HWND Handle() const { return window_; }
  // Why the frame log could not be written, which ended the program; empty
  // while it can.
  const std::string& FrameLogError() const { return frameLogError_; }

  // Asked while a demo plays back between the game's pumps: serves the
  // window's messages as the pump does (so that it is painted, moved and
  // answers), and says whether the close or ESCAPE asks the playback to stop.
  bool StopRequested();

 protected:
  std::int64_t ReadClock() override;
  std::int64_t ReadClockWaiting(std::int64_t remaining) override;
  std::int16_t PollKey(int vk) override;
  void PumpEvents() override;
  std::uint64_t NewSeed() override;
  void OnPassBegins(Loop loop) override { loop_ = loop; }
  void OnPassEnds(bool endsGame) override;

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l);
  LRESULT Serve(UINT message, WPARAM w, LPARAM l);
  void Key(WPARAM vk, bool down, LPARAM l);
  void ReadKeys();
  // Takes every message waiting and hands it to the window procedure.
  void ServeMessages();
  void LoseFocus();
  void PollPads();
  void ToggleFullscreen();
  // Shows WAIT's check mark as WaitChecked() has it.
  void ShowMark();
  void MeasureRefresh();
  void SleepUntil(std::int64_t tick);
  std::int64_t Ticks() const;
  // Shows the composed canvas in the client area.
  void Show();
  void Paint(HDC dc);

  WindowOptions options_;
  std::int64_t frequency_ = 1, origin_ = 0;  // performance counter ticks per second; the clock's 0
  std::int64_t lastReading_ = 0;
  HWND window_ = nullptr;
  HMENU menu_ = nullptr, option_ = nullptr;
  HANDLE timer_ = nullptr;
  bool period_ = false;  // whether timeBeginPeriod(1) is in force
  std::unique_ptr<WaveOut> audio_;

  bool markShown_ = true;  // the check mark the menu shows
  bool focus_ = false;
  bool closing_ = false;  // the window asked to close, served by the pump
  int clicks_ = 0;        // clicks on WAIT not yet served
  KeyRecords keys_;
  std::int64_t keysRead_ = 0;  // when the poll last looked at the keyboard, in ticks
  unsigned padHeld_ = 0;       // the bits of kHeldKeys the gamepads last held
  std::array<bool, 4> padPresent_{};
  std::int64_t padSearch_ = -1000000;  // when the absent pads were last looked for
  Loop loop_ = Loop::Title;
  LineLog frameLog_;
  bool logged_ = false;  // whether the frame log has its first line
  std::string frameLogError_;

  Surface picture_;
  std::vector<std::uint32_t> canvas_;  // 324 x 324 as the DIB wants it: blue, green, red, unused
  std::int64_t refresh_ = 16;          // ms between two presents at most
  std::int64_t lastPresent_ = -1000;
  bool framePending_ = false;
  bool fullscreen_ = false;
  WINDOWPLACEMENT placement_{};
};

}  // namespace zorva
