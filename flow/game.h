// One game, from its first frame to the end of the GAME OVER screen.
#pragma once

namespace zorva {

// Sets up a game, runs its frames until the GAME OVER screen ends, then
// waits two seconds and returns to the title screen.
void PlayGame();

}  // namespace zorva
