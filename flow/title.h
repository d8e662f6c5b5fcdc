// The title screen.
#pragma once

#include <cstdint>

namespace zorva {

// The PUSH SPACE KEY prompt shows and hides every this many ms, on the
// formation's gate (which the title screen has to itself).
inline constexpr std::int64_t kTitleBlinkMs = 800;

// The outermost loop: the title screen over the scrolling starfield with the
// blinking PUSH SPACE KEY prompt; SPACE runs a game from inside a pass. Never
// returns (the program ends by ProgramEnded from the event pump).
void TitleLoop();

}  // namespace zorva
