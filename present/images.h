// The three images of the window and its icon, built into the program.
#pragma once

#include <cstdint>
#include <span>

#include "base/surface.h"
#include "base/window.h"

namespace zorva {

// Reads the logo into `Titlebmp` (263 x 229), the lettering into `Res`
// (279 x 167) and the sprite sheet into `Chr` (192 x 64). Black stays
// exactly 0. Throws std::runtime_error naming the image if one is bad.
void LoadWindowImages(Window& w);

// One image as a surface; a bad image throws std::runtime_error whose
// message begins with "bad image " and the image's name.
Surface ImageSurface(const char* name, std::span<const std::uint8_t> bytes, int width, int height);

// The window's 32 x 32 icon, black where it has no figure.
Surface WindowIcon();

}  // namespace zorva
