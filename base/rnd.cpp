#include "base/rnd.h"

namespace zorva {

namespace {
// A 64-bit linear congruential generator; the top 24 bits of each state are
// the value. Cheap, fully deterministic and the same on every machine.
constexpr std::uint64_t kMultiplier = 6364136223846793005ull;
constexpr std::uint64_t kIncrement = 1442695040888963407ull;
constexpr std::uint64_t kStartState = 0x5A4F5256415F3939ull;

std::uint64_t state = kStartState;

// Spreads the bits of a seed so that neighbouring seeds start far apart.
std::uint64_t Mix(std::uint64_t z) {
  z += 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}
}  // namespace

float Rnd() {
  state = state * kMultiplier + kIncrement;
  return static_cast<float>(state >> 40) * (1.0f / 16777216.0f);
}

void Randomize(std::uint64_t seed) { state = Mix(seed); }

void ResetRnd() { state = kStartState; }

std::uint64_t RndState() { return state; }

void SetRndState(std::uint64_t s) { state = s; }

}  // namespace zorva
