// Every game variable, in one record. Each routine of the game reads and
// writes them here; nothing is allocated during play. Everything is zero (an
// empty string for the folder) when the program starts.
//
// Widths follow the game: 16-bit and 32-bit signed integers, single and double
// precision. Two kinds of value are held wider so that they never run out:
// clock values and durations are 64-bit, and the scores are 32-bit.
//
// A demo keeps every variable at the start of each game: a new one also goes
// into the demo's list (EachVariable in demo/demo_file.cpp), with its range.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace zorva {

inline constexpr int kShotSlots = 9;       // shot slots 0..8
inline constexpr int kEnemySlots = 24;     // slot = row * 6 + column
inline constexpr int kBlastEntries = 7;    // explosion frame table, states 0..6
inline constexpr int kBulletSlots = 61;    // bullet tables 0..60
inline constexpr int kBulletSlotsInPlay = 21;  // slots 0..20 can ever be in play

struct GameState {
  // Ship and game end.
  double PlayerX = 0;            // ship's left edge, whole numbers 0..288
  std::int16_t PlayerY = 0;      // ship's top edge, 288
  std::int16_t PlayerDead = 0;   // 1 once the ship is destroyed
  std::int16_t PlayerBlastFrame = 0;  // ship's explosion frame, 7 = finished
  std::int16_t GameOverShown = 0;     // 1 once the GAME OVER banner is up
  std::int32_t Score = 0;        // points of the current game
  std::int32_t HiScore = 0;      // best score since the program started

  // Player shots (slots 0..8). ShotY is parked at 320 when a shot is removed.
  std::array<std::int16_t, kShotSlots> ShotX{};
  std::array<std::int16_t, kShotSlots> ShotY{};
  std::array<std::int16_t, kShotSlots> ShotActive{};

  // Enemies: 0 alive, 1..6 exploding, 7 gone.
  std::array<std::int16_t, kEnemySlots> EnemyX{};
  std::array<std::int16_t, kEnemySlots> EnemyY{};
  std::array<std::int16_t, kEnemySlots> EnemyState{};

  // Sprite-sheet position of the cell drawn for each enemy state 0..6.
  std::array<std::int16_t, kBlastEntries> BlastSrcX{};
  std::array<std::int16_t, kBlastEntries> BlastSrcY{};

  // Formation march.
  std::int16_t MarchDir = 0;     // 0 moving right, 1 moving left
  std::int16_t MarchStep = 0;    // steps since the last turn
  std::int16_t MarchDrop = 0;    // downward move of the current step, 0 or 8
  std::int32_t MarchInterval = 0;  // ms between formation steps

  // Enemy bullets; slots 0..BulletTop are in play.
  std::array<std::int16_t, kBulletSlots> BulletActive{};
  std::array<float, kBulletSlots> BulletX{};
  std::array<float, kBulletSlots> BulletY{};
  std::array<float, kBulletSlots> BulletDX{};
  std::array<float, kBulletSlots> BulletDY{};
  std::array<std::int16_t, kBulletSlots> BulletDrawX{};
  std::array<std::int16_t, kBulletSlots> BulletDrawY{};

  // Difficulty.
  std::int16_t BulletTop = 0;    // highest bullet slot in play
  float BulletGrowth = 0;        // +0.5 per cleared wave
  float AimLevel = 0;            // +0.4 per cleared wave, at most 3
  std::int16_t KillCount = 0;    // finished explosions of this wave, 0..24

  // Timing: interval gates (next time / last poll) and durations, in ms.
  std::int64_t MarchNext = 0, MarchLast = 0;  // formation step; title blink
  std::int64_t ShotNext = 0, ShotLast = 0;    // fire button
  std::int64_t BlastNext = 0, BlastLast = 0;  // explosion tick
  std::int64_t FpsNext = 0, FpsLast = 0;      // frame-rate display
  std::int64_t GameOverKeyAt = 0, GameOverTimeoutAt = 0, GameOverLast = 0;
  std::int64_t WorkTime = 0;     // ms of the current game frame before pacing
  std::int64_t FrameTime = 0;    // ms of the last whole frame
  std::int32_t Fps = 0;          // frames per second as shown

  // Screen.
  std::int16_t ScrollY = 0;      // starfield scroll offset 0..319
  std::int16_t TitleBlink = 0;   // 0 or -1; the prompt shows while -1
  std::string AppPath;           // folder of the executable
};

// The game's state.
extern GameState G;

// Puts every variable back to its value at program start.
void ResetGameState();

}  // namespace zorva
