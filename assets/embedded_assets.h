// The assets built into the program: the committed images, the window icon
// and the status-line typeface, as the bytes of their files.
#pragma once

#include <cstdint>
#include <span>

namespace zorva::embedded {

std::span<const std::uint8_t> LogoBmp();         // assets/logo.bmp
std::span<const std::uint8_t> LetteringBmp();    // assets/lettering.bmp
std::span<const std::uint8_t> SpriteSheetBmp();  // assets/sprites.bmp
std::span<const std::uint8_t> IconBmp();         // assets/icon.bmp
std::span<const std::uint8_t> FontText();        // assets/font.txt

}  // namespace zorva::embedded
