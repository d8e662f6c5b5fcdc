// The sprites of the play screen, drawn from the sprite sheet and the
// lettering into the canvas.
#pragma once

namespace zorva {

// The ship at its place, replacing what is beneath it.
void DrawPlayer();
// The ship's explosion frame 0..5 at its place, replacing what is beneath it;
// nothing once the explosion has run out (frames 6 and 7).
void DrawPlayerBlast();
// Every enemy that is not gone: live ones as the enemy, exploding ones as
// their explosion frame, ORed over the frame.
void DrawEnemies();
// The GAME OVER banner, once it is up.
void DrawGameOver();

}  // namespace zorva
