#include "rules/state.h"

namespace zorva {

GameState G;

void ResetGameState() { G = GameState{}; }

}  // namespace zorva
