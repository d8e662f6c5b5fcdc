// The generator's canvas: an 8-bit palettized picture with its own palette,
// the few drawing helpers the artwork is made with, and the writers of the
// files it produces (BMP, PNG, WAV).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace art {

struct Rgb {
  int r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

Rgb Mix(Rgb a, Rgb b, double t);

// A palettized picture. Index 0 is black and is the background.
class Picture {
 public:
  Picture(int width, int height);

  int Width() const { return width_; }
  int Height() const { return height_; }
  int At(int x, int y) const;         // 0 outside
  void Set(int x, int y, int index);  // ignored outside
  const std::vector<std::uint8_t>& Pixels() const { return pixels_; }

  // Adds a colour to the palette (or finds it) and returns its index.
  int Colour(Rgb c);
  // A ramp of n colours through the given stops, evenly spaced.
  std::vector<int> Ramp(std::initializer_list<Rgb> stops, int n);
  const std::array<Rgb, 256>& Palette() const { return palette_; }
  int PaletteSize() const { return used_; }

 private:
  int width_, height_;
  std::vector<std::uint8_t> pixels_;
  std::array<Rgb, 256> palette_{};
  int used_ = 1;
};

// Picks an entry of `ramp` for a shade t in [0, 1] with a 4x4 ordered
// dither, so that gradients blend without adding colours.
int Shade(const std::vector<int>& ramp, double t, int x, int y);

// A coverage mask: one byte per pixel, 1 inside the shape.
struct Mask {
  int width = 0, height = 0;
  std::vector<std::uint8_t> bits;
  Mask(int w, int h) : width(w), height(h), bits(static_cast<std::size_t>(w) * h, 0) {}
  bool In(int x, int y) const {
    return x >= 0 && y >= 0 && x < width && y < height && bits[static_cast<std::size_t>(y) * width + x];
  }
  void Put(int x, int y, bool on) {
    if (x >= 0 && y >= 0 && x < width && y < height) bits[static_cast<std::size_t>(y) * width + x] = on;
  }
  // Fills every pixel whose centre satisfies `inside`.
  void Fill(const std::function<bool(double, double)>& inside);
};

// Euclidean distance from each pixel to the nearest pixel of the other kind
// (inside pixels measure to the outside and the other way round), up to
// `limit`; pixels farther away get `limit`.
std::vector<double> Distance(const Mask& mask, int limit);

// A shape traced at `factor` times the resolution of the picture, so that
// its edges and the bands measured from them are smooth: for every pixel,
// whether its centre is inside and how far that centre lies from the edge
// (plus half a pixel, so that the pixels along an edge measure 1).
struct Traced {
  int width = 0, height = 0;
  std::vector<std::uint8_t> inside;
  std::vector<double> distance;
  bool In(int x, int y) const {
    return x >= 0 && y >= 0 && x < width && y < height && inside[static_cast<std::size_t>(y) * width + x];
  }
  double At(int x, int y) const { return distance[static_cast<std::size_t>(y) * width + x]; }
};
Traced Trace(int width, int height, const std::function<bool(double, double)>& inside, int factor = 5);

// Even-odd test of a point against a polygon.
bool InPolygon(const std::vector<std::array<double, 2>>& poly, double x, double y);

// A small deterministic hash noise in [0, 1).
double Hash(int a, int b, int seed);

// Files.
std::vector<std::uint8_t> EncodeBmp(const Picture& picture);
std::vector<std::uint8_t> EncodePng(int width, int height, const std::vector<Rgb>& pixels,
                                    const std::vector<bool>& opaque);
std::vector<std::uint8_t> EncodeWav16(int sampleRate, const std::vector<std::int16_t>& samples);
std::vector<Rgb> ToRgb(const Picture& picture);
std::vector<Rgb> Enlarge(const std::vector<Rgb>& rgb, int width, int height, int factor);

}  // namespace art
