#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "art.h"

namespace art {

namespace {
constexpr double kLetterWidth = 8, kLetterGap = 1.5, kBlank = 4;
}

LetterLine::LetterLine(const Letters& letters, std::string text) {
  double u = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == ' ') {
      u += kBlank;
      continue;
    }
    const auto found = letters.find(text[i]);
    if (found == letters.end()) throw std::runtime_error(std::string("no block letter ") + text[i]);
    placed_.push_back({&found->second, u});
    u += kLetterWidth + (i + 1 < text.size() && text[i + 1] != ' ' ? kLetterGap : 0.0);
  }
  width_ = u;
}

double LetterLine::Ink(double u, double v) const {
  double ink = 0;
  for (const Placed& p : placed_) {
    const double lu = u - p.left;
    if (lu < -1 || lu > kLetterWidth + 1) continue;
    const auto& rows = *p.rows;
    auto cell = [&rows](int cx, int cy) -> double {
      if (cy < 0 || cx < 0 || cy >= static_cast<int>(rows.size()) || cx >= static_cast<int>(rows[0].size())) return 0.0;
      return rows[cy][cx] == '#' ? 1.0 : 0.0;
    };
    // Cell centres sit at half cells; read between the four nearest.
    const double gx = lu - 0.5, gy = v - 0.5;
    const int x0 = static_cast<int>(std::floor(gx)), y0 = static_cast<int>(std::floor(gy));
    const double fx = gx - x0, fy = gy - y0;
    const double top = cell(x0, y0) * (1 - fx) + cell(x0 + 1, y0) * fx;
    const double bottom = cell(x0, y0 + 1) * (1 - fx) + cell(x0 + 1, y0 + 1) * fx;
    ink = std::max(ink, top * (1 - fy) + bottom * fy);
  }
  return ink;
}

}  // namespace art
