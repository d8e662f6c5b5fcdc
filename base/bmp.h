// A strict reader for the game's images: Windows bitmap files of exactly one
// layout (8 bits per pixel, a 256-entry palette, no compression, a 14-byte
// file header and a 40-byte information header, rows stored bottom-up and
// padded to four bytes, pixels at offset 1078). Every field is checked
// against the bytes actually there; nothing is read out of bounds.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/surface.h"

namespace zorva {

inline constexpr std::uint32_t kBmpPixelOffset = 14 + 40 + 1024;
inline constexpr int kBmpMaxSide = 4096;

struct BmpImage {
  int width = 0;
  int height = 0;
  std::array<Colour, 256> palette{};  // 0x00BBGGRR
  std::vector<std::uint8_t> indices;  // top row first
  std::vector<Colour> pixels;         // top row first, 0x00BBGGRR
};

struct BmpResult {
  BmpImage image;
  std::string error;  // empty when the image was read
  explicit operator bool() const { return error.empty(); }
};

// Reads a bitmap file image. With `width` and `height` above 0 the image
// must have exactly that size.
BmpResult ReadBmp(std::span<const std::uint8_t> bytes, int width = 0, int height = 0);

}  // namespace zorva
