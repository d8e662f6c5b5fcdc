// FNV-1a, 64 bits, fed byte by byte: the hash of the canvas and of the game's
// state that replays and demos compare.
#pragma once

#include <cstdint>

namespace zorva {

struct Fnv1a {
  std::uint64_t value = 0xcbf29ce484222325ull;
  void Add(std::uint8_t byte) { value = (value ^ byte) * 0x100000001b3ull; }
};

}  // namespace zorva
