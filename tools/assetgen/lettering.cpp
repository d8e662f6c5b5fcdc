// The lettering sheet: glowing red capitals with a dark red rim and a fill
// that runs from red at the edge through pink to white at the heart of each
// stroke. Three groups: the title, GAME above OVER, and PUSH SPACE KEY.
#include <algorithm>
#include <cmath>

#include "art.h"

namespace art {

namespace {
struct Block {
  std::string text;
  int left, top, right, bottom;  // where the figure may reach, inclusive
  int glow;                      // reach of the glow outside the letters
  double widest;                 // widest letter cell for its height
};
}  // namespace

Picture MakeLettering(const Letters& letters) {
  constexpr int W = 279, H = 167;
  Picture pic(W, H);
  const Block blocks[] = {
      {"ZORVA", 2, 1, 274, 45, 3, 1.6},
      {"GAME", 2, 48, 156, 86, 3, 1.25},
      {"OVER", 2, 90, 156, 128, 3, 1.25},
      {"PUSH SPACE KEY", 4, 134, 246, 161, 2, 1.0},
  };

  struct Placed {
    LetterLine line;
    double x0, y0, sx, sy;
  };
  std::vector<Placed> placed;
  std::vector<double> stroke(static_cast<std::size_t>(W) * H, 1);  // half a stroke, pixels
  std::vector<int> owner(static_cast<std::size_t>(W) * H, -1);
  for (int b = 0; b < 4; ++b) {
    const Block& k = blocks[b];
    const LetterLine line(letters, k.text);
    const double boxW = k.right - k.left + 1 - 2 * k.glow, boxH = k.bottom - k.top + 1 - 2 * k.glow;
    const double sy = boxH / 10;
    const double sx = std::min(sy * k.widest, boxW / line.Width());
    placed.push_back({line, k.left + k.glow + (boxW - sx * line.Width()) / 2, k.top + k.glow + 0.0, sx, sy});
    for (int y = k.top; y <= k.bottom; ++y)
      for (int x = k.left; x <= k.right; ++x) {
        const std::size_t i = static_cast<std::size_t>(y) * W + x;
        owner[i] = b;
        stroke[i] = std::min(sx, sy);
      }
  }
  const Traced ink = Trace(W, H, [&](double x, double y) {
    for (const Placed& p : placed)
      if (p.line.Ink((x - p.x0) / p.sx, (y - p.y0) / p.sy) >= 0.5) return true;
    return false;
  });

  const int rim = pic.Colour({150, 0, 12});
  const auto glow = pic.Ramp({{56, 0, 6}, {104, 0, 10}}, 3);
  const auto fill = pic.Ramp({{222, 16, 24}, {255, 84, 110}, {255, 168, 196}, {255, 255, 255}}, 14);

  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * W + x;
      if (owner[i] < 0) continue;
      const double d = ink.At(x, y);
      if (ink.In(x, y)) {
        pic.Set(x, y, Shade(fill, std::pow((d - 0.5) / stroke[i], 1.3), x, y));
      } else if (d <= 1.2) {
        pic.Set(x, y, rim);
      } else if (d <= blocks[owner[i]].glow) {
        // The glow fades outward; the dither thins it at its far edge.
        const double t = 1 - (d - 1.2) / (blocks[owner[i]].glow - 1.2 + 0.6);
        pic.Set(x, y, Shade(glow, t, x, y));
      }
    }
  return pic;
}

}  // namespace art
