// The bitmap typeface of the status line and the menu bar.
#pragma once

#include <string_view>

#include "base/surface.h"

namespace zorva {

// The size a surface's font has before anyone sets it (points).
inline constexpr int kDefaultFontPoints = 8;

// Draws `text` with the top-left corner of its first character cell at
// (x, y), in `colour`, at `points` (0 means kDefaultFontPoints), without a
// background. Pixels outside the drawing area are dropped. Characters the face
// has no glyph for are drawn as a narrow box. Returns the advance in pixels.
int DrawText(Surface& surface, int x, int y, std::string_view text, int points, Colour colour);

// The advance of `text` in pixels at `points`.
int TextWidth(std::string_view text, int points);

// Height of a line of text at `points`, in pixels.
int LineHeight(int points);

// Whether the face draws `c` at `points` as a letter rather than a box
// (the blank counts as drawn).
bool HasGlyph(char c, int points);

// Width in pixels of the box drawn for a character the face does not have.
inline constexpr int kBoxWidth = 3;

}  // namespace zorva
