// The game's one sound effect.
#pragma once

namespace zorva {

// Plays the sound effect file from the program's folder, asynchronously; a new
// start replaces one still playing, and a missing file plays nothing.
void PlaySoundEffect();

}  // namespace zorva
