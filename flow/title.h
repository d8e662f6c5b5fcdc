// The title screen.
#pragma once

namespace zorva {

// The outermost loop: the title screen over the scrolling starfield with the
// blinking PUSH SPACE KEY prompt; SPACE runs a game from inside a pass. Never
// returns (the program ends by ProgramEnded from the event pump).
void TitleLoop();

}  // namespace zorva
