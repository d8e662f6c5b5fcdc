// The sprite sheet: six columns and two rows of 32 x 32 cells. The ship and
// the enemy are hand-drawn grids; the flames and the explosion frames are
// drawn here from simple shapes with a little noise for life.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "art.h"

namespace art {

namespace {
constexpr double pi = std::numbers::pi;

// A flame: a round head, and a tail that narrows and sways away from it.
struct Flame {
  double cx, headY, headR, tailY;  // the tail runs from headY to tailY
  double sway;
  int seed;
  bool Inside(double x, double y) const {
    const double dir = tailY > headY ? 1 : -1;
    const double along = (y - headY) * dir;
    if (along <= 0) return std::hypot(x - cx, y - headY) <= headR;
    const double s = along / std::abs(tailY - headY);
    if (s > 1) return false;
    const double off = sway * s * std::sin(s * 7.5 + seed);
    const double half = headR * std::pow(1 - s, 0.75) * (0.85 + 0.3 * Hash(static_cast<int>(along), 0, seed));
    return std::abs(x - cx - off) <= half;
  }
};

// Draws a flame into the cell at (ox, oy), hottest at its heart.
void DrawFlame(Picture& pic, int ox, int oy, const Flame& f, const std::vector<int>& ramp) {
  const Traced m = Trace(32, 32, [&](double x, double y) { return f.Inside(x, y); });
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      if (!m.In(x, y)) continue;
      const double s = std::clamp((y + 0.5 - f.headY) / (f.tailY - f.headY), 0.0, 1.0);
      const double heat = std::min(1.0, (m.At(x, y) - 0.5) / (0.5 * f.headR));
      pic.Set(ox + x, oy + y, Shade(ramp, heat * (1 - 0.4 * s), x, y));
    }
}

// One explosion frame: a ball of fire between two radii that wobble with the
// angle; `heat` says how bright its middle burns, `sparks` adds embers.
struct Blast {
  double inner, outer, wobble, heat;
  int sparks;
  double sparkFrom, sparkTo;
};

void DrawBlast(Picture& pic, int ox, int oy, const Blast& b, int seed, const std::vector<int>& ramp) {
  const double cx = 16.0, cy = 15.5;
  auto edge = [&](double angle, double r, int salt) {
    // A smooth wobble from hashed values at twelve angles around the ball.
    const double k = angle / (2 * pi) * 12;
    const int i = static_cast<int>(std::floor(k));
    const double f = k - i, g = f * f * (3 - 2 * f);
    const double a = Hash((i % 12 + 12) % 12, salt, seed), c = Hash(((i + 1) % 12 + 12) % 12, salt, seed);
    return r + b.wobble * ((a + (c - a) * g) - 0.5) * 2;
  };
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
      const double r = std::hypot(dx, dy), angle = std::atan2(dy, dx) + pi;
      const double out = std::min(edge(angle, b.outer, 1), 15.5);
      const double in = b.inner > 0 ? edge(angle, b.inner, 2) : -1;
      if (r > out || r < in) continue;
      // Hot in the middle of the band of fire, cooler toward both edges.
      const double mid = in < 0 ? 0 : (in + out) / 2;
      const double half = in < 0 ? out : (out - in) / 2;
      const double t = b.heat * (1 - std::abs(r - mid) / half);
      pic.Set(ox + x, oy + y, Shade(ramp, t, x, y));
    }
  for (int s = 0; s < b.sparks; ++s) {
    const double angle = Hash(s, 10, seed) * 2 * pi;
    const double r = b.sparkFrom + Hash(s, 11, seed) * (b.sparkTo - b.sparkFrom);
    const int x = static_cast<int>(std::floor(cx + r * std::cos(angle)));
    const int y = static_cast<int>(std::floor(cy + r * std::sin(angle)));
    const int big = Hash(s, 12, seed) < 0.4;
    for (int dy = 0; dy <= big; ++dy)
      for (int dx = 0; dx <= big; ++dx)
        pic.Set(ox + std::clamp(x + dx, 0, 31), oy + std::clamp(y + dy, 0, 31),
                ramp[static_cast<std::size_t>(Hash(s, 13 + dx + 2 * dy, seed) * 3) + (dx + dy == 0 ? 1 : 0)]);
  }
}
}  // namespace

Picture MakeSpriteSheet(const GridArt& sprites) {
  Picture pic(192, 64);
  DrawGrid(pic, sprites, sprites.grids.at("ship"), 0, 0);
  DrawGrid(pic, sprites, sprites.grids.at("enemy"), 64, 0);

  const auto blue = pic.Ramp({{24, 40, 180}, {70, 150, 255}, {190, 230, 255}, {255, 255, 255}}, 5);
  const auto green = pic.Ramp({{14, 110, 30}, {70, 220, 80}, {200, 255, 190}, {255, 255, 255}}, 5);
  const auto orange = pic.Ramp({{190, 40, 10}, {250, 110, 26}, {255, 214, 120}, {255, 255, 255}}, 5);
  DrawFlame(pic, 32, 0, {15.0, 9.0, 7.0, 30.8, 2.5, 3}, blue);
  DrawFlame(pic, 96, 0, {15.0, 22.0, 6.5, 1.2, 1.5, 5}, green);
  DrawFlame(pic, 128, 0, {15.0, 9.0, 7.0, 30.8, 2.5, 8}, orange);

  const auto fire =
      pic.Ramp({{110, 8, 4}, {200, 24, 12}, {246, 86, 22}, {255, 170, 40}, {255, 230, 110}, {255, 255, 236}}, 8);
  const Blast frames[6] = {
      {0, 9.5, 1.5, 0.95, 0, 0, 0},       // a small fireball
      {0, 12.5, 2.5, 1.0, 4, 12, 15},     // growing
      {0, 14.0, 2.5, 1.0, 8, 13, 15},     // at its brightest
      {6.5, 13.5, 2.5, 0.6, 6, 12, 15},   // burning out: a ring of fire
      {10.0, 14.5, 2.5, 0.35, 8, 9, 15},  // a dying ring
      {0, 0, 0, 0, 16, 6, 15},            // the last sparks
  };
  for (int f = 0; f < 6; ++f) DrawBlast(pic, 32 * f, 32, frames[f], 40 + f, fire);
  return pic;
}

Picture MakeIcon(const GridArt& sprites) {
  // The ship's cell, in a palette of sixteen entries.
  Picture icon(32, 32);
  DrawGrid(icon, sprites, sprites.grids.at("ship"), 0, 0);
  return icon;
}

}  // namespace art
