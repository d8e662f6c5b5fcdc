// Picture surfaces: pixel buffers that keep what is drawn into them, and the
// block transfer, clear, set-point and print operations the game draws with.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace zorva {

// Colours are 24-bit values laid out as 0x00BBGGRR: red in the low byte.
using Colour = std::uint32_t;

constexpr Colour RGB(int r, int g, int b) {
  return static_cast<Colour>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}

// The two raster operations the game uses.
constexpr std::uint32_t SRCCOPY = 0x00CC0020;   // destination = source
constexpr std::uint32_t SRCPAINT = 0x00EE0086;  // destination = destination OR source

class Surface {
 public:
  Surface() = default;
  // A surface of the given outer size with a sunken frame of `border` pixels;
  // the drawing area is what lies inside the frame.
  Surface(int outerWidth, int outerHeight, int border);

  // Sets the outer size; the drawing area shrinks or grows with it and is
  // cleared to the background colour.
  void SetOuterSize(int outerWidth, int outerHeight);
  // Makes the surface exactly an image: no frame, the drawing area is the image.
  void SetImage(int width, int height, std::vector<Colour> pixels);

  // Outer size as read back by the game (single precision, frame included).
  float ReadWidth() const { return static_cast<float>(outerWidth_); }
  float ReadHeight() const { return static_cast<float>(outerHeight_); }

  // The drawing area.
  int Width() const { return width_; }
  int Height() const { return height_; }
  Colour Pixel(int x, int y) const;  // 0 outside the drawing area
  const Colour* Row(int y) const { return pixels_.data() + static_cast<std::size_t>(y) * width_; }
  Colour* Row(int y) { return pixels_.data() + static_cast<std::size_t>(y) * width_; }
  const std::vector<Colour>& Pixels() const { return pixels_; }
  // Exchanges the drawing area's pixels with those of `other`, of the same size.
  void SwapPixels(Surface& other) { pixels_.swap(other.pixels_); }

  // Fills the drawing area with the background colour and puts the text
  // position back to (0, 0).
  void Cls();
  // Sets one pixel of the drawing area; points outside it are ignored.
  void PSet(int x, int y, Colour colour);
  // Draws text at the current text position in the text colour and font
  // size, without a background box. Characters past the edge are cut off.
  void Print(std::string_view text);

  Colour BackColor = 0;
  Colour ForeColor = 0;
  int CurrentX = 0;
  int CurrentY = 0;
  int FontSize = 0;  // points; 0 means the default size of the face

 private:
  int outerWidth_ = 0;
  int outerHeight_ = 0;
  int border_ = 0;
  int width_ = 0;
  int height_ = 0;
  std::vector<Colour> pixels_;
};

// Copies a width x height rectangle from `src` at (sx, sy) to `dst` at (x, y)
// with SRCCOPY or SRCPAINT. The rectangle is clipped to both drawing areas;
// nothing outside either surface is read or written, whatever the numbers.
// Returns 1 when the call was understood (even if nothing was left to copy),
// 0 for an unknown raster operation.
int BitBlt(Surface& dst, int x, int y, int width, int height, const Surface& src, int sx, int sy, std::uint32_t rop);

// FNV-1a 64-bit hash of a surface's drawing area, row by row from the top,
// each pixel as the bytes R, G, B, 0.
std::uint64_t CanvasHash(const Surface& surface);

}  // namespace zorva
