// The title logo: a bevelled five-pointed star, yellow below and orange at
// its top, with a red rim, and the title arched across its upper half.
#include <cmath>
#include <numbers>

#include "art.h"

namespace art {

Picture MakeLogo(const Letters& letters) {
  constexpr int W = 263, H = 229;
  constexpr double pi = std::numbers::pi;
  Picture pic(W, H);

  // The star.
  const double cx = 130.5, cy = 124.0, outer = 110.0, inner = outer * 0.40;
  std::vector<std::array<double, 2>> star;
  for (int k = 0; k < 10; ++k) {
    const double a = -pi / 2 + k * pi / 5;
    const double r = k % 2 ? inner : outer;
    star.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
  }
  const Traced starShape = Trace(W, H, [&](double x, double y) { return InPolygon(star, x, y); });

  // The title on an arch: letters stand on a circle below the star's centre.
  const LetterLine title(letters, "ZORVA");
  const double ax = 130.5, ay = 262.0, base = 140.0, cellY = 5.0;
  const double middle = base + 5 * cellY, cellX = 5.2;
  auto titleAt = [&](double x, double y, double& v) {
    const double dx = x - ax, dy = ay - y;
    const double rho = std::hypot(dx, dy), theta = std::atan2(dx, dy);
    v = 10 - (rho - base) / cellY;
    const double u = theta * middle / cellX + title.Width() / 2;
    return title.Ink(u, v);
  };
  const Traced titleShape = Trace(W, H, [&](double x, double y) {
    double v = 0;
    return titleAt(x, y, v) >= 0.5;
  });

  const int darkRed = pic.Colour({120, 8, 4});
  const int red = pic.Colour({214, 24, 12});
  const int brightRed = pic.Colour({250, 64, 24});
  const auto starRamp = pic.Ramp({{214, 78, 10}, {250, 136, 22}, {255, 204, 44}, {255, 246, 150}}, 12);
  const auto titleRamp = pic.Ramp({{246, 110, 14}, {255, 176, 30}, {255, 236, 90}, {255, 252, 200}}, 8);

  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const double titleDist = titleShape.At(x, y), starDist = starShape.At(x, y);
      if (titleShape.In(x, y)) {
        // Orange at the top of each letter to yellow at its foot, lighter
        // deep inside the strokes.
        double v = 0;
        titleAt(x + 0.5, y + 0.5, v);
        const double t = v / 10 * 0.75 + std::min(titleDist, 4.0) / 4 * 0.25;
        pic.Set(x, y, titleDist <= 1.0 ? brightRed : Shade(titleRamp, t, x, y));
        continue;
      }
      if (titleDist <= 2.5) {
        pic.Set(x, y, titleDist <= 1.5 ? red : darkRed);
        continue;
      }
      if (titleDist <= 3.6) {
        pic.Set(x, y, darkRed);
        continue;
      }
      if (starShape.In(x, y)) {
        if (starDist <= 2.0) {
          pic.Set(x, y, starDist <= 1.0 ? red : brightRed);
          continue;
        }
        // Each arm is split along its ridge into a lit and a shaded face.
        const double a = std::atan2(y + 0.5 - cy, x + 0.5 - cx) + pi / 2;
        const double arm = a / (2 * pi / 5);
        const double side = arm - std::floor(arm + 0.5);
        const double height = (y + 0.5 - (cy - outer)) / (outer * 1.81);
        double t = height * 0.85 + (side < 0 ? 0.18 : -0.06);
        pic.Set(x, y, Shade(starRamp, t, x, y));
      } else if (starDist <= 2.0) {
        pic.Set(x, y, starDist <= 1.0 ? red : darkRed);
      }
    }
  return pic;
}

}  // namespace art
