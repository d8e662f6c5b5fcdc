// Pictures of the canvas as PNG files.
#pragma once

#include <string>

#include "base/surface.h"

namespace zorva {

// Writes the drawing area of `surface` as an 8-bit RGB PNG with exact
// colours. Returns false when the file cannot be written.
bool WriteCanvasPng(const Surface& surface, const std::string& path);

}  // namespace zorva
