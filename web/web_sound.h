// The page's reader of sound files (web_sound.cpp): the game's wave reader
// and the conversion of rates the browser refuses.
#pragma once

namespace zorva {

// Gives the page Module.waveBuffer(audio, bytes), which index.html plays with.
void InstallWaveReader();

}  // namespace zorva
