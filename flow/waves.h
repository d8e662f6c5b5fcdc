// The change from one wave to the next.
#pragma once

namespace zorva {

// Once the whole formation is destroyed and nothing is left in flight, places
// a new formation and raises the difficulty: a faster march, more bullet
// slots, more aimed bullets.
void CheckWave();

}  // namespace zorva
