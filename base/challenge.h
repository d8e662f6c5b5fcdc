// Challenge codes: a seed that every game of a run starts from, in a short
// printable form that players can read aloud, type and paste. Nine symbols of
// the digits and the upper-case letters but I, L, O and U, in three groups of
// three ("7KQ-M2R-X4J"): eight carry the seed's 40 bits, the ninth is a check
// that no mistyped symbol passes, nor two neighbours swapped unless their
// values lie 16 apart.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zorva {

// Seeds with a code: 0 to 2^40 - 1.
inline constexpr std::uint64_t kChallengeSeeds = std::uint64_t{1} << 40;

// The code of `seed`, or nothing for a seed of kChallengeSeeds or more.
std::optional<std::string> ChallengeCode(std::uint64_t seed);

// The seed a code stands for. Letters may be of either case, O reads as 0
// and I and L as 1, and the two hyphens may be left out; anything else (a
// symbol too many or too few, a hyphen elsewhere, a failed check) gives
// nothing.
std::optional<std::uint64_t> ChallengeSeed(std::string_view written);

}  // namespace zorva
