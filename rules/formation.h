// The enemy formation: its start grid and its march.
#pragma once

#include <cstdint>

namespace zorva {

// The formation's first wave steps every this many ms; each cleared wave
// steps faster.
inline constexpr std::int32_t kFirstMarchIntervalMs = 200;

// Puts the 24 enemies on their start grid: columns 42 pixels apart from x 10,
// rows 35 pixels apart from y 16. Positions only.
void PlaceFormation();

// Once per frame: behind the formation gate (MarchInterval ms), one step of
// the block (ten steps of 6 pixels, then a turn that drops it by 8), then the
// enemies fire. A live enemy at the ship's line destroys the ship.
void MarchFormation();

}  // namespace zorva
