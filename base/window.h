// The game's window `Main` and the platform services the game relies on.
// Every window implementation stands behind this one narrow interface: the SDL
// window of the real game (sdl/), the Windows window (win32/), the browser
// page's (web/) and the simulated one of the tests and zorva-sim (sim/).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "base/surface.h"
#include "base/viewing.h"

namespace zorva {

// Virtual key codes polled by the game.
enum : int {
  VK_SPACE = 0x20,
  VK_LEFT = 0x25,
  VK_RIGHT = 0x27,
  VK_DOWN = 0x28,
  VK_ESCAPE = 0x1B,
};

// The keys the game polls. Every window translates its keyboard's own codes
// into these, and a key press reaches the game only through them.
inline constexpr std::array<int, 5> kGameKeys = {VK_LEFT, VK_RIGHT, VK_DOWN, VK_SPACE, VK_ESCAPE};

// The keys a gamepad or the page's touch controls hold, in this order (bit k
// of what such a source holds is kHeldKeys[k]).
inline constexpr std::array<int, 3> kHeldKeys = {VK_LEFT, VK_RIGHT, VK_SPACE};

// A gamepad's controls in the one layout every window reads its pads in, as
// bits: each window translates its own button codes into these.
enum PadControl : unsigned {
  kPadLeft = 1u << 0,  // the d-pad
  kPadRight = 1u << 1,
  kPadUp = 1u << 2,
  kPadDown = 1u << 3,
  kPadSouth = 1u << 4,  // the four face buttons
  kPadEast = 1u << 5,
  kPadWest = 1u << 6,
  kPadNorth = 1u << 7,
  kPadStart = 1u << 8,
  kPadBack = 1u << 9,
  kPadLeftShoulder = 1u << 10,
  kPadRightShoulder = 1u << 11,
};

// How far a pad's left stick must be pushed sideways, of its whole way, to
// move the ship.
inline constexpr double kStickDeadZone = 0.25;

// What a pad with `controls` held and its left stick at `stickX` (-1 all the
// way left, 1 all the way right) holds of kHeldKeys: the d-pad and the stick
// are LEFT and RIGHT, the face buttons and Start are SPACE.
constexpr unsigned PadHolds(unsigned controls, double stickX) {
  unsigned held = 0;
  if ((controls & kPadLeft) != 0 || stickX < -kStickDeadZone) held |= 1u;
  if ((controls & kPadRight) != 0 || stickX > kStickDeadZone) held |= 2u;
  if ((controls & (kPadSouth | kPadEast | kPadWest | kPadNorth | kPadStart)) != 0) held |= 4u;
  return held;
}

// Flags the game passes to the wave player: asynchronous, no default sound.
constexpr unsigned SND_ASYNC = 0x0001;
constexpr unsigned SND_NODEFAULT = 0x0002;

// Every window's clock starts this long before the window is made, so that
// its first reading is already well above 0 (a fresh gate acts on its second
// poll only when its first reading was positive).
inline constexpr std::int64_t kClockLeadMs = 1000;

// The loop a pass belongs to.
enum class Loop { Title, Game };

// Thrown by the event pump once the window has been closed and Form_Unload
// has run: it carries the end of the program out of whichever loop is active.
struct ProgramEnded {
  int status = 0;
};

// Sees every value that enters a game from outside, call by call, as the
// window hands it over: a recorder is told each answer of the platform, a
// player gives the answers itself and the platform is asked none of them.
class InputTap {
 public:
  virtual ~InputTap() = default;

  // Whether this tap gives the answers (playing back) instead of being told
  // them (recording). While it plays back, the platform's own event pump still
  // runs, but its keys and menu clicks do not reach the game, and ESCAPE or
  // closing the window stops the playback.
  virtual bool PlaysBack() const = 0;

  // A game starts: the seed of its random sequence (the first call of every
  // game). `clock` is the platform's clock at that moment, which the game
  // itself does not read. Returns the seed to use.
  virtual std::uint64_t Seed(std::uint64_t answer, std::int64_t clock) = 0;
  // A clock reading, taken by the busy wait when `waiting`.
  virtual std::int64_t Clock(std::int64_t answer, bool waiting) = 0;
  // A key poll.
  virtual std::int16_t Key(std::int16_t answer) = 0;
  // An event pump has run: recording, its effect on the WAIT check mark is
  // there to see; playing back, the recorded click and close are served here.
  virtual void Pumped() = 0;
  // The event pump ended the program: the window was closed (and, playing
  // back, ESCAPE counts as closing). `clock` is the platform's clock then.
  virtual void Closed(std::int64_t clock) = 0;

  virtual void PassBegins(Loop) {}
  virtual void PassEnds(bool /*endsGame*/) {}
  // PlayGame is about to return.
  virtual void GameEnds() {}

  // Playing back: what the viewer asks (a key, a pad button, the progress bar
  // at `fraction` of the demo's frames), and where the playback stands, for
  // the window to show; false when there is nothing to show.
  virtual void View(ViewCommand) {}
  virtual void ViewSeek(double /*fraction*/) {}
  virtual bool Viewing(ViewStatus&) const { return false; }
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

  // What enters the game from outside. Each call asks the platform (the
  // protected calls below) and passes the answer through the input tap, if
  // one is set; a tap that plays back answers in the platform's place.

  // Milliseconds since an origin shortly before start-up; never negative in
  // practice and held in 64 bits, so it never runs out.
  std::int64_t timeGetTime();
  // A clock reading taken by the busy wait while `remaining` milliseconds are
  // still to go, counted from the window's latest reading: the wait ends at
  // the first reading past that one + remaining.
  std::int64_t WaitReading(std::int64_t remaining);
  // Non-zero while the key is down (0x8000) or when it was pressed since the
  // previous poll of that key (1); the poll clears that record.
  std::int16_t GetAsyncKeyState(int vk);
  // The event pump: shows the canvas, serves menu clicks and the close request.
  void DoEvents();
  // The seed for the random sequence at the start of a game: the platform's
  // (the clock's, as a rule), or the challenge's.
  std::uint64_t TimerSeed();
  // A challenge run: every game seeds its random sequence with `seed` instead
  // of what the platform draws, so that every player who is given the same
  // challenge plays the same games (nothing: the platform's seeds again).
  void SetChallenge(std::optional<std::uint64_t> seed) { challenge_ = seed; }

  // Hooks for following the game pass by pass (the input tap and the
  // simulator's records).
  void PassBegins(Loop loop);
  void PassEnds(bool endsGame);
  void GameEnds();

  // Attaches an input tap (nullptr detaches it); it must outlive its use.
  void SetInputTap(InputTap* tap) { tap_ = tap; }
  // Whether the game's answers come from a tap that plays back.
  bool PlaysBack() const { return tap_ != nullptr && tap_->PlaysBack(); }
  // Playing back: what the viewer asks, handed to the tap, and where the
  // playback stands (false when there is nothing to show).
  void Ask(ViewCommand command) {
    if (PlaysBack()) tap_->View(command);
  }
  void AskSeek(double fraction) {
    if (PlaysBack()) tap_->ViewSeek(fraction);
  }
  bool Viewing(ViewStatus& status) const { return PlaysBack() && tap_->Viewing(status); }
  // While a playback stands still (paused): serves the window's events as the
  // pump does, without the game (the viewer's clicks on WAIT do not reach
  // it); the close and ESCAPE end the playback (ProgramEnded).
  void ServeStanding();
  // Whether the game's sounds are played: a playback is silent at speeds other
  // than 1x and 2x, and on its way to another frame.
  bool Silent() const { return silent_; }
  void SetSilent(bool silent) { silent_ = silent; }

  // Plays a wave file asynchronously; a new sound replaces one still playing.
  // A file that cannot be played plays nothing.
  virtual void sndPlaySoundA(const std::string& file, unsigned flags) = 0;
  // Sends one multimedia command string; nothing is ever opened.
  virtual void mciSendStringA(const std::string& command) = 0;
  // The check mark of OPTION -> WAIT, checked when the program starts. Every
  // window keeps it here; it draws it from WaitChecked() and changes it only
  // through MENU002_Click.
  bool WaitChecked() const { return waitChecked_; }
  void SetWaitChecked(bool checked) { waitChecked_ = checked; }
  // The program's folder, where the sound is read from (G.AppPath), without
  // a trailing separator: the executable's (base/files.h ProgramFolder) or
  // the page's own.
  virtual std::string ProgramFolder() = 0;
  // Sets the window's size, place and caption and shows it: the last step of
  // Form_Load, once the surfaces are ready.
  virtual void ShowMain() = 0;

  // Ends the program after Form_Unload: destroys the window (the throw of
  // ProgramEnded that follows unwinds the loops).
  virtual void End() {}

  // Called with each status line as it is printed (used by the simulator).
  virtual void StatusPrinted(const std::string& /*text*/) {}

 protected:
  // The platform's answers, one call for each game-facing call above.
  virtual std::int64_t ReadClock() = 0;
  // May rest the processor first, but not past the moment the reading that
  // ends the wait comes.
  virtual std::int64_t ReadClockWaiting(std::int64_t remaining) = 0;
  // The key's state, for GetAsyncKeyState. A poll reads the key as it is at
  // that moment: a key pressed while the game waited (in the pacing wait, or
  // since the last event pump) is seen by the very next poll, not only after
  // the next pump, so the next frame's MovePlayer sees a key pressed during
  // this frame's wait. The title loop polls tens of thousands of times a
  // second: a window looks at its keyboard at most once a millisecond.
  virtual std::int16_t PollKey(int vk) = 0;
  // Shows the canvas and serves the pending events: MENU002_Click for a click
  // on WAIT, Form_Unload for the close (which throws ProgramEnded).
  virtual void PumpEvents() = 0;
  virtual std::uint64_t NewSeed() = 0;
  virtual void OnPassBegins(Loop) {}
  virtual void OnPassEnds(bool /*endsGame*/) {}

 private:
  // What a game seeds with when no tap plays back.
  std::uint64_t GameSeed();

  InputTap* tap_ = nullptr;
  std::optional<std::uint64_t> challenge_;
  bool waitChecked_ = true;
  bool silent_ = false;
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
