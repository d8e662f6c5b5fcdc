// Surfaces: block transfers with clipping, clear, set point, print, and the
// sizes of the canvas and the starfield buffer.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "base/surface.h"
#include "base/font.h"
#include "tests/base_sim_main.h"

namespace zorva {
namespace {

// A w x h picture whose pixels all differ; every seventh is black, so that
// the transparency of SRCPAINT shows.
Surface Pattern(int w, int h, Colour salt) {
  std::vector<Colour> px(static_cast<std::size_t>(w * h));
  for (std::size_t i = 0; i < px.size(); ++i)
    px[i] = i % 7 == 3 ? 0 : (salt ^ static_cast<Colour>(i / static_cast<std::size_t>(w) * 977 + i % static_cast<std::size_t>(w) * 131)) & 0xFFFFFF;
  Surface s;
  s.SetImage(w, h, std::move(px));
  return s;
}

// A canvas like `Crt` (324 outer, 2-pixel frame) filled with a pattern.
Surface Canvas() {
  Surface s(324, 324, 2);
  for (int y = 0; y < 320; ++y)
    for (int x = 0; x < 320; ++x) s.PSet(x, y, static_cast<Colour>((x * 7 + y * 3) << 4) & 0xF0F0F0);
  return s;
}

// The destination after the transfer, worked out pixel by pixel of the
// destination: covered where it lies in the rectangle and its source pixel
// lies in the source.
std::vector<Colour> Expected(const Surface& before, std::int64_t x, std::int64_t y, std::int64_t w, std::int64_t h,
                             const Surface& src, std::int64_t sx, std::int64_t sy, std::uint32_t rop) {
  std::vector<Colour> out = before.Pixels();
  for (std::int64_t dy = 0; dy < before.Height(); ++dy)
    for (std::int64_t dx = 0; dx < before.Width(); ++dx) {
      const std::int64_t i = dx - x, j = dy - y, px = sx + i, py = sy + j;
      if (i < 0 || j < 0 || i >= w || j >= h || px < 0 || py < 0 || px >= src.Width() || py >= src.Height()) continue;
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
    {"inside", 100, 90, 40, 30, 0, 0},          {"part of the source", 10, 20, 13, 9, 5, 7},
    {"cut left", -17, 50, 40, 30, 0, 0},        {"cut right", 300, 50, 40, 30, 0, 0},
    {"cut top", 50, -11, 40, 30, 0, 0},         {"cut bottom", 50, 305, 40, 30, 0, 0},
    {"cut every side", -5, -5, 400, 400, 0, 0}, {"corner", 318, 319, 40, 30, 0, 0},
    {"source cut left", 60, 60, 40, 30, -9, 0}, {"source cut right", 60, 60, 40, 30, 25, 0},
    {"source cut top", 60, 60, 40, 30, 0, -12}, {"source cut bottom", 60, 60, 40, 30, 0, 20},
    {"both cut", -3, 310, 50, 50, -4, -6},      {"zero width", 10, 10, 0, 30, 0, 0},
    {"zero height", 10, 10, 40, 0, 0, 0},       {"negative width", 10, 10, -40, 30, 0, 0},
    {"negative height", 10, 10, 40, -30, 0, 0}, {"most negative size", 10, 10, INT_MIN, INT_MIN, 0, 0},
    {"huge size", 10, 10, INT_MAX, INT_MAX, 0, 0}, {"huge from far left", INT_MIN, INT_MIN, INT_MAX, INT_MAX, 0, 0},
    {"huge from far source", 0, 0, INT_MAX, INT_MAX, INT_MIN, INT_MIN}, {"far right", INT_MAX, 10, INT_MAX, 30, 0, 0},
    {"far below", 10, INT_MAX, 40, INT_MAX, 0, 0}, {"far left", INT_MIN, 10, 40, 30, 0, 0},
    {"far above", 10, INT_MIN, 40, 30, 0, 0},   {"just off right", 320, 10, 40, 30, 0, 0},
    {"just off bottom", 10, 320, 40, 30, 0, 0}, {"just off left", -40, 10, 40, 30, 0, 0},
    {"just off top", 10, -30, 40, 30, 0, 0},    {"source far right", 10, 10, 40, 30, INT_MAX, 0},
    {"source far below", 10, 10, 40, 30, 0, INT_MAX}, {"source just off", 10, 10, 40, 30, 40, 30},
    {"source far before", 10, 10, 40, 30, INT_MIN, INT_MIN},
};

TEST(BaseBitBlt, ClipsToBothSurfacesForBothOperations) {
  const Surface src = Pattern(40, 30, 0x5A3C96), empty;
  Surface frameOnly(4, 4, 2);  // all frame, no drawing area
  for (const std::uint32_t rop : {SRCCOPY, SRCPAINT})
    for (const BltCase& c : kBltCases) {
      SCOPED_TRACE(std::string(c.name) + (rop == SRCCOPY ? " SRCCOPY" : " SRCPAINT"));
      Surface dst = Canvas();
      const std::vector<Colour> before = dst.Pixels();
      EXPECT_EQ(BitBlt(dst, c.x, c.y, c.w, c.h, empty, c.sx, c.sy, rop), 1);
      EXPECT_EQ(dst.Pixels(), before);
      EXPECT_EQ(BitBlt(frameOnly, c.x, c.y, c.w, c.h, src, c.sx, c.sy, rop), 1);
      const std::vector<Colour> want = Expected(dst, c.x, c.y, c.w, c.h, src, c.sx, c.sy, rop);
      EXPECT_EQ(BitBlt(dst, c.x, c.y, c.w, c.h, src, c.sx, c.sy, rop), 1);
      EXPECT_EQ(dst.Pixels(), want);
    }
}

TEST(BaseBitBlt, RasterOperations) {
  const Colour cases[][4] = {
      {0x0000FF, 0x00FF00, SRCPAINT, 0x00FFFF},  // OR mixes
      {0x123456, 0x000000, SRCPAINT, 0x123456},  // black is transparent
      {0x000000, 0xABCDEF, SRCPAINT, 0xABCDEF},
      {0x123456, 0x000000, SRCCOPY, 0x000000},   // copy replaces, black too
      {0x0000FF, 0x00FF00, SRCCOPY, 0x00FF00},
  };
  for (const auto& c : cases) {
    Surface d(1, 1, 0), s(1, 1, 0);
    d.PSet(0, 0, c[0]);
    s.PSet(0, 0, c[1]);
    EXPECT_EQ(BitBlt(d, 0, 0, 1, 1, s, 0, 0, c[2]), 1);
    EXPECT_EQ(d.Pixel(0, 0), c[3]) << std::hex << c[0] << " " << c[1];
  }
  // Any other raster operation is refused and draws nothing.
  Surface d = Canvas();
  const std::vector<Colour> before = d.Pixels();
  for (const std::uint32_t rop : {0x00CC0021u, 0u}) EXPECT_EQ(BitBlt(d, 0, 0, 40, 30, Pattern(40, 30, 1), 0, 0, rop), 0);
  EXPECT_EQ(d.Pixels(), before);
}

TEST(BaseBitBlt, CopyWithinOneSurfaceReadsTheSourceBeforeWriting) {
  // Overlapping moves in every direction, the starfield's scroll by one row,
  // and a copy across the edges.
  const int moves[][6] = {{101, 100, 60, 50, 100, 100}, {99, 100, 60, 50, 100, 100}, {100, 101, 60, 50, 100, 100},
                          {100, 99, 60, 50, 100, 100},  {105, 103, 60, 50, 100, 100}, {95, 97, 60, 50, 100, 100},
                          {107, 98, 60, 50, 100, 100},  {98, 107, 60, 50, 100, 100}, {0, 1, 320, 320, 0, 0},
                          {-10, 300, 400, 400, 5, -20}};
  for (const std::uint32_t rop : {SRCCOPY, SRCPAINT})
    for (const auto& m : moves) {
      SCOPED_TRACE(::testing::Message() << m[0] << "," << m[1] << (rop == SRCCOPY ? " copy" : " paint"));
      Surface s = Canvas();
      const Surface before = s;
      EXPECT_EQ(BitBlt(s, m[0], m[1], m[2], m[3], s, m[4], m[5], rop), 1);
      EXPECT_EQ(s.Pixels(), Expected(before, m[0], m[1], m[2], m[3], before, m[4], m[5], rop));
    }
}

TEST(BaseSurface, ClsAndPSet) {
  for (const Colour back : {Colour{0}, Colour{0x00FF8040}}) {
    Surface s = Canvas();
    s.BackColor = back;
    s.CurrentX = 57;
    s.CurrentY = 31;
    s.Cls();
    EXPECT_EQ(s.CurrentX + s.CurrentY, 0);
    EXPECT_EQ(s.Pixels(), std::vector<Colour>(320 * 320, back));
  }
  // Colours keep 24 bits; points outside the drawing area are ignored.
  const struct {
    int x, y;
    Colour colour, want;
  } cases[] = {
      {0, 0, 0x00FFFFFF, 0x00FFFFFF}, {319, 319, 0xFF123456, 0x00123456}, {319, 0, 0x80000001, 1},
      {0, 319, 0x00ABCDEF, 0x00ABCDEF}, {-1, 0, 0xFFFFFF, 0}, {0, -1, 0xFFFFFF, 0}, {320, 5, 0xFFFFFF, 0},
      {5, 320, 0xFFFFFF, 0}, {INT_MIN, INT_MIN, 0xFFFFFF, 0}, {INT_MAX, INT_MAX, 0xFFFFFF, 0}, {INT_MAX, 0, 0xFFFFFF, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.x << "," << c.y);
    Surface s(324, 324, 2);
    s.PSet(c.x, c.y, c.colour);
    std::vector<Colour> want(320 * 320, 0);
    if (c.want != 0) want[static_cast<std::size_t>(c.y * 320 + c.x)] = c.want;
    EXPECT_EQ(s.Pixels(), want);
  }
  EXPECT_EQ(RGB(0x12, 0x34, 0x56), Colour{0x563412});  // red in the low byte
}

TEST(BaseSurface, PrintDrawsOnlyLettersAtTheTextPosition) {
  const struct {
    int x, y, points;
    Colour colour;
  } cases[] = {{5, 2, 9, RGB(0, 0, 255)}, {5, 2, 0, RGB(0, 0, 255)}, {100, 150, 9, RGB(255, 255, 0)},
               {300, 310, 9, RGB(0, 0, 255)}, {-20, -3, 9, RGB(0, 255, 0)}, {INT_MAX, INT_MAX, 9, 1},
               {INT_MIN, INT_MIN, 0, 1}};
  const std::string text = "HISCORE 0120  SCORE 0040" + std::string(25, ' ') + "FPS 00033";
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.x << "," << c.y << " at " << c.points);
    Surface s = Canvas();
    const Surface before = s;
    Surface want = s;
    s.CurrentX = c.x;
    s.CurrentY = c.y;
    s.FontSize = c.points;
    s.ForeColor = c.colour;
    s.Print(text);
    DrawText(want, c.x, c.y, text, c.points, c.colour);
    EXPECT_EQ(s.Pixels(), want.Pixels());
    int inked = 0;
    for (int y = 0; y < 320; ++y)
      for (int x = 0; x < 320; ++x)
        if (s.Pixel(x, y) != before.Pixel(x, y)) {
          ++inked;
          EXPECT_TRUE(s.Pixel(x, y) == c.colour && x >= c.x && y >= c.y) << x << "," << y;
        }
    if (c.x >= 0 && c.x < 300 && c.y >= 0 && c.y < 300) {
      EXPECT_GT(inked, 0);
    }
  }
}

TEST(BaseSurface, CanvasBufferAndImageSizes) {
  SimMain m;
  for (Surface* s : {&m.sim.Crt, &m.sim.BG}) {
    EXPECT_EQ(s->OuterWidth(), 324);
    EXPECT_EQ(s->OuterHeight(), 324);
    EXPECT_EQ(s->Border(), 2);
    EXPECT_EQ(s->Width(), 320);
    EXPECT_EQ(s->Height(), 320);
    EXPECT_EQ(s->ReadHeight(), 324.0f);
    EXPECT_EQ(s->Pixels(), std::vector<Colour>(320 * 320, 0));
  }
  EXPECT_EQ(m.sim.Crt.ForeColor, RGB(0, 0, 255));
  EXPECT_EQ(m.sim.Crt.ReadWidth() / 2 - 16, 146.0f);  // the ship's start column
  const Surface img = Pattern(263, 229, 7);  // an image surface is exactly its image
  EXPECT_EQ(img.ReadWidth(), 263.0f);
  EXPECT_EQ(img.Width(), 263);
  EXPECT_EQ(img.Height(), 229);
  // Resizing clears to the background; an outer size smaller than the frame
  // leaves no drawing area.
  Surface s = Canvas();
  s.BackColor = 0x010203;
  s.SetOuterSize(20, 10);
  EXPECT_EQ(s.Pixels(), std::vector<Colour>(16 * 6, 0x010203));
  EXPECT_EQ(s.Width(), 16);
  s.SetOuterSize(3, -7);
  EXPECT_EQ(s.Width() + s.Height(), 0);
  EXPECT_TRUE(s.Pixels().empty());
}

}  // namespace
}  // namespace zorva
