#include "present/font.h"

#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <string>

#include "app/runtime.h"

namespace zorva {
namespace {

const int kSizes[] = {kDefaultFontPoints, 9};

// The status line as the game composes it.
std::string StatusLine(int hi, int score, int fps) {
  return "HISCORE " + Format(hi, 4) + "  SCORE " + Format(score, 4) + Space(25) + "FPS " + Format(fps, 5);
}

// Right-most column with ink, or -1.
int RightmostInk(const Surface& s) {
  int right = -1;
  for (int y = 0; y < s.Height(); ++y)
    for (int x = 0; x < s.Width(); ++x)
      if (s.Pixel(x, y) != 0) right = std::max(right, x);
  return right;
}

TEST(Font, StatusLineFitsTheCanvasAtBothSizes) {
  for (int points : kSizes) {
    SCOPED_TRACE(points);
    for (const std::string& line : {StatusLine(120, 40, 33), StatusLine(10000, 10000, 33), StatusLine(32760, 32760, 1000)}) {
      EXPECT_LE(5 + TextWidth(line, points), 320) << line;
      Surface canvas(324, 324, 2);
      canvas.ForeColor = RGB(0, 0, 255);
      canvas.FontSize = points;
      canvas.CurrentX = 5;
      canvas.CurrentY = 2;
      canvas.Print(line);
      const int right = RightmostInk(canvas);
      EXPECT_GT(right, 200) << "the line reaches across the canvas";
      EXPECT_LT(right, 319);
    }
    EXPECT_EQ(StatusLine(10000, 10000, 33).size(), 60u);
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
    // Capitals are told apart by their pixels, not only by their codes.
    std::set<std::vector<Colour>> looks;
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
}

TEST(Font, SizesMapToTheNearestDrawnFace) {
  const struct {
    int asked, face;
  } cases[] = {{0, kDefaultFontPoints}, {1, kDefaultFontPoints}, {kDefaultFontPoints, kDefaultFontPoints},
               {9, 9}, {10, 9}, {72, 9}, {-5, kDefaultFontPoints}};
  for (const auto& c : cases) {
    EXPECT_EQ(TextWidth("HISCORE 0120", c.asked), TextWidth("HISCORE 0120", c.face)) << c.asked;
    EXPECT_EQ(LineHeight(c.asked), LineHeight(c.face)) << c.asked;
  }
}

TEST(Font, DrawsOnlyInkWithoutABackground) {
  Surface s(60, 20, 0);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 60; ++x) s.PSet(x, y, 0x123456);
  const int advance = DrawText(s, 2, 1, "SCORE", 9, RGB(0, 0, 255));
  EXPECT_EQ(advance, TextWidth("SCORE", 9));
  int ink = 0, kept = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 60; ++x) {
      const Colour c = s.Pixel(x, y);
      ASSERT_TRUE(c == 0x123456u || c == RGB(0, 0, 255));
      (c == 0x123456u ? kept : ink)++;
      if (c != 0x123456u) {
        EXPECT_GE(x, 2);
        EXPECT_LT(x, 2 + advance);
        EXPECT_GE(y, 1);
        EXPECT_LT(y, 1 + LineHeight(9));
      }
    }
  EXPECT_GT(ink, 30);
  EXPECT_GT(kept, ink);
}

TEST(Font, UnknownCharactersAreNarrowBoxes) {
  const struct {
    std::string text;
    int boxes;
  } cases[] = {{"a", 1}, {"~", 1}, {"\x01", 1}, {reinterpret_cast<const char*>(u8"Ｚ"), 1}, {"z\xFF", 2}};
  for (int points : kSizes)
    for (const auto& c : cases) {
      EXPECT_EQ(TextWidth(c.text, points), c.boxes * (kBoxWidth + 1)) << c.text;
      Surface s(20, 20, 0);
      DrawText(s, 0, 0, c.text, points, 0xFFFFFF);
      EXPECT_EQ(RightmostInk(s), (c.boxes - 1) * (kBoxWidth + 1) + kBoxWidth - 1) << c.text;
    }
}

TEST(Font, TextPastTheEdgesIsCutOff) {
  const struct {
    int x, y;
  } places[] = {{-30, 0}, {300, 0}, {0, -8}, {0, 315}, {-1000000, -1000000}, {1000000, 1000000}, {INT_MAX, INT_MAX}, {INT_MIN, INT_MIN}};
  for (const auto& p : places) {
    Surface s(320, 320, 0);
    DrawText(s, p.x, p.y, StatusLine(99999, 99999, 99999), 9, 0xFFFFFF);
    EXPECT_LE(RightmostInk(s), 319);
  }
}

}  // namespace
}  // namespace zorva
