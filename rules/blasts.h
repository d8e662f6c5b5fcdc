// Enemy explosions, the kill count and the ship's explosion.
#pragma once

#include <cstdint>

namespace zorva {

// The explosions advance one frame per tick of this many ms.
inline constexpr std::int64_t kBlastIntervalMs = 100;

// Prepares the enemy side of a wave: the explosion frame table, every bullet
// slot that can be in play freed, every enemy alive again.
void ResetWave();

// Once per frame: at each tick of the 100 ms explosion gate every running
// explosion advances one frame; an enemy that reaches 7 is gone and counted.
// The ship's explosion advances on the same ticks.
void AnimateBlasts();

}  // namespace zorva
