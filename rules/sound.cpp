#include "rules/sound.h"

#include "base/window.h"
#include "rules/state.h"

namespace zorva {

void PlaySoundEffect() { sndPlaySoundA(G.AppPath + "/効果音.wav", SND_ASYNC | SND_NODEFAULT); }

}  // namespace zorva
