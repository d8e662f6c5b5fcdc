// The hand-drawn parts of the artwork, kept as text: pixel grids with one
// character per palette colour, and the block letters of the lettering.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "image.h"

namespace art {

struct Grid {
  int x = 0, y = 0;  // where the grid's top-left lands in its picture
  std::vector<std::string> rows;
};

struct GridArt {
  std::map<char, Rgb> colours;  // '.' is always black
  std::map<std::string, Grid> grids;
};

// Lines:  "colour K R G B"  names a colour;
//         "grid NAME X Y [mirror|mirror-even]"  starts a grid, ended by "end";
//         "#" starts a comment. A mirrored grid gives its left half
//         (with the centre column when the width is odd) and is completed
//         by reflection. Throws std::runtime_error on anything malformed.
GridArt ParseGrids(std::string_view text);

// Lines: "glyph C" starts a block letter, ended by "end"; '#' cells are ink.
std::map<char, std::vector<std::string>> ParseLetters(std::string_view text);

// Draws a grid into a picture, adding its colours to the palette.
void DrawGrid(Picture& picture, const GridArt& art, const Grid& grid, int dx = 0, int dy = 0);

}  // namespace art
