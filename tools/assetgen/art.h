// The pictures and the sound of the game, each drawn by one routine.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "image.h"
#include "textart.h"

namespace art {

using Letters = std::map<char, std::vector<std::string>>;

// A line of block letters measured in letter cells: each letter is 8 cells
// wide and 10 high, letters stand 1.5 cells apart and a blank is 4 cells.
class LetterLine {
 public:
  LetterLine(const Letters& letters, std::string text);
  double Width() const { return width_; }
  // Ink at (u, v) in cells, v downward from the top of the letters: the
  // letter grid read with bilinear smoothing, 0..1.
  double Ink(double u, double v) const;

 private:
  struct Placed {
    const std::vector<std::string>* rows;
    double left;
  };
  std::vector<Placed> placed_;
  double width_ = 0;
};

Picture MakeLogo(const Letters& letters);         // 263 x 229
Picture MakeLettering(const Letters& letters);    // 279 x 167
Picture MakeSpriteSheet(const GridArt& sprites);  // 192 x 64
Picture MakeIcon(const GridArt& sprites);         // 32 x 32, 16 colours
std::vector<std::int16_t> MakeExplosion(int sampleRate);

}  // namespace art
