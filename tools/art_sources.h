// The hand-drawn sources of the artwork, built into the generator.
#pragma once

#include <cstdint>
#include <span>

namespace zorva::art_sources {

std::span<const std::uint8_t> SpritesText();  // tools/art/sprites.txt
std::span<const std::uint8_t> LettersText();  // tools/art/letters.txt

}  // namespace zorva::art_sources
