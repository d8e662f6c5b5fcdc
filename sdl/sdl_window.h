// The real window on SDL2: caption, icon, our own menu bar, the sunken canvas
// scaled by whole multiples, the keyboard as the game polls it, the clock,
// the wave player and the event pump.
#pragma once

#include <SDL.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

#include "base/files.h"
#include "base/key_record.h"
#include "base/window.h"
#include "frame/command_line.h"
#include "frame/layout.h"
#include "sdl/sdl_audio.h"

namespace zorva {

// The window could not be opened; the message names the cause.
struct StartupError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Whether the video driver SDL settled on shows nothing to anyone. SDL falls
// back to such a driver when no display can be reached; only when it was asked
// for explicitly (SDL_VIDEODRIVER) is that what the user wants.
bool IsInvisibleVideoDriver(const char* driver, const char* requested);

// The folder of the running program, without a trailing separator.
std::string ProgramFolder();

class SdlWindow : public Window {
 public:
  // Opens SDL, the (still hidden) window, its renderer, the audio device
  // (unless the options say no sound) and the frame log. Throws StartupError
  // when there is no display or no renderer, or the frame log cannot be made.
  // A frame log that cannot be written later ends the program (ProgramEnded
  // with status 1, from the pass that tried) after one line on standard
  // error.
  explicit SdlWindow(WindowOptions options = {});
  ~SdlWindow() override;

  // Sets the window's icon from a surface's drawing area.
  void SetIcon(const Surface& icon);

  // Window
  void sndPlaySoundA(const std::string& file, unsigned flags) override;
  void mciSendStringA(const std::string& command) override;
  std::string ExeFolder() override;
  void ShowMain() override;
  void End() override;

  // What the window shows and how, for those who look closer.
  SDL_Window* Handle() const { return window_; }
  const Surface& Picture() const { return picture_; }
  const MenuBar& Menu() const { return menu_; }
  bool HasFocus() const { return focus_; }
  bool IsFullscreen() const;
  Placement CurrentPlacement() const;
  const SdlAudio* Audio() const { return audio_.get(); }
  // Shortest time between two presents: one refresh of the display.
  std::chrono::microseconds RefreshPeriod() const { return refresh_; }
  // How often the canvas was shown so far.
  std::uint64_t Presents() const { return presents_; }
  // Whether the frame log could not be written.
  bool FrameLogFailed() const { return frameLogFailed_; }
  // Whether the viewer has asked to stop: the close box, Escape or SIGTERM
  // (which SDL turns into a quit event) are waiting to be served. They stay
  // queued for the event pump.
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
  using Clock = std::chrono::steady_clock;

  // A gamepad, with what of it the game reads.
  struct Pad {
    SDL_GameController* controller = nullptr;
    std::array<bool, SDL_CONTROLLER_BUTTON_MAX> buttons{};
    int stickX = 0;
  };

  void Serve(const SDL_Event& event);
  // Serves the keyboard's and the gamepads' pending events, for a poll that
  // reads the keys as they are now.
  void ReadKeys();
  void ServeWindowEvent(const SDL_WindowEvent& event);
  void ServeKey(const SDL_KeyboardEvent& event);
  void ServePad(const SDL_Event& event);
  // Feeds the key record from what the gamepads hold now.
  void UpdatePadKeys();
  Point ToPicture(int x, int y) const;
  void ToggleFullscreen();
  void MeasureRefresh();
  // Shows the composed picture, in step with the display's refresh or not.
  void Show(bool synced);

  WindowOptions options_;
  Clock::time_point origin_;
  std::int64_t lastReading_ = 0;
  SDL_Window* window_ = nullptr;
  SDL_Renderer* renderer_ = nullptr;
  SDL_Texture* texture_ = nullptr;
  std::uint32_t windowId_ = 0;
  bool sdl_ = false;
  std::unique_ptr<SdlAudio> audio_;

  MenuBar menu_;
  Surface picture_;
  bool focus_ = false;
  KeyRecords keys_;               // held on the keyboard, on a gamepad or both
  Clock::time_point keysRead_{};  // when the poll last served the keys' events
  std::map<SDL_JoystickID, Pad> pads_;
  unsigned padHeld_ = 0;  // the bits of kHeldKeys the gamepads last held
  Loop loop_ = Loop::Title;
  LineLog frameLog_;
  bool frameLogged_ = false;  // whether the frame log has its first line
  bool frameLogFailed_ = false;

  std::chrono::microseconds refresh_{16667};
  Clock::time_point lastPresent_{};
  std::uint64_t presents_ = 0;
  bool framePending_ = false;  // composed by the pump, to be shown in the pacing wait
  bool synced_ = false;        // whether presents wait for the display's refresh
  bool accelerated_ = false;   // whether the renderer is the graphics hardware's
};

}  // namespace zorva
