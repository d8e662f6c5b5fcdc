// The starfield behind everything: drawn once into BG, scrolled down one
// pixel per frame into the canvas.
#pragma once

namespace zorva {

// Draws 301 random stars into a cleared BG.
void MakeStarfield();
// Copies BG into the canvas shifted down by ScrollY (wrapping), then moves
// the offset on by one line.
void ScrollStarfield();

}  // namespace zorva
