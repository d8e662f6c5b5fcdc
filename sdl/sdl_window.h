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

#include "frame/command_line.h"
#include "frame/desktop_window.h"
#include "frame/layout.h"
#include "sdl/sdl_audio.h"

namespace zorva {

// Whether the video driver SDL settled on shows nothing to anyone. SDL falls
// back to such a driver when no display can be reached; only when it was asked
// for explicitly (SDL_VIDEODRIVER) is that what the user wants.
bool IsInvisibleVideoDriver(const char* driver, const char* requested);

class SdlWindow : public DesktopWindow {
 public:
  // Opens SDL, the (still hidden) window, its renderer, the audio device
  // (unless the options say no sound) and the frame log. Throws StartupError
  // when there is no display or no renderer, or the frame log cannot be made.
  // A frame log that cannot be written later ends the program (ProgramEnded
  // with status 1, from the pass that tried) after one line on standard
  // error.
  explicit SdlWindow(WindowOptions options = {});
  ~SdlWindow() override { End(); }

  // Sets the window's icon from a surface's drawing area.
  void SetIcon(const Surface& icon);

  // Window
  void sndPlaySoundA(const std::string& file, unsigned flags) override;
  void mciSendStringA(const std::string& command) override;
  std::string ProgramFolder() override { return zorva::ProgramFolder(nullptr); }
  void ShowMain() override;
  void End() override;

  // What the window shows and how, for those who look closer.
  SDL_Window* Handle() const { return window_; }
  const MenuBar& Menu() const { return menu_; }
  bool IsFullscreen() const;
  Placement CurrentPlacement() const;
  const SdlAudio* Audio() const { return audio_.get(); }
  // The close box, Escape or SIGTERM (which SDL turns into a quit event) wait
  // to be served. They stay queued for the event pump.
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
  const MenuBar& ShownMenu() const override { return menu_; }
  void Present(bool synced) override;

 private:
  using Clock = std::chrono::steady_clock;

  // A gamepad, with what of it the game reads.
  struct Pad {
    SDL_GameController* controller = nullptr;
    unsigned controls = 0;  // PadControl bits
    int stickX = 0;
  };

  void Serve(const SDL_Event& event);
  void ServeWindowEvent(const SDL_WindowEvent& event);
  void ServeKey(const SDL_KeyboardEvent& event);
  void ServePad(const SDL_Event& event);
  Point ToPicture(int x, int y) const;
  void ToggleFullscreen();
  void MeasureRefresh();

  Clock::time_point origin_;
  SDL_Window* window_ = nullptr;
  SDL_Renderer* renderer_ = nullptr;
  SDL_Texture* texture_ = nullptr;
  std::uint32_t windowId_ = 0;
  bool sdl_ = false;
  std::unique_ptr<SdlAudio> audio_;

  MenuBar menu_;
  std::map<SDL_JoystickID, Pad> pads_;
  bool synced_ = false;       // whether presents wait for the display's refresh
  bool accelerated_ = false;  // whether the renderer is the graphics hardware's
};

}  // namespace zorva
