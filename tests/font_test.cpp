#include "base/font.h"

#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <string>

#include "base/runtime.h"

namespace zorva {
namespace {

const int kSizes[] = {kDefaultFontPoints, 9};

std::string StatusLine(int hi, int score, int fps) {
  return "HISCORE " + Format(hi, 4) + "  SCORE " + Format(score, 4) + Space(25) + "FPS " + Format(fps, 5);
}

// Right-most column with ink, or -1.
int RightmostInk(const Surface& s) {
  int right = -1;
  for (int y = 0; y < s.Height(); ++y)
    for (int x = 0; x < s.Width(); ++x) right = s.Pixel(x, y) != 0 ? std::max(right, x) : right;
  return right;
}

TEST(Font, StatusLineFitsTheCanvasAtBothSizesAndTextPastTheEdgesIsCutOff) {
  for (int points : kSizes)
    for (const std::string& line : {StatusLine(120, 40, 33), StatusLine(10000, 10000, 33), StatusLine(32760, 32760, 1000)}) {
      SCOPED_TRACE(::testing::Message() << points << ": " << line);
      EXPECT_LE(5 + TextWidth(line, points), 320);
      Surface canvas(324, 324, 2);
      DrawText(canvas, 5, 2, line, points, RGB(0, 0, 255));
      EXPECT_GT(RightmostInk(canvas), 200);  // the line reaches across the canvas
      EXPECT_LT(RightmostInk(canvas), 319);
    }
  const std::pair<int, int> places[] = {{-30, 0}, {300, 0}, {0, -8}, {0, 315}, {-1000000, -1000000}, {INT_MAX, INT_MAX}, {INT_MIN, INT_MIN}};
  for (const auto& [x, y] : places) {
    Surface s(320, 320, 0);
    DrawText(s, x, y, StatusLine(99999, 99999, 99999), 9, 0xFFFFFF);
    EXPECT_LE(RightmostInk(s), 319);
  }
}

TEST(Font, DigitsShareOneWidthAndEveryCapitalIsDrawn) {
  for (int points : kSizes) {
    SCOPED_TRACE(points);
    std::set<int> widths;
    for (char d = '0'; d <= '9'; ++d) {
      EXPECT_TRUE(HasGlyph(d, points)) << d;
      widths.insert(TextWidth(std::string(1, d), points));
    }
    EXPECT_EQ(widths.size(), 1u);
    std::set<std::vector<Colour>> looks;  // told apart by their pixels
    for (char c = 'A'; c <= 'Z'; ++c) {
      EXPECT_TRUE(HasGlyph(c, points)) << c;
      Surface s(20, 20, 0);
      DrawText(s, 0, 0, std::string(1, c), points, 0xFFFFFF);
      looks.insert(s.Pixels());
    }
    EXPECT_EQ(looks.size(), 26u);
    EXPECT_TRUE(HasGlyph(' ', points));
  }
  EXPECT_GT(LineHeight(9), LineHeight(kDefaultFontPoints));
  EXPECT_GT(TextWidth("OPTION WAIT", 9), TextWidth("OPTION WAIT", kDefaultFontPoints));
  // Any size asked for is drawn in the nearest drawn face.
  const std::pair<int, int> sizes[] = {{0, kDefaultFontPoints}, {1, kDefaultFontPoints}, {-5, kDefaultFontPoints},
                                       {kDefaultFontPoints, kDefaultFontPoints}, {9, 9}, {10, 9}, {72, 9}};
  for (const auto& [asked, face] : sizes) {
    EXPECT_EQ(TextWidth("HISCORE 0120", asked), TextWidth("HISCORE 0120", face)) << asked;
    EXPECT_EQ(LineHeight(asked), LineHeight(face)) << asked;
  }
}

TEST(Font, DrawsOnlyInkInsideItsAdvanceWithoutABackground) {
  Surface s(60, 20, 0);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 60; ++x) s.PSet(x, y, 0x123456);
  const int advance = DrawText(s, 2, 1, "SCORE", 9, RGB(0, 0, 255));
  EXPECT_EQ(advance, TextWidth("SCORE", 9));
  int ink = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 60; ++x) {
      if (s.Pixel(x, y) == 0x123456u) continue;
      ++ink;
      EXPECT_EQ(s.Pixel(x, y), RGB(0, 0, 255));
      EXPECT_TRUE(x >= 2 && x < 2 + advance && y >= 1 && y < 1 + LineHeight(9)) << x << "," << y;
    }
  EXPECT_GT(ink, 30);
  EXPECT_LT(ink, 600);
}

TEST(Font, UnknownCharactersAreNarrowBoxes) {
  const std::pair<std::string, int> cases[] = {{"a", 1}, {"~", 1}, {"\x01", 1}, {reinterpret_cast<const char*>(u8"Ｚ"), 1}, {"z\xFF", 2}};
  for (int points : kSizes)
    for (const auto& [text, boxes] : cases) {
      EXPECT_EQ(TextWidth(text, points), boxes * (kBoxWidth + 1)) << text;
      Surface s(20, 20, 0);
      DrawText(s, 0, 0, text, points, 0xFFFFFF);
      EXPECT_EQ(RightmostInk(s), (boxes - 1) * (kBoxWidth + 1) + kBoxWidth - 1) << text;
    }
}

}  // namespace
}  // namespace zorva
