// The game's window `Main` and the platform services the game relies on.
// Every window implementation stands behind this one narrow interface: the SDL
// window of the real game (sdl/) and the simulated one of the tests and zorva-sim (sim/).
#pragma once

#include <cstdint>
#include <string>

#include "base/surface.h"

namespace zorva {

// Virtual key codes polled by the game.
enum : int {
  VK_SPACE = 0x20,
  VK_LEFT = 0x25,
  VK_RIGHT = 0x27,
  VK_DOWN = 0x28,
  VK_ESCAPE = 0x1B,
};

// Flags the game passes to the wave player: asynchronous, no default sound.
constexpr unsigned SND_ASYNC = 0x0001;
constexpr unsigned SND_NODEFAULT = 0x0002;

// The loop a pass belongs to.
enum class Loop { Title, Game };

// Thrown by the event pump once the window has been closed and Form_Unload
// has run: it carries the end of the program out of whichever loop is active.
struct ProgramEnded {
  int status = 0;
};

class Window {
 public:
  Window();
  virtual ~Window() = default;
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  // The canvas, the starfield buffer and the three image surfaces.
  Surface Crt;
  Surface BG;
  Surface Titlebmp;
  Surface Res;
  Surface Chr;

  // Milliseconds since an origin shortly before start-up; never negative in
  // practice and held in 64 bits, so it never runs out.
  virtual std::int64_t timeGetTime() = 0;
  // A clock reading taken by the busy wait while `remaining` milliseconds are
  // still to go, counted from the window's latest reading: the wait ends at
  // the first reading past that one + remaining. The platform may rest the
  // processor first, but not past the moment that reading comes.
  virtual std::int64_t WaitReading(std::int64_t remaining) = 0;
  // Non-zero while the key is down (0x8000) or when it was pressed since the
  // previous poll of that key (1); the poll clears that record.
  virtual std::int16_t GetAsyncKeyState(int vk) = 0;
  // Plays a wave file asynchronously; a new sound replaces one still playing.
  // A file that cannot be played plays nothing.
  virtual void sndPlaySoundA(const std::string& file, unsigned flags) = 0;
  // Sends one multimedia command string; nothing is ever opened.
  virtual void mciSendStringA(const std::string& command) = 0;
  // The event pump: shows the canvas, serves menu clicks and the close request.
  virtual void DoEvents() = 0;
  // The check mark of OPTION -> WAIT.
  virtual bool WaitChecked() const = 0;
  virtual void SetWaitChecked(bool checked) = 0;
  // The folder of the executable, without a trailing separator.
  virtual std::string ExeFolder() = 0;
  // The seed for the random sequence at the start of a game.
  virtual std::uint64_t TimerSeed() = 0;
  // Sets the window's size and place and shows it (start-up steps 1 to 8).
  virtual void ShowMain() = 0;

  // Ends the program after Form_Unload: destroys the window (the throw of
  // ProgramEnded that follows unwinds the loops).
  virtual void End() {}

  // Hooks for recording what happens pass by pass (used by the simulator).
  virtual void PassBegins(Loop) {}
  virtual void PassEnds(bool /*endsGame*/) {}
  virtual void StatusPrinted(const std::string& /*text*/) {}
};

// The one window of the program.
extern Window* Main;

// The platform calls, as the game makes them, on `Main`.
std::int64_t timeGetTime();
std::int16_t GetAsyncKeyState(int vk);
void sndPlaySoundA(const std::string& file, unsigned flags);
void mciSendStringA(const std::string& command);
void DoEvents();

}  // namespace zorva
