#include "image.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace art {

Rgb Mix(Rgb a, Rgb b, double t) {
  auto lerp = [t](int p, int q) { return static_cast<int>(std::lround(p + (q - p) * t)); };
  return {lerp(a.r, b.r), lerp(a.g, b.g), lerp(a.b, b.b)};
}

Picture::Picture(int width, int height)
    : width_(width), height_(height), pixels_(static_cast<std::size_t>(width) * height, 0) {}

int Picture::At(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  return pixels_[static_cast<std::size_t>(y) * width_ + x];
}

void Picture::Set(int x, int y, int index) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  pixels_[static_cast<std::size_t>(y) * width_ + x] = static_cast<std::uint8_t>(index);
}

int Picture::Colour(Rgb c) {
  if (c == Rgb{}) throw std::logic_error("black belongs to entry 0 only");
  for (int i = 1; i < used_; ++i)
    if (palette_[i] == c) return i;
  if (used_ == 256) throw std::logic_error("palette full");
  palette_[used_] = c;
  return used_++;
}

std::vector<int> Picture::Ramp(std::initializer_list<Rgb> stops, int n) {
  std::vector<Rgb> s(stops);
  std::vector<int> ramp;
  for (int i = 0; i < n; ++i) {
    const double t = n == 1 ? 0.0 : static_cast<double>(i) / (n - 1) * (s.size() - 1);
    const std::size_t k = std::min(static_cast<std::size_t>(t), s.size() - 2);
    ramp.push_back(Colour(Mix(s[k], s[k + 1], t - k)));
  }
  return ramp;
}

int Shade(const std::vector<int>& ramp, double t, int x, int y) {
  static constexpr int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
  const double v = std::clamp(t, 0.0, 1.0) * (ramp.size() - 1);
  std::size_t i = static_cast<std::size_t>(v);
  const double frac = v - i;
  if (i + 1 < ramp.size() && frac > (kBayer[y & 3][x & 3] + 0.5) / 16.0) ++i;
  return ramp[i];
}

void Mask::Fill(const std::function<bool(double, double)>& inside) {
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (inside(x + 0.5, y + 0.5)) Put(x, y, true);
}

namespace {
// The squared distance transform of one line (lower envelope of parabolas).
void Envelope(std::vector<double>& f, std::size_t n, std::size_t stride, std::size_t start, std::vector<double>& line,
              std::vector<int>& v, std::vector<double>& z) {
  for (std::size_t q = 0; q < n; ++q) line[q] = f[start + q * stride];
  constexpr double kFar = 1e20;
  int k = 0;
  v[0] = 0;
  z[0] = -kFar;
  z[1] = kFar;
  for (int q = 1; q < static_cast<int>(n); ++q) {
    // z[0] lies below every crossing, so the search always stops by k = 0.
    double s = ((line[q] + q * q) - (line[v[k]] + v[k] * v[k])) / (2.0 * q - 2.0 * v[k]);
    while (s <= z[k]) {
      --k;
      s = ((line[q] + q * q) - (line[v[k]] + v[k] * v[k])) / (2.0 * q - 2.0 * v[k]);
    }
    ++k;
    v[k] = q;
    z[k] = s;
    z[k + 1] = kFar;
  }
  k = 0;
  for (int q = 0; q < static_cast<int>(n); ++q) {
    while (z[k + 1] < q) ++k;
    const double dq = q - v[k];
    f[start + q * stride] = dq * dq + line[v[k]];
  }
}

// Squared distance from every pixel to the nearest pixel where `target` holds.
std::vector<double> SquaredDistance(const std::vector<std::uint8_t>& bits, int w, int h, bool target) {
  constexpr double kFar = 1e20;
  std::vector<double> f(bits.size());
  for (std::size_t i = 0; i < bits.size(); ++i) f[i] = (bits[i] != 0) == target ? 0 : kFar;
  const std::size_t n = static_cast<std::size_t>(std::max(w, h));
  std::vector<double> line(n), z(n + 1);
  std::vector<int> v(n);
  for (int y = 0; y < h; ++y) Envelope(f, w, 1, static_cast<std::size_t>(y) * w, line, v, z);
  for (int x = 0; x < w; ++x) Envelope(f, h, w, x, line, v, z);
  return f;
}
}  // namespace

std::vector<double> Distance(const Mask& mask, int limit) {
  const auto toIn = SquaredDistance(mask.bits, mask.width, mask.height, true);
  const auto toOut = SquaredDistance(mask.bits, mask.width, mask.height, false);
  std::vector<double> d(mask.bits.size());
  for (std::size_t i = 0; i < d.size(); ++i)
    d[i] = std::min<double>(limit, std::sqrt(mask.bits[i] ? toOut[i] : toIn[i]));
  return d;
}

Traced Trace(int width, int height, const std::function<bool(double, double)>& inside, int factor) {
  Mask fine(width * factor, height * factor);
  for (int y = 0; y < fine.height; ++y)
    for (int x = 0; x < fine.width; ++x) fine.Put(x, y, inside((x + 0.5) / factor, (y + 0.5) / factor));
  const auto toIn = SquaredDistance(fine.bits, fine.width, fine.height, true);
  const auto toOut = SquaredDistance(fine.bits, fine.width, fine.height, false);
  Traced t;
  t.width = width;
  t.height = height;
  t.inside.resize(static_cast<std::size_t>(width) * height);
  t.distance.resize(t.inside.size());
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      // The fine pixel in the middle of this one (factor is odd).
      const std::size_t f = static_cast<std::size_t>(y * factor + factor / 2) * fine.width + x * factor + factor / 2;
      const std::size_t i = static_cast<std::size_t>(y) * width + x;
      t.inside[i] = fine.bits[f];
      const double d = std::sqrt(fine.bits[f] ? toOut[f] : toIn[f]);
      t.distance[i] = std::min(1e6, (d - 0.5) / factor + 0.5);
    }
  return t;
}

bool InPolygon(const std::vector<std::array<double, 2>>& poly, double x, double y) {
  bool in = false;
  for (std::size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
    const auto& a = poly[i];
    const auto& b = poly[j];
    if ((a[1] > y) != (b[1] > y) && x < (b[0] - a[0]) * (y - a[1]) / (b[1] - a[1]) + a[0]) in = !in;
  }
  return in;
}

double Hash(int a, int b, int seed) {
  std::uint32_t h = static_cast<std::uint32_t>(a) * 0x9E3779B1u ^ static_cast<std::uint32_t>(b) * 0x85EBCA77u ^
                    static_cast<std::uint32_t>(seed) * 0xC2B2AE3Du;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  h *= 0x297A2D39u;
  h ^= h >> 15;
  return (h >> 8) / 16777216.0;
}

namespace {
void Put16(std::vector<std::uint8_t>& out, unsigned v) {
  out.push_back(static_cast<std::uint8_t>(v & 0xFF));
  out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
}  // namespace

std::vector<std::uint8_t> EncodeBmp(const Picture& picture) {
  const int w = picture.Width(), h = picture.Height();
  const std::uint32_t stride = (static_cast<std::uint32_t>(w) + 3u) & ~3u;
  const std::uint32_t data = stride * static_cast<std::uint32_t>(h);
  std::vector<std::uint8_t> out;
  out.push_back('B');
  out.push_back('M');
  Put32(out, 1078 + data);  // file size
  Put32(out, 0);            // reserved
  Put32(out, 1078);         // pixel offset
  Put32(out, 40);           // information header
  Put32(out, static_cast<std::uint32_t>(w));
  Put32(out, static_cast<std::uint32_t>(h));  // positive: bottom-up
  Put16(out, 1);                              // planes
  Put16(out, 8);                              // bits per pixel
  Put32(out, 0);                              // no compression
  Put32(out, data);
  Put32(out, 2835);  // 72 dpi
  Put32(out, 2835);
  Put32(out, 256);  // colours
  Put32(out, 0);    // all important
  for (const Rgb& c : picture.Palette()) {
    out.push_back(static_cast<std::uint8_t>(c.b));
    out.push_back(static_cast<std::uint8_t>(c.g));
    out.push_back(static_cast<std::uint8_t>(c.r));
    out.push_back(0);
  }
  for (int y = h - 1; y >= 0; --y) {
    for (int x = 0; x < w; ++x) out.push_back(static_cast<std::uint8_t>(picture.At(x, y)));
    for (std::uint32_t p = static_cast<std::uint32_t>(w); p < stride; ++p) out.push_back(0);
  }
  return out;
}

namespace {
void PngToVector(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}
void PngFlush(png_structp) {}
}  // namespace

std::vector<std::uint8_t> EncodePng(int width, int height, const std::vector<Rgb>& pixels,
                                    const std::vector<bool>& opaque) {
  std::vector<std::uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) throw std::runtime_error("libpng: out of memory");
  std::vector<std::uint8_t> rows(static_cast<std::size_t>(width) * height * 4);
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    rows[i * 4 + 0] = static_cast<std::uint8_t>(pixels[i].r);
    rows[i * 4 + 1] = static_cast<std::uint8_t>(pixels[i].g);
    rows[i * 4 + 2] = static_cast<std::uint8_t>(pixels[i].b);
    rows[i * 4 + 3] = opaque[i] ? 255 : 0;
  }
  std::vector<png_bytep> pointers;
  for (int y = 0; y < height; ++y) pointers.push_back(rows.data() + static_cast<std::size_t>(y) * width * 4);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw std::runtime_error("libpng: cannot encode");
  }
  png_set_write_fn(png, &out, PngToVector, PngFlush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, 9);
  png_set_filter(png, 0, PNG_FILTER_NONE);
  png_set_rows(png, info, pointers.data());
  png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

std::vector<std::uint8_t> EncodeWav16(int sampleRate, const std::vector<std::int16_t>& samples) {
  std::vector<std::uint8_t> out;
  const std::uint32_t data = static_cast<std::uint32_t>(samples.size() * 2);
  for (char c : std::string("RIFF")) out.push_back(static_cast<std::uint8_t>(c));
  Put32(out, 36 + data);
  for (char c : std::string("WAVEfmt ")) out.push_back(static_cast<std::uint8_t>(c));
  Put32(out, 16);
  Put16(out, 1);  // PCM
  Put16(out, 1);  // mono
  Put32(out, static_cast<std::uint32_t>(sampleRate));
  Put32(out, static_cast<std::uint32_t>(sampleRate) * 2);
  Put16(out, 2);
  Put16(out, 16);
  for (char c : std::string("data")) out.push_back(static_cast<std::uint8_t>(c));
  Put32(out, data);
  for (std::int16_t s : samples) Put16(out, static_cast<std::uint16_t>(s));
  return out;
}

std::vector<Rgb> ToRgb(const Picture& picture) {
  std::vector<Rgb> rgb;
  rgb.reserve(picture.Pixels().size());
  for (std::uint8_t i : picture.Pixels()) rgb.push_back(picture.Palette()[i]);
  return rgb;
}

std::vector<Rgb> Enlarge(const std::vector<Rgb>& rgb, int width, int height, int factor) {
  std::vector<Rgb> big(static_cast<std::size_t>(width) * height * factor * factor);
  for (int y = 0; y < height * factor; ++y)
    for (int x = 0; x < width * factor; ++x)
      big[static_cast<std::size_t>(y) * width * factor + x] =
          rgb[static_cast<std::size_t>(y / factor) * width + x / factor];
  return big;
}

}  // namespace art
