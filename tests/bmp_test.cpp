#include "base/bmp.h"

#include <gtest/gtest.h>

#include <functional>

namespace zorva {
namespace {

void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void Put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

// A 5 x 3 image whose pixel (x, y) holds palette index 10 * y + x + 1; entry
// i of the palette is the colour (i, 2i, 3i).
std::vector<std::uint8_t> Small() {
  const std::size_t stride = 8;
  std::vector<std::uint8_t> b(kBmpPixelOffset + stride * 3, 0);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, 2, static_cast<std::uint32_t>(b.size()));
  Put32(b, 10, kBmpPixelOffset);
  Put32(b, 14, 40);
  Put32(b, 18, 5);
  Put32(b, 22, 3);
  Put16(b, 26, 1);
  Put16(b, 28, 8);
  Put32(b, 34, stride * 3);
  Put32(b, 46, 256);
  for (std::size_t i = 0; i < 256; ++i) {
    b[54 + 4 * i + 2] = static_cast<std::uint8_t>(i);      // red
    b[54 + 4 * i + 1] = static_cast<std::uint8_t>(2 * i);  // green
    b[54 + 4 * i + 0] = static_cast<std::uint8_t>(3 * i);  // blue
  }
  for (std::size_t y = 0; y < 3; ++y)
    for (std::size_t x = 0; x < 5; ++x) b[kBmpPixelOffset + (2 - y) * stride + x] = static_cast<std::uint8_t>(10 * y + x + 1);
  return b;
}

TEST(BmpReader, ReadsRowsBottomUpThroughThePalette) {
  const auto bytes = Small();
  const BmpResult r = ReadBmp(bytes, 5, 3);
  ASSERT_TRUE(r) << r.error;
  EXPECT_EQ(r.image.width, 5);
  EXPECT_EQ(r.image.height, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) {
      const int i = 10 * y + x + 1;
      EXPECT_EQ(r.image.indices[static_cast<std::size_t>(y * 5 + x)], i);
      EXPECT_EQ(r.image.pixels[static_cast<std::size_t>(y * 5 + x)], RGB(i, 2 * i, 3 * i)) << x << "," << y;
    }
  EXPECT_EQ(r.image.palette[0], 0u);
  EXPECT_TRUE(ReadBmp(bytes)) << "no size asked for";
}

TEST(BmpReader, RejectsEveryMalformedFile) {
  using Edit = std::function<void(std::vector<std::uint8_t>&)>;
  const struct {
    const char* what;
    Edit edit;
    int width = 0, height = 0;
  } cases[] = {
      {"empty", [](auto& b) { b.clear(); }},
      {"header only", [](auto& b) { b.resize(54); }},
      {"palette cut", [](auto& b) { b.resize(1000); }},
      {"last byte missing", [](auto& b) { b.pop_back(); }},
      {"last byte missing, size field agrees",
       [](auto& b) { b.pop_back(); Put32(b, 2, static_cast<std::uint32_t>(b.size())); }},
      {"one byte too many", [](auto& b) { b.push_back(0); }},
      {"one byte too many, size field agrees",
       [](auto& b) { b.push_back(0); Put32(b, 2, static_cast<std::uint32_t>(b.size())); }},
      {"signature", [](auto& b) { b[1] = 'A'; }},
      {"reserved", [](auto& b) { b[7] = 1; }},
      {"pixel offset", [](auto& b) { Put32(b, 10, 1074); }},
      {"pixel offset past the end", [](auto& b) { Put32(b, 10, 0xFFFFFFF0u); }},
      {"info header size", [](auto& b) { Put32(b, 14, 108); }},
      {"width zero", [](auto& b) { Put32(b, 18, 0); }},
      {"width negative", [](auto& b) { Put32(b, 18, 0xFFFFFFFBu); }},
      {"width huge", [](auto& b) { Put32(b, 18, 0x7FFFFFFFu); }},
      {"wider than the data", [](auto& b) { Put32(b, 18, 9); }},
      {"top-down rows", [](auto& b) { Put32(b, 22, 0xFFFFFFFDu); }},
      {"height zero", [](auto& b) { Put32(b, 22, 0); }},
      {"taller than the data", [](auto& b) { Put32(b, 22, 4); }},
      {"planes", [](auto& b) { Put16(b, 26, 2); }},
      {"4 bits per pixel", [](auto& b) { Put16(b, 28, 4); }},
      {"24 bits per pixel", [](auto& b) { Put16(b, 28, 24); }},
      {"run-length compressed", [](auto& b) { Put32(b, 30, 1); }},
      {"image size field", [](auto& b) { Put32(b, 34, 15); }},
      {"16-colour palette", [](auto& b) { Put32(b, 46, 16); }},
      {"important colours", [](auto& b) { Put32(b, 50, 300); }},
      {"palette fourth byte", [](auto& b) { b[54 + 4 * 200 + 3] = 7; }},
      {"row padding", [](auto& b) { b[kBmpPixelOffset + 8 + 6] = 1; }},
      {"wrong width asked", [](auto&) {}, 6, 3},
      {"wrong height asked", [](auto&) {}, 5, 2},
  };
  for (const auto& c : cases) {
    auto bytes = Small();
    c.edit(bytes);
    const BmpResult r = ReadBmp(bytes, c.width, c.height);
    EXPECT_FALSE(r) << c.what;
    EXPECT_FALSE(r.error.empty()) << c.what;
  }
}

TEST(BmpReader, SurvivesEveryTruncation) {
  const auto bytes = Small();
  for (std::size_t n = 0; n < bytes.size(); ++n) EXPECT_FALSE(ReadBmp(std::span(bytes).first(n))) << n;
}

}  // namespace
}  // namespace zorva
