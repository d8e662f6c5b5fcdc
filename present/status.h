// The status line across the top of the canvas.
#pragma once

#include <cstdint>
#include <string>

namespace zorva {

// The frame rate shown is worked out again every this many ms.
inline constexpr std::int64_t kFpsIntervalMs = 500;

// The text of the status line for the current scores and frame rate.
std::string StatusText();
// Recomputes the frame rate through its gate (twice a second, from the
// duration of the last frame) and prints the line at (5, 2) in the canvas.
void DrawStatusLine();

}  // namespace zorva
