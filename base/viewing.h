// Watching a demo as a viewer does: what a viewer asks of a playback, by which
// key or pad button in every window, and what a window shows of where the
// playback stands. The keys are virtual key codes, which each window
// translates its own keyboard's codes into, as it does the game's keys.
#pragma once

#include <cstdint>

namespace zorva {

enum class ViewCommand {
  None,
  PauseResume,
  StepBack,     // one frame back, paused
  StepForward,  // one frame on, paused
  Slower,       // down the speeds, to ¼×
  Faster,       // up the speeds, to as fast as the machine allows
  NormalSpeed,  // 1×
  Back5s,       // five seconds of game clock back
  Forward5s,
  Back30s,
  Forward30s,
  PreviousGame,  // the start of this game, or of the one before when it has just begun
  NextGame,
  ToStart,  // the demo's first frame
  ToEnd,    // its last frame, paused
};

// The virtual key codes of the keys a viewer uses (beside VK_SPACE, VK_LEFT,
// VK_RIGHT and VK_DOWN of the game's).
enum : int {
  VK_BACK = 0x08,
  VK_PRIOR = 0x21,  // Page Up
  VK_NEXT = 0x22,   // Page Down
  VK_END = 0x23,
  VK_HOME = 0x24,
  VK_UP = 0x26,
  VK_J = 0x4A,
  VK_K = 0x4B,
  VK_L = 0x4C,
  VK_OEM_COMMA = 0xBC,
  VK_OEM_PERIOD = 0xBE,
  VK_OEM_4 = 0xDB,  // [
  VK_OEM_6 = 0xDD,  // ]
};

// What a key asks of a playback: SPACE or K pauses and resumes, comma and
// period step a frame back and on, LEFT and RIGHT go five seconds back and on,
// J and L thirty, DOWN or [ is slower and UP or ] faster, BACKSPACE is 1×,
// Page Up and Page Down the game before and the next, HOME and END the demo's
// start and end.
ViewCommand ViewCommandOfKey(int vk);

// What a pad button (a PadControl bit) asks: South (A) or Start pauses and
// resumes, the d-pad's left and right go five seconds back and on, its down
// and up are slower and faster, the shoulders step a frame back and on, West
// (X) and North (Y) go to the game before and the next.
ViewCommand ViewCommandOfPad(unsigned control);

// Whether a key held down asks its command again at each of the keyboard's
// repeats: the steps and the seeks by the clock do, the rest once a press.
bool RepeatsWhileHeld(ViewCommand command);

// The speeds of a playback, from ¼× to 16×, and as fast as the machine
// allows (shown at most once per display refresh).
inline constexpr int kSpeeds = 8;
inline constexpr int kNormalSpeed = 2;
inline constexpr int kFastestSpeed = kSpeeds - 1;
// The speed's share of the recorded pace in sixteenths (0: as fast as it goes).
inline constexpr int kSpeedSixteenths[kSpeeds] = {4, 8, 16, 32, 64, 128, 256, 0};
// "1/4x", "1/2x", "1x", ..., "16x", "max".
const char* SpeedName(int speed);
// Whether a playback at `speed` sounds: only at 1× and 2×.
constexpr bool SpeedSounds(int speed) { return speed == kNormalSpeed || speed == kNormalSpeed + 1; }

// Where a playback stands, for a window to show beside the picture.
struct ViewStatus {
  int game = 0;              // the game being shown, from 1
  int gamesSeen = 0;         // the games read so far (all of them once `complete`)
  std::int64_t frame = 0;    // the demo's frame shown, from 1
  std::int64_t frames = 0;   // the demo's frames, once `complete`
  bool complete = false;     // the whole file has been read
  double fraction = 0;       // where the frame lies in the file, 0 to 1 (the progress bar)
  std::int64_t clockMs = 0;  // the game's clock, from its start
  int speed = kNormalSpeed;
  bool paused = false;
  bool seeking = false;  // on the way to a frame not read yet
};

}  // namespace zorva
