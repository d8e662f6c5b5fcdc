// The game's window in a browser page: our own menu bar over the sunken
// canvas, scaled by whole multiples to fit the page, the keyboard as the game
// polls it, the clock, the page's wave player and the event pump. The pump
// hands the browser a turn that comes back at once, and the picture goes on
// the page at most once per display frame; the pacing wait sleeps. Both come
// back where they left off (Asyncify), so the game's loops run in the page as
// they are written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/key_record.h"
#include "base/window.h"
#include "frame/layout.h"

namespace zorva {

class WebWindow : public Window {
 public:
  // Sizes the page's canvas and listens to the page's keyboard, mouse, focus
  // and size.
  WebWindow();

  // Makes the page's icon from a surface's drawing area.
  void SetIcon(const Surface& icon);

  // Window
  void sndPlaySoundA(const std::string& file, unsigned flags) override;
  void mciSendStringA(const std::string&) override {}
  std::string ExeFolder() override { return "."; }  // the page's own folder
  void ShowMain() override;

  // What the page's events do (called from the browser's event handlers).
  // Returns whether the browser should skip its own use of the key.
  bool Key(const char* code, bool down, bool repeat);
  void Mouse(int type, int x, int y);
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

  double origin_;
  MenuBar menu_;
  Surface picture_;
  std::vector<std::uint32_t> rgba_;
  int waitClicks_ = 0;  // clicks on WAIT not yet served by the event pump
  bool passBegun_ = false;  // the loops have begun their first pass
  bool showDue_ = true;     // a display frame has come since the last show
  bool waiting_ = false;    // a pass waits in the event pump, its canvas whole and not yet shown
  KeyRecords keys_;
  int winW_ = kPictureWidth, winH_ = kPictureHeight;  // the page, in CSS pixels
  int outW_ = kPictureWidth, outH_ = kPictureHeight;  // the page, in device pixels
};

}  // namespace zorva
