#include "base/surface.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "base/fnv.h"
#include "base/font.h"

namespace zorva {

Surface::Surface(int outerWidth, int outerHeight, int border) : border_(std::max(0, border)) {
  SetOuterSize(outerWidth, outerHeight);
}

void Surface::SetOuterSize(int outerWidth, int outerHeight) {
  outerWidth_ = std::max(0, outerWidth);
  outerHeight_ = std::max(0, outerHeight);
  width_ = std::max(0, outerWidth_ - 2 * border_);
  height_ = std::max(0, outerHeight_ - 2 * border_);
  pixels_.assign(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), BackColor);
}

void Surface::SetImage(int width, int height, std::vector<Colour> pixels) {
  border_ = 0;
  outerWidth_ = width_ = std::max(0, width);
  outerHeight_ = height_ = std::max(0, height);
  pixels.resize(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), 0);
  pixels_ = std::move(pixels);
}

Colour Surface::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  return Row(y)[x];
}

void Surface::Cls() {
  std::fill(pixels_.begin(), pixels_.end(), BackColor);
  CurrentX = 0;
  CurrentY = 0;
}

void Surface::PSet(int x, int y, Colour colour) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  Row(y)[x] = colour & 0x00FFFFFFu;
}

void Surface::Print(std::string_view text) { DrawText(*this, CurrentX, CurrentY, text, FontSize, ForeColor); }

int BitBlt(Surface& dst, int x, int y, int width, int height, const Surface& src, int sx, int sy, std::uint32_t rop) {
  if (rop != SRCCOPY && rop != SRCPAINT) return 0;
  if (width <= 0 || height <= 0) return 1;
  // Work in 64 bits so that no sum of huge or negative arguments can overflow.
  std::int64_t dx0 = x, dy0 = y, sx0 = sx, sy0 = sy, w = width, h = height;
  // Clip the left and top edges against both surfaces.
  std::int64_t cut = std::max<std::int64_t>({0, -dx0, -sx0});
  dx0 += cut, sx0 += cut, w -= cut;
  cut = std::max<std::int64_t>({0, -dy0, -sy0});
  dy0 += cut, sy0 += cut, h -= cut;
  // Clip the right and bottom edges.
  w = std::min({w, static_cast<std::int64_t>(dst.Width()) - dx0, static_cast<std::int64_t>(src.Width()) - sx0});
  h = std::min({h, static_cast<std::int64_t>(dst.Height()) - dy0, static_cast<std::int64_t>(src.Height()) - sy0});
  if (w <= 0 || h <= 0) return 1;

  const bool overlap = &dst == &src;
  std::vector<Colour> scratch;
  for (std::int64_t row = 0; row < h; ++row) {
    // A copy within one surface reads rows in the order that leaves the
    // source intact: bottom-up when moving down.
    const std::int64_t r = (overlap && dy0 > sy0) ? h - 1 - row : row;
    const Colour* from = src.Row(static_cast<int>(sy0 + r)) + sx0;
    Colour* to = dst.Row(static_cast<int>(dy0 + r)) + dx0;
    if (rop == SRCCOPY) {
      std::memmove(to, from, static_cast<std::size_t>(w) * sizeof(Colour));
    } else if (overlap) {
      scratch.assign(from, from + w);
      for (std::int64_t i = 0; i < w; ++i) to[i] |= scratch[static_cast<std::size_t>(i)];
    } else {
      for (std::int64_t i = 0; i < w; ++i) to[i] |= from[i];
    }
  }
  return 1;
}

std::uint64_t CanvasHash(const Surface& surface) {
  Fnv1a h;
  for (int y = 0; y < surface.Height(); ++y) {
    const Colour* row = surface.Row(y);
    for (int x = 0; x < surface.Width(); ++x) {
      const Colour c = row[x];
      for (const std::uint8_t b : {c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF, 0u}) h.Add(b);
    }
  }
  return h.value;
}

}  // namespace zorva
