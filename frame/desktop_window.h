// What the desktop windows (SDL, Windows) do alike, written once: when the
// canvas is shown, when a paced game frame waits to be shown from its pacing
// wait, how often a key poll looks at the keyboard, where the wait's deadline
// lies, what a key, a pad or the focus does to the key record, and the frame
// log. A window below it only reads the platform's clock and sleeps, puts the
// composed picture on the screen, reads its raw events and translates them.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "base/files.h"
#include "base/key_record.h"
#include "base/window.h"
#include "frame/command_line.h"
#include "frame/layout.h"

namespace zorva {

// The window could not be opened; the message names the cause.
struct StartupError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class DesktopWindow : public Window {
 public:
  // How often the canvas was shown so far.
  std::uint64_t Presents() const { return presents_; }
  // Shortest time between two shows: one refresh of the display, in µs.
  std::int64_t RefreshMicros() const { return refresh_; }
  // The picture as last composed: the menu bar over the sunken canvas.
  const Surface& Picture() const { return picture_; }
  bool HasFocus() const { return focus_; }
  // Why the frame log could not be written ("cannot write the frame log F:
  // why"), once a write has failed and ended the program; empty till then.
  const std::string& FrameLogError() const { return frameLogError_; }
  // Whether the viewer has asked a playback to stop: the close box, Escape
  // or SIGTERM wait to be served.
  virtual bool StopRequested() = 0;
  // Shows the player a run-time error that ended the game, in a message box.
  virtual void Alert(const std::string& what) = 0;

 protected:
  // Keeps the window's options and opens the frame log when they name one
  // (throws StartupError when it cannot be made). A frame log that cannot be
  // written later ends the program (ProgramEnded with status 1, from the pass
  // that tried), its sentence in FrameLogError().
  explicit DesktopWindow(WindowOptions options);

  const WindowOptions& Options() const { return options_; }

  // The platform's part.
  // Whether the window is there (it is gone after End).
  virtual bool IsOpen() const = 0;
  // Microseconds on the platform's steady clock since an origin kClockLeadMs
  // before the window was made.
  virtual std::int64_t Micros() const = 0;
  // Rests the thread until Micros() reaches `micros`.
  virtual void SleepUntil(std::int64_t micros) = 0;
  // Serves the keyboard's and the gamepads' pending events, and nothing that
  // changes how a key counts (the focus, the menu, the close): they stay for
  // the pump.
  virtual void ServeKeys() = 0;
  // Serves every pending event: MENU002_Click for a click on WAIT,
  // Form_Unload for the close (which throws ProgramEnded).
  virtual void ServeEvents() = 0;
  // The menu bar as the picture shows it (a window with a menu of the
  // system's own shows its own, closed).
  virtual const MenuBar& ShownMenu() const = 0;
  // Puts Picture() on the screen, in step with the display's refresh when
  // `synced` (a window may not be able to).
  virtual void Present(bool synced) = 0;

  // What the platform's events do, once translated.
  // A key of the keyboard, by its virtual key code, went down (a repeat of
  // the system's when `repeat`) or up.
  void KeyChanged(int vk, bool down, bool repeat);
  // What the gamepads hold of kHeldKeys, and their controls (PadControl
  // bits), all of them together.
  void PadsHold(unsigned held, unsigned controls);
  // The mouse's left button went down, or moved held, at point `p` of the
  // picture: true when it was on a playback's progress bar, which seeks.
  bool Seeks(Point p);
  // The window got or lost the keyboard.
  void FocusChanged(bool focused);
  void SetRefreshMicros(std::int64_t micros) { refresh_ = micros; }
  // Makes the window's parts with `make`: when any of it fails, what was
  // made is let go (End) before the failure goes on.
  template <class Make>
  void Opening(Make make) {
    try {
      make();
    } catch (...) {
      End();
      throw;
    }
  }
  // Composes Picture() from the canvas, the menu bar and the WAIT mark.
  void Compose();
  // Every key up; the window's End calls it.
  void ForgetKeys();
  // Whether the keyboard or a pad holds the key.
  bool Held(int vk) {
    const KeyRecord* key = keys_.Find(vk);
    return key != nullptr && key->Down();
  }

  // Window
  std::int64_t ReadClock() final;
  std::int64_t ReadClockWaiting(std::int64_t remaining) final;
  std::int16_t PollKey(int vk) final;
  void PumpEvents() final;
  void OnPassBegins(Loop loop) final { loop_ = loop; }
  void OnPassEnds(bool endsGame) final;

 private:
  void Show(bool synced);

  std::int64_t lastReading_ = 0;
  KeyRecords keys_;  // held on the keyboard, on a gamepad or both
  bool focus_ = false;
  unsigned padHeld_ = 0;                              // the bits of kHeldKeys the gamepads last held
  unsigned padControls_ = 0;                          // and their controls
  std::int64_t keysRead_ = -(std::int64_t{1} << 62);  // when a poll last served the keys' events, µs
  std::int64_t refresh_ = 16667;                      // µs
  std::int64_t lastPresent_ = -(std::int64_t{1} << 62);
  std::uint64_t presents_ = 0;
  bool framePending_ = false;  // composed by the pump, to be shown in the pacing wait
  Loop loop_ = Loop::Title;
  Surface picture_;
  WindowOptions options_;
  LineLog frameLog_;
  bool logged_ = false;  // whether the frame log has its first line
  std::string frameLogError_;
};

}  // namespace zorva
