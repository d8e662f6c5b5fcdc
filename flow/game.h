// One game, from its first frame to the end of the GAME OVER screen.
#pragma once

#include <cstdint>

namespace zorva {

// The GAME OVER screen takes SPACE this many ms after it comes up, and ends
// by itself after this many.
inline constexpr std::int64_t kGameOverKeyMs = 2000, kGameOverTimeoutMs = 10000;

// Sets up a game, runs its frames until the GAME OVER screen ends, then
// waits two seconds and returns to the title screen.
void PlayGame();
// Runs the frames of the game that G holds from the frame after the last one
// ended, as PlayGame runs them after setting the game up: every frame starts
// from G and the canvas's starfield alone, so a game put back to the end of
// one of its frames goes on from there.
void ResumeGame();

}  // namespace zorva
