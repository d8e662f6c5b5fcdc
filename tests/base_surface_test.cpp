// Surfaces: block transfers with clipping, clear, set point, and the sizes of
// the canvas and the starfield buffer.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "app/surface.h"
#include "base_sim_main.h"
#include "present/font.h"

namespace zorva {
namespace {

// A picture of w x h whose every pixel is distinct; every seventh is black so
// that the transparency of SRCPAINT shows.
Surface Pattern(int w, int h, Colour salt) {
  std::vector<Colour> px(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x);
      px[i] = (i % 7 == 3) ? 0 : ((salt ^ static_cast<Colour>(y * 977 + x * 131)) & 0xFFFFFF);
    }
  Surface s;
  s.SetImage(w, h, std::move(px));
  return s;
}

// A canvas like `Crt`: 324 outer, 2-pixel frame, filled with a pattern.
Surface Canvas() {
  Surface s(324, 324, 2);
  for (int y = 0; y < s.Height(); ++y)
    for (int x = 0; x < s.Width(); ++x) s.PSet(x, y, static_cast<Colour>((x * 7 + y * 3) << 4) & 0xF0F0F0);
  return s;
}

// What the destination must hold after the transfer, worked out pixel by
// pixel of the destination: the pixel (dx, dy) is covered when it lies inside
// the rectangle and its source pixel lies inside the source.
std::vector<Colour> Expected(const Surface& before, std::int64_t x, std::int64_t y, std::int64_t w, std::int64_t h,
                             const Surface& src, std::int64_t sx, std::int64_t sy, std::uint32_t rop) {
  std::vector<Colour> out = before.Pixels();
  for (std::int64_t dy = 0; dy < before.Height(); ++dy)
    for (std::int64_t dx = 0; dx < before.Width(); ++dx) {
      const std::int64_t i = dx - x, j = dy - y;
      if (i < 0 || j < 0 || i >= w || j >= h) continue;
      const std::int64_t px = sx + i, py = sy + j;
      if (px < 0 || py < 0 || px >= src.Width() || py >= src.Height()) continue;
      const Colour s = src.Pixel(static_cast<int>(px), static_cast<int>(py));
      Colour& d = out[static_cast<std::size_t>(dy * before.Width() + dx)];
      d = rop == SRCCOPY ? s : (d | s);
    }
  return out;
}

struct BltCase {
  const char* name;
  int x, y, w, h, sx, sy;
};

const BltCase kBltCases[] = {
    {"inside", 100, 90, 40, 30, 0, 0},
    {"part of the source", 10, 20, 13, 9, 5, 7},
    {"cut at the left", -17, 50, 40, 30, 0, 0},
    {"cut at the right", 300, 50, 40, 30, 0, 0},
    {"cut at the top", 50, -11, 40, 30, 0, 0},
    {"cut at the bottom", 50, 305, 40, 30, 0, 0},
    {"cut at every side", -5, -5, 400, 400, 0, 0},
    {"in the corner", 318, 319, 40, 30, 0, 0},
    {"source cut at the left", 60, 60, 40, 30, -9, 0},
    {"source cut at the right", 60, 60, 40, 30, 25, 0},
    {"source cut at the top", 60, 60, 40, 30, 0, -12},
    {"source cut at the bottom", 60, 60, 40, 30, 0, 20},
    {"both cut", -3, 310, 50, 50, -4, -6},
    {"zero width", 10, 10, 0, 30, 0, 0},
    {"zero height", 10, 10, 40, 0, 0, 0},
    {"negative width", 10, 10, -40, 30, 0, 0},
    {"negative height", 10, 10, 40, -30, 0, 0},
    {"most negative size", 10, 10, INT_MIN, INT_MIN, 0, 0},
    {"huge size", 10, 10, INT_MAX, INT_MAX, 0, 0},
    {"huge size from far left", INT_MIN, INT_MIN, INT_MAX, INT_MAX, 0, 0},
    {"huge size from far source", 0, 0, INT_MAX, INT_MAX, INT_MIN, INT_MIN},
    {"far right", INT_MAX, 10, INT_MAX, 30, 0, 0},
    {"far below", 10, INT_MAX, 40, INT_MAX, 0, 0},
    {"far left", INT_MIN, 10, 40, 30, 0, 0},
    {"far above", 10, INT_MIN, 40, 30, 0, 0},
    {"just off the right", 320, 10, 40, 30, 0, 0},
    {"just off the bottom", 10, 320, 40, 30, 0, 0},
    {"just off the left", -40, 10, 40, 30, 0, 0},
    {"just off the top", 10, -30, 40, 30, 0, 0},
    {"source far right", 10, 10, 40, 30, INT_MAX, 0},
    {"source far below", 10, 10, 40, 30, 0, INT_MAX},
    {"source just off", 10, 10, 40, 30, 40, 30},
    {"source far before", 10, 10, 40, 30, INT_MIN, INT_MIN},
};

TEST(BaseBitBlt, ClipsToBothSurfacesForBothOperations) {
  const Surface src = Pattern(40, 30, 0x5A3C96);
  for (const std::uint32_t rop : {SRCCOPY, SRCPAINT}) {
    for (const BltCase& c : kBltCases) {
      SCOPED_TRACE(std::string(c.name) + (rop == SRCCOPY ? " SRCCOPY" : " SRCPAINT"));
      Surface dst = Canvas();
      const std::vector<Colour> want = Expected(dst, c.x, c.y, c.w, c.h, src, c.sx, c.sy, rop);
      EXPECT_EQ(BitBlt(dst, c.x, c.y, c.w, c.h, src, c.sx, c.sy, rop), 1);
      EXPECT_EQ(dst.Pixels(), want);
    }
  }
}

TEST(BaseBitBlt, EmptySurfacesAreNeverTouched) {
  Surface empty;                 // no pixels at all
  Surface frameOnly(4, 4, 2);    // all frame, no drawing area
  const Surface src = Pattern(8, 8, 0x123456);
  EXPECT_EQ(frameOnly.Width(), 0);
  for (const BltCase& c : kBltCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(BitBlt(empty, c.x, c.y, c.w, c.h, src, c.sx, c.sy, SRCCOPY), 1);
    EXPECT_EQ(BitBlt(frameOnly, c.x, c.y, c.w, c.h, src, c.sx, c.sy, SRCPAINT), 1);
    Surface dst = Canvas();
    const std::vector<Colour> before = dst.Pixels();
    EXPECT_EQ(BitBlt(dst, c.x, c.y, c.w, c.h, empty, c.sx, c.sy, SRCCOPY), 1);
    EXPECT_EQ(dst.Pixels(), before);
  }
}

TEST(BaseBitBlt, RasterOperations) {
  struct Case {
    Colour dst, src;
    std::uint32_t rop;
    Colour want;
  };
  const Case cases[] = {
      {0x0000FF, 0x00FF00, SRCPAINT, 0x00FFFF},  // OR mixes
      {0x123456, 0x000000, SRCPAINT, 0x123456},  // black is transparent
      {0x000000, 0xABCDEF, SRCPAINT, 0xABCDEF},
      {0x123456, 0x000000, SRCCOPY, 0x000000},   // copy replaces, black too
      {0x0000FF, 0x00FF00, SRCCOPY, 0x00FF00},
  };
  for (const Case& c : cases) {
    Surface d(1, 1, 0), s(1, 1, 0);
    d.PSet(0, 0, c.dst);
    s.PSet(0, 0, c.src);
    EXPECT_EQ(BitBlt(d, 0, 0, 1, 1, s, 0, 0, c.rop), 1);
    EXPECT_EQ(d.Pixel(0, 0), c.want) << std::hex << c.dst << " " << c.src;
  }
  // Any other raster operation is refused and draws nothing.
  Surface d = Canvas();
  const Surface s = Pattern(40, 30, 1);
  const std::vector<Colour> before = d.Pixels();
  EXPECT_EQ(BitBlt(d, 0, 0, 40, 30, s, 0, 0, 0x00CC0021), 0);
  EXPECT_EQ(BitBlt(d, 0, 0, 40, 30, s, 0, 0, 0), 0);
  EXPECT_EQ(d.Pixels(), before);
}

TEST(BaseBitBlt, CopyWithinOneSurfaceReadsTheSourceBeforeWriting) {
  // Overlapping moves in every direction behave as if the source had been
  // copied aside first.
  const int moves[][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {5, 3}, {-5, -3}, {7, -2}, {-2, 7}, {0, 0}};
  for (const std::uint32_t rop : {SRCCOPY, SRCPAINT}) {
    for (const auto& m : moves) {
      SCOPED_TRACE(std::to_string(m[0]) + "," + std::to_string(m[1]) + (rop == SRCCOPY ? " copy" : " paint"));
      Surface s = Canvas();
      const Surface before = s;
      const int sx = 100, sy = 100;
      const std::vector<Colour> want = Expected(before, sx + m[0], sy + m[1], 60, 50, before, sx, sy, rop);
      EXPECT_EQ(BitBlt(s, sx + m[0], sy + m[1], 60, 50, s, sx, sy, rop), 1);
      EXPECT_EQ(s.Pixels(), want);
    }
  }
  // The scroll of the starfield: the whole area moved one row down in place,
  // and a copy across the edge clipped on both sides.
  Surface s = Canvas();
  const Surface before = s;
  EXPECT_EQ(BitBlt(s, 0, 1, 320, 320, s, 0, 0, SRCCOPY), 1);
  EXPECT_EQ(s.Pixels(), Expected(before, 0, 1, 320, 320, before, 0, 0, SRCCOPY));
  Surface t = Canvas();
  EXPECT_EQ(BitBlt(t, -10, 300, 400, 400, t, 5, -20, SRCPAINT), 1);
  EXPECT_EQ(t.Pixels(), Expected(before, -10, 300, 400, 400, before, 5, -20, SRCPAINT));
}

TEST(BaseSurface, ClsFillsWithTheBackgroundAndHomesTheTextPosition) {
  for (const Colour back : {Colour{0}, Colour{0x00FF8040}}) {
    Surface s = Canvas();
    s.BackColor = back;
    s.CurrentX = 57;
    s.CurrentY = 31;
    s.Cls();
    EXPECT_EQ(s.CurrentX, 0);
    EXPECT_EQ(s.CurrentY, 0);
    EXPECT_EQ(s.Pixels(), std::vector<Colour>(320 * 320, back));
  }
}

TEST(BaseSurface, PSetKeepsTwentyFourBitsAndIgnoresPointsOutside) {
  struct Case {
    int x, y;
    Colour colour;
    bool inside;
    Colour want;
  };
  const Case cases[] = {
      {0, 0, 0x00FFFFFF, true, 0x00FFFFFF},       {319, 319, 0xFF123456, true, 0x00123456},
      {319, 0, 0x80000001, true, 0x00000001},     {0, 319, 0x00ABCDEF, true, 0x00ABCDEF},
      {-1, 0, 0x00FFFFFF, false, 0},              {0, -1, 0x00FFFFFF, false, 0},
      {320, 5, 0x00FFFFFF, false, 0},             {5, 320, 0x00FFFFFF, false, 0},
      {INT_MIN, INT_MIN, 0x00FFFFFF, false, 0},   {INT_MAX, INT_MAX, 0x00FFFFFF, false, 0},
      {INT_MAX, 0, 0x00FFFFFF, false, 0},         {0, INT_MIN, 0x00FFFFFF, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
    Surface s(324, 324, 2);
    s.PSet(c.x, c.y, c.colour);
    std::vector<Colour> want(320 * 320, 0);
    if (c.inside) want[static_cast<std::size_t>(c.y) * 320 + static_cast<std::size_t>(c.x)] = c.want;
    EXPECT_EQ(s.Pixels(), want);
    EXPECT_EQ(s.Pixel(c.x, c.y), c.want);
  }
  EXPECT_EQ(RGB(0x12, 0x34, 0x56), Colour{0x563412});  // red in the low byte
}

TEST(BaseSurface, PrintDrawsOnlyLettersAtTheTextPosition) {
  struct Case {
    int x, y, points;
    Colour colour;
  };
  const Case cases[] = {
      {5, 2, 9, RGB(0, 0, 255)}, {5, 2, 0, RGB(0, 0, 255)}, {100, 150, 9, RGB(255, 255, 0)},
      {300, 310, 9, RGB(0, 0, 255)}, {-20, -3, 9, RGB(0, 255, 0)}, {INT_MAX, INT_MAX, 9, RGB(0, 0, 255)},
      {INT_MIN, INT_MIN, 0, RGB(0, 0, 255)},
  };
  const std::string text = "HISCORE 0120  SCORE 0040" + std::string(25, ' ') + "FPS 00033";
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y) + " at " + std::to_string(c.points));
    Surface s = Canvas();
    const Surface before = s;
    s.CurrentX = c.x;
    s.CurrentY = c.y;
    s.FontSize = c.points;
    s.ForeColor = c.colour;
    s.Print(text);
    // The letters come out as the typeface draws them there, in the text
    // colour; nothing else changes, nothing above or left of the position.
    Surface want = before;
    DrawText(want, c.x, c.y, text, c.points, c.colour);
    EXPECT_EQ(s.Pixels(), want.Pixels());
    int inked = 0;
    for (int y = 0; y < s.Height(); ++y)
      for (int x = 0; x < s.Width(); ++x) {
        if (s.Pixel(x, y) == before.Pixel(x, y)) continue;
        ++inked;
        EXPECT_EQ(s.Pixel(x, y), c.colour);
        EXPECT_TRUE(x >= c.x && y >= c.y) << x << "," << y;
      }
    if (c.x >= 0 && c.x < 300 && c.y >= 0 && c.y < 300) {
      EXPECT_GT(inked, 0);
    }
  }
}

TEST(BaseSurface, CanvasAndStarfieldBufferSizes) {
  SimMain m;
  for (Surface* s : {&m.sim.Crt, &m.sim.BG}) {
    EXPECT_EQ(s->OuterWidth(), 324);
    EXPECT_EQ(s->OuterHeight(), 324);
    EXPECT_EQ(s->Border(), 2);
    EXPECT_EQ(s->Width(), 320);
    EXPECT_EQ(s->Height(), 320);
    EXPECT_EQ(s->ReadWidth(), 324.0f);
    EXPECT_EQ(s->ReadHeight(), 324.0f);
    EXPECT_EQ(s->BackColor, Colour{0});
    EXPECT_EQ(s->Pixels(), std::vector<Colour>(320 * 320, 0));
  }
  EXPECT_EQ(m.sim.Crt.ForeColor, RGB(0, 0, 255));
  // The ship's start column comes from the width read back.
  EXPECT_EQ(m.sim.Crt.ReadWidth() / 2 - 16, 146.0f);
  // An image surface is exactly its image.
  Surface img = Pattern(263, 229, 7);
  EXPECT_EQ(img.ReadWidth(), 263.0f);
  EXPECT_EQ(img.Width(), 263);
  EXPECT_EQ(img.Height(), 229);
  // Resizing clears to the background colour; a smaller outer size than the
  // frame leaves no drawing area.
  Surface s = Canvas();
  s.BackColor = 0x010203;
  s.SetOuterSize(20, 10);
  EXPECT_EQ(s.Width(), 16);
  EXPECT_EQ(s.Height(), 6);
  EXPECT_EQ(s.Pixels(), std::vector<Colour>(16 * 6, 0x010203));
  s.SetOuterSize(3, -7);
  EXPECT_EQ(s.Width(), 0);
  EXPECT_EQ(s.Height(), 0);
  EXPECT_TRUE(s.Pixels().empty());
}

}  // namespace
}  // namespace zorva
