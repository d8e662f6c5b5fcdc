// Placement and mouse mapping when the window's drawable has 1, 1.5 or 2
// pixels per point of its size, as on high-density displays.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "frame/layout.h"

namespace zorva {
namespace {

TEST(HighDensity, WholeMultiplesOfTheDrawableAndClicksThroughTheRatio) {
  const struct {
    int winW, winH, outW, outH;  // the window in points, its drawable in pixels
    int scale, x, y;             // where the picture goes in the drawable
    std::vector<std::array<int, 4>> mice;  // a mouse point, the picture point it lands on
  } cases[] = {
      {324, 344, 324, 344, 1, 0, 0, {{0, 0, 0, 0}, {323, 343, 323, 343}, {324, 344, 324, 344}}},
      {324, 344, 486, 516, 1, 81, 86, {{54, 58, 0, 1}, {53, 57, -2, -1}, {269, 286, 322, 343}, {270, 287, 324, 344}}},
      {500, 500, 750, 750, 2, 51, 31, {{34, 21, 0, 0}, {33, 20, -1, -1}, {465, 479, 323, 343}, {466, 480, 324, 344}}},
      {324, 344, 648, 688, 2, 0, 0, {{0, 0, 0, 0}, {161, 171, 161, 171}, {323, 343, 323, 343}, {324, 344, 324, 344}}},
      {500, 400, 1000, 800, 2, 176, 56, {{88, 28, 0, 0}, {87, 27, -1, -1}, {411, 371, 323, 343}, {412, 372, 324, 344}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.winW << "x" << c.winH << " drawn in " << c.outW << "x" << c.outH);
    const Placement p = FitPicture(c.outW, c.outH);
    EXPECT_EQ(std::vector<int>({p.scale, p.x, p.y}), std::vector<int>({c.scale, c.x, c.y}));
    for (const auto& m : c.mice) {
      const Point at = WindowToPicture({m[0], m[1]}, c.winW, c.winH, c.outW, c.outH, p);
      EXPECT_EQ(std::vector<int>({at.x, at.y}), std::vector<int>({m[2], m[3]})) << m[0] << "," << m[1];
    }
    const Rect wait = WaitItemRect();  // a click on its middle, in points, lands on it
    const Point middle{(p.x + (wait.x + wait.w / 2) * p.scale) * c.winW / c.outW,
                       (p.y + (wait.y + wait.h / 2) * p.scale) * c.winH / c.outH};
    EXPECT_TRUE(wait.Contains(WindowToPicture(middle, c.winW, c.winH, c.outW, c.outH, p)));
  }
}

}  // namespace
}  // namespace zorva
