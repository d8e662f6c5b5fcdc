// Arbitrary bytes for the bitmap reader: nothing may be read out of bounds,
// and whatever it accepts is a consistent image read the same way again.
#include <cstdlib>

#include "base/bmp.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto check = [](bool ok) { ok ? void() : std::abort(); };
  const std::span<const std::uint8_t> bytes(data, size);
  const zorva::BmpResult r = zorva::ReadBmp(bytes);
  check(r || !r.error.empty());
  if (!r) return 0;
  const std::size_t n = static_cast<std::size_t>(r.image.width) * static_cast<std::size_t>(r.image.height);
  check(r.image.indices.size() == n && r.image.pixels.size() == n && n <= size - zorva::kBmpPixelOffset);
  for (std::size_t i = 0; i < n; ++i) check(r.image.pixels[i] == r.image.palette[r.image.indices[i]]);
  check(zorva::ReadBmp(bytes, r.image.width, r.image.height).image.pixels == r.image.pixels);
  check(!zorva::ReadBmp(bytes, r.image.width + 1, r.image.height));
  return 0;
}
