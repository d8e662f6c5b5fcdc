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

#include "frame/command_line.h"
#include "frame/desktop_window.h"
#include "frame/layout.h"
#include "win32/wave_out.h"

namespace zorva {

// The largest whole multiple of what the window shows (the 324 x 324 canvas,
// or `rows` rows of the picture) that fits a client area of w x h pixels
// (never below 1), and where it goes, centred.
struct CanvasPlace {
  int scale = 1, x = 0, y = 0;
};
CanvasPlace FitCanvas(int w, int h, int rows = kCanvasSize);

// XInput's buttons in the pads' one layout (PadControl bits).
unsigned PadControls(unsigned buttons);

class Win32Window : public DesktopWindow {
 public:
  // Registers the window class and makes the (still hidden) window with its
  // menu, the wave player (unless the options say no sound) and the frame
  // log. Throws StartupError when any of it cannot be made.
  explicit Win32Window(WindowOptions options = {});
  ~Win32Window() override { End(); }

  // Window
  void sndPlaySoundA(const std::string& file, unsigned flags) override;
  void mciSendStringA(const std::string& command) override;
  std::string ProgramFolder() override { return zorva::ProgramFolder(nullptr); }
  void ShowMain() override;
  void End() override;

  HWND Handle() const { return window_; }

  // Asked while a demo plays back between the game's pumps: serves the
  // window's messages as the pump does (so that it is painted, moved and
  // answers), and says whether the close or ESCAPE asks the playback to stop.
  bool StopRequested() override;
  void Alert(const std::string& what) override;

 protected:
  std::uint64_t NewSeed() override;
  // DesktopWindow
  bool IsOpen() const override { return window_ != nullptr; }
  std::int64_t Micros() const override;
  void SleepUntil(std::int64_t micros) override;
  void ServeKeys() override;
  void ServeEvents() override;
  const MenuBar& ShownMenu() const override { return closedMenu_; }
  void Present(bool synced) override;

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l);
  LRESULT Serve(UINT message, WPARAM w, LPARAM l);
  // Takes every message waiting and hands it to the window procedure.
  void ServeMessages();
  void PollPads();
  void ToggleFullscreen();
  // Shows WAIT's check mark as WaitChecked() has it.
  void ShowMark();
  void MeasureRefresh();
  std::int64_t Ticks() const;
  void Paint(HDC dc);
  // The smallest size the window may be given.
  POINT LeastSize() const;
  // A point of the client area as a point of the picture at 1x.
  Point ToPicture(int x, int y) const;

  std::int64_t frequency_ = 1, origin_ = 0;  // performance counter ticks per second; the clock's 0
  HWND window_ = nullptr;
  HMENU menu_ = nullptr, option_ = nullptr;
  HANDLE timer_ = nullptr;
  bool period_ = false;  // whether timeBeginPeriod(1) is in force
  std::unique_ptr<WaveOut> audio_;

  bool markShown_ = true;  // the check mark the menu shows
  bool closing_ = false;   // the window asked to close, served by the pump
  int clicks_ = 0;         // clicks on WAIT not yet served
  std::array<bool, 4> padPresent_{};
  std::int64_t padSearch_ = -1000000;  // when the absent pads were last looked for
  const MenuBar closedMenu_;           // the picture's own menu bar, under the system's

  // The rows of the picture the client area shows: the canvas below the
  // system's menu, or the whole picture (a playback's bar above the canvas).
  int top_ = kMenuBarHeight, rows_ = kCanvasSize;
  std::vector<std::uint32_t> canvas_;  // 324 x rows_ as the DIB wants it: blue, green, red, unused
  bool fullscreen_ = false;
  WINDOWPLACEMENT placement_{};
};

}  // namespace zorva
