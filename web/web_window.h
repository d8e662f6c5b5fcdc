// The game's window in a browser page: our own menu bar over the sunken
// canvas, scaled by whole multiples to fit the page (below 1x only when the
// page is smaller than the picture), the keyboard, the touch controls and the
// gamepads as the game polls them, the clock, the page's wave player and the
// event pump. While a demo plays back, the keys, the pads' buttons, the
// picture's bar and the page's controls beside it ask the viewer. The pump
// hands the browser a turn that comes back at once, and the picture goes on
// the page at most once per display frame; the pacing wait sleeps. Both come
// back where they left off (Asyncify), so the game's loops run in the page as
// they are written.
#pragma once

#include <emscripten/html5.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/key_record.h"
#include "base/window.h"
#include "frame/layout.h"

namespace zorva {

class WebWindow : public Window {
 public:
  // Sizes the page's canvas, listens to the page's keyboard, mouse, touches,
  // focus and size, and shows the touch controls where there is a touch screen.
  WebWindow();

  // Makes the page's icon from a surface's drawing area.
  void SetIcon(const Surface& icon);

  // Window
  void sndPlaySoundA(const std::string& file, unsigned flags) override;
  void mciSendStringA(const std::string&) override {}
  std::string ProgramFolder() override { return "."; }  // the page's own folder
  void ShowMain() override;

  // What the page's events do (called from the browser's event handlers).
  // Returns whether the browser should skip its own use of the key.
  bool Key(const char* code, bool down, bool repeat);
  // The mouse at (x, y), with its left button `held`.
  void Mouse(int type, int x, int y, bool held);
  // Returns whether the browser should skip its own use of the touches: all
  // but those on the page's demo buttons and on a playback's controls.
  bool Touch(int type, const EmscriptenTouchEvent& e);
  void Blur();
  void Layout();
  void DisplayFrame();

 protected:
  std::int64_t ReadClock() override;
  std::int64_t ReadClockWaiting(std::int64_t remaining) override;
  std::int16_t PollKey(int vk) override;
  void PumpEvents() override;
  std::uint64_t NewSeed() override;
  void OnPassBegins(Loop) override { passBegun_ = true; }

 private:
  // Puts the canvas with its menu bar on the page and asks for the next
  // display frame.
  void Show();
  // A point of the page (CSS pixels) as a point of the picture at 1x.
  Point ToPicture(int x, int y) const;
  // A press, or a move held, at `p`: true when it was on a playback's bar,
  // which seeks there.
  bool Seeks(Point p);
  // Shows or hides the touch controls, and places the picture again.
  void ShowControls(bool shown);
  // LEFT, RIGHT and SPACE as one source holds them now (bits in the order
  // of kHeldKeys), from what it held before.
  void HoldKeys(unsigned source, unsigned& held, unsigned now);
  // The gamepads, read at most once a millisecond.
  void ReadPads();

  double origin_;
  MenuBar menu_;
  Surface picture_;
  std::vector<std::uint32_t> rgba_;
  int waitClicks_ = 0;      // clicks on WAIT not yet served by the event pump
  bool passBegun_ = false;  // the loops have begun their first pass
  bool showDue_ = true;     // a display frame has come since the last show
  bool waiting_ = false;    // a pass waits in the event pump, its canvas whole and not yet shown
  KeyRecords keys_;
  double placeX_ = 0, placeY_ = 0, placeScale_ = 1;  // the picture's place, CSS pixels
  bool controls_ = false;                            // the touch controls are shown
  unsigned touchHeld_ = 0;                           // LEFT, RIGHT, SPACE held by touch controls
  unsigned padHeld_ = 0;                             // ... and by the gamepads
  unsigned padControls_ = 0;                         // the gamepads' controls held (PadControl bits)
  bool viewing_ = false;                             // the page shows a playback's controls
  long menuTouch_ = -1;                              // the touch that began on the picture, or -1
  bool seekHeld_ = false;                            // the press on the picture began on a playback's bar
  std::int64_t padsRead_ = -1;                       // the clock when the pads were read last
};

}  // namespace zorva
