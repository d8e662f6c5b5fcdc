#include "base/bmp.h"

namespace zorva {

namespace {
std::uint32_t Le32(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
         (static_cast<std::uint32_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
std::uint16_t Le16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
BmpResult Fail(std::string why) {
  BmpResult r;
  r.error = std::move(why);
  return r;
}
}  // namespace

BmpResult ReadBmp(std::span<const std::uint8_t> bytes, int width, int height) {
  if (bytes.size() < kBmpPixelOffset) return Fail("truncated header");
  if (bytes[0] != 'B' || bytes[1] != 'M') return Fail("not a bitmap (no BM signature)");
  if (Le32(bytes, 2) != bytes.size()) return Fail("file size field does not match the file");
  if (Le32(bytes, 6) != 0) return Fail("reserved header fields are not zero");
  if (Le32(bytes, 10) != kBmpPixelOffset) return Fail("pixel data not at offset 1078");
  if (Le32(bytes, 14) != 40) return Fail("information header is not 40 bytes");
  const std::int32_t w = static_cast<std::int32_t>(Le32(bytes, 18));
  const std::int32_t h = static_cast<std::int32_t>(Le32(bytes, 22));
  if (w <= 0 || w > kBmpMaxSide) return Fail("bad width");
  if (h <= 0 || h > kBmpMaxSide) return Fail("bad height (rows must be stored bottom-up)");
  if ((width > 0 && w != width) || (height > 0 && h != height))
    return Fail("image is " + std::to_string(w) + " x " + std::to_string(h) + ", expected " + std::to_string(width) +
                " x " + std::to_string(height));
  if (Le16(bytes, 26) != 1) return Fail("planes is not 1");
  if (Le16(bytes, 28) != 8) return Fail("not 8 bits per pixel");
  if (Le32(bytes, 30) != 0) return Fail("compressed");
  const std::uint64_t stride = (static_cast<std::uint64_t>(w) + 3) & ~std::uint64_t{3};
  const std::uint64_t data = stride * static_cast<std::uint64_t>(h);
  const std::uint32_t sizeImage = Le32(bytes, 34);
  if (sizeImage != 0 && sizeImage != data) return Fail("image size field does not match the rows");
  const std::uint32_t colours = Le32(bytes, 46), important = Le32(bytes, 50);
  if (colours != 0 && colours != 256) return Fail("palette is not 256 entries");
  if (important > 256) return Fail("bad count of important colours");
  if (bytes.size() - kBmpPixelOffset != data) return Fail("pixel data is not exactly the rows");

  BmpResult r;
  BmpImage& img = r.image;
  img.width = w;
  img.height = h;
  for (std::size_t i = 0; i < 256; ++i) {
    const std::size_t at = 54 + 4 * i;
    if (bytes[at + 3] != 0) return Fail("palette entry " + std::to_string(i) + " has a non-zero fourth byte");
    img.palette[i] = RGB(bytes[at + 2], bytes[at + 1], bytes[at]);
  }
  const std::size_t cw = static_cast<std::size_t>(w), ch = static_cast<std::size_t>(h);
  img.indices.resize(cw * ch);
  img.pixels.resize(cw * ch);
  for (std::size_t row = 0; row < ch; ++row) {
    // Rows are stored from the bottom up.
    const std::size_t from = kBmpPixelOffset + (ch - 1 - row) * stride;
    for (std::size_t x = 0; x < cw; ++x) {
      const std::uint8_t index = bytes[from + x];
      img.indices[row * cw + x] = index;
      img.pixels[row * cw + x] = img.palette[index];
    }
    for (std::size_t p = cw; p < stride; ++p)
      if (bytes[from + p] != 0) return Fail("row padding is not zero");
  }
  return r;
}

}  // namespace zorva
