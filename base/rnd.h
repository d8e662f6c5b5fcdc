// The game's one random sequence: single-precision values in [0, 1), each a
// multiple of 2^-24. It starts from the same fixed state in every run and is
// reseeded at the start of every game.
#pragma once

#include <cstdint>

namespace zorva {

// The next value u of the sequence, 0 <= u < 1.
float Rnd();
// Restarts the sequence from a seed.
void Randomize(std::uint64_t seed);
// Puts the sequence back to its fixed start state (the state at program start).
void ResetRnd();
// The whole state of the sequence, to be put back later with SetRndState.
std::uint64_t RndState();
void SetRndState(std::uint64_t state);

}  // namespace zorva
