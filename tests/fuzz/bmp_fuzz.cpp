// Feeds arbitrary bytes to the bitmap reader. The reader must never read out
// of bounds, and whatever it accepts must be a consistent image.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "base/bmp.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

void CheckImage(const zorva::BmpResult& r, std::size_t fileSize) {
  if (!r) {
    Check(!r.error.empty());
    return;
  }
  const zorva::BmpImage& img = r.image;
  Check(img.width > 0 && img.width <= zorva::kBmpMaxSide);
  Check(img.height > 0 && img.height <= zorva::kBmpMaxSide);
  const std::size_t n = static_cast<std::size_t>(img.width) * static_cast<std::size_t>(img.height);
  Check(img.indices.size() == n && img.pixels.size() == n);
  // Every pixel byte came from the file, so the image cannot be bigger.
  Check(n <= fileSize - zorva::kBmpPixelOffset);
  for (std::size_t i = 0; i < n; ++i) Check(img.pixels[i] == img.palette[img.indices[i]]);
  for (const zorva::Colour c : img.palette) Check((c >> 24) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  const zorva::BmpResult any = zorva::ReadBmp(bytes);
  CheckImage(any, size);
  if (any) {
    // The same file with its own size demanded is read the same way; with
    // another size it is refused.
    const zorva::BmpResult same = zorva::ReadBmp(bytes, any.image.width, any.image.height);
    Check(static_cast<bool>(same) && same.image.pixels == any.image.pixels);
    Check(!zorva::ReadBmp(bytes, any.image.width + 1, any.image.height));
  }
  return 0;
}
