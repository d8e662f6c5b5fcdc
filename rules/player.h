// The player's ship: sideways movement and the fire button.
#pragma once

#include <cstdint>

namespace zorva {

// The fire button's gate: at most one shot per this many ms.
inline constexpr std::int64_t kFireIntervalMs = 200;

// Once per frame while the ship is intact: RIGHT and LEFT move the ship 8
// pixels within 0..288, then FireShot, then LEFT, RIGHT and SPACE are polled
// once more so that a press is never reported twice.
void MovePlayer();

// The fire button behind its 200 ms gate: at each opening SPACE is polled and,
// while enemies remain, one shot goes into the lowest free of the nine slots.
void FireShot();

}  // namespace zorva
