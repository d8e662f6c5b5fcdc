// The starfield behind everything: drawn once into BG, scrolled down one
// pixel per frame into the canvas.
#pragma once

namespace zorva {

// The stars of the field, and the random values drawn to make it (three a
// star: its x, its y and its colour).
inline constexpr int kStars = 301;
inline constexpr int kStarfieldDraws = kStars * 3;

// Draws 301 random stars into a cleared BG.
void MakeStarfield();
// Copies BG into the canvas shifted down by ScrollY (wrapping), then moves
// the offset on by one line.
void ScrollStarfield();

}  // namespace zorva
