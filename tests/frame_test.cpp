// The window's own parts: the picture scaled by whole multiples, the mouse
// mapped back onto it, the menu bar's behaviour and the composed picture.
#include "tests/support.h"

namespace zorva {
namespace {

Point Centre(Rect r) { return {r.x + r.w / 2, r.y + r.h / 2}; }

TEST(Frame, ThePictureTakesTheLargestWholeMultipleCentredAndTheMouseMapsBack) {
  // Output size; scale and place of the picture.
  const int fits[][5] = {{324, 344, 1, 0, 0}, {700, 700, 2, 26, 6}, {1000, 700, 2, 176, 6}, {647, 1500, 1, 161, 578},
                         {1920, 1080, 3, 474, 24}, {100, 100, 1, -112, -122}, {0, 0, 1, -162, -172}, {486, 516, 1, 81, 86}};
  for (const auto& [w, h, scale, x, y] : fits) {
    const Placement p = FitPicture(w, h);
    EXPECT_VALUES(V(p.scale, p.x, p.y), V(scale, x, y)) << w << "x" << h;
  }
  // Mouse, window size, output size (on high-density displays 1.5 or 2 pixels a point); the picture's pixel under it.
  const int mice[][8] = {{101, 51, 648, 688, 648, 688, 50, 25}, {26, 6, 700, 700, 700, 700, 0, 0}, {25, 5, 700, 700, 700, 700, -1, -1},
                         {674, 694, 700, 700, 700, 700, 324, 344}, {10, 11, 324, 344, 648, 688, 10, 11},
                         {-5, -5, 324, 344, 324, 344, -5, -5}, {54, 58, 324, 344, 486, 516, 0, 1}, {53, 57, 324, 344, 486, 516, -2, -1},
                         {269, 286, 324, 344, 486, 516, 322, 343}, {270, 287, 324, 344, 486, 516, 324, 344},
                         {88, 28, 500, 400, 1000, 800, 0, 0}, {87, 27, 500, 400, 1000, 800, -1, -1},
                         {411, 371, 500, 400, 1000, 800, 323, 343}, {412, 372, 500, 400, 1000, 800, 324, 344}};
  for (const auto& [mx, my, ww, wh, ow, oh, px, py] : mice) {
    const Placement placed = FitPicture(ow, oh);
    const Point p = WindowToPicture({mx, my}, ww, wh, ow, oh, placed);
    EXPECT_VALUES(V(p.x, p.y), V(px, py)) << mx << "," << my << " in " << ww << "x" << wh << " drawn in " << ow << "x" << oh;
    // A click on the middle of WAIT, in points, lands on it.
    const Rect wait = WaitItemRect();
    const Point middle{(placed.x + (wait.x + wait.w / 2) * placed.scale) * ww / ow, (placed.y + (wait.y + wait.h / 2) * placed.scale) * wh / oh};
    EXPECT_TRUE(wait.Contains(WindowToPicture(middle, ww, wh, ow, oh, placed))) << ww << "x" << wh << " drawn in " << ow << "x" << oh;
  }
}

TEST(Frame, TheMenuBehavesLikeADesktopMenuAndShowsTheCheckMarkOfTheSetting) {
  const Point title = Centre(OptionTitleRect()), wait = Centre(WaitItemRect()), canvas{160, 250};
  const Point edge{DropDownRect().x + 1, DropDownRect().y + 1};
  // Steps: d press, u release, c click, m move, e Escape; the menu open after each, and whether it chose WAIT.
  const struct { const char* steps; std::vector<Point> at; std::string open; bool chooses; } scripts[] = {
      {"cc", {title, wait}, "10", true},    {"cc", {title, title}, "10", false}, {"cc", {title, canvas}, "10", false},
      {"cd", {title, canvas}, "10", false}, {"ce", {title, {}}, "10", false},    {"cc", {title, edge}, "11", false},
      {"dmu", {title, wait, wait}, "110", true}, {"c", {wait}, "0", false},     {"du", {title, title}, "11", false}};
  for (const auto& s : scripts) {
    MenuBar menu;
    std::string open;
    bool chose = false;
    for (std::size_t i = 0; s.steps[i]; ++i) {
      const char k = s.steps[i];
      if (k == 'd' || k == 'c') menu.MouseDown(s.at[i]);
      if (k == 'u' || k == 'c') chose |= menu.MouseUp(s.at[i]) == MenuBar::Command::ClickWait;
      if (k == 'm') menu.MouseMove(s.at[i]);
      if (k == 'e') menu.Escape();
      open += menu.IsOpen() ? '1' : '0';
    }
    EXPECT_VALUES(V(open == s.open, chose), V(1, s.chooses)) << s.steps << " " << open;
  }
  // The canvas in its sunken frame below the bar; the open drop-down's check mark, black, white while lit.
  Surface crt(324, 324, 2), out;
  crt.PSet(200, 0, RGB(255, 0, 0)), crt.PSet(319, 319, RGB(0, 255, 0));
  MenuBar menu;
  menu.MouseDown(title);
  const auto tick = [&](bool checked) {
    ComposePicture(crt, menu, checked, out);
    std::string rows;
    for (int i = 0; i < 49; ++i) {
      const Colour c = out.Pixel(CheckMarkRect().x + i % 7, CheckMarkRect().y + i / 7);
      rows += c == 0 ? '#' : c == 0xFFFFFF ? '+' : ' ';
    }
    return rows;
  };
  EXPECT_EQ(tick(false), std::string(49, ' '));
  EXPECT_EQ(tick(true), "      #" "     ##" "#   ###" "## ### " "#####  " " ###   " "  #    ");
  EXPECT_VALUES(V(out.Pixel(202, 22), out.Pixel(321, 341), out.Pixel(0, 200), out.Pixel(1, 200), out.Pixel(323, 200), out.Pixel(322, 200)),
            V(RGB(255, 0, 0), RGB(0, 255, 0), RGB(128, 128, 128), 0, RGB(255, 255, 255), RGB(212, 208, 200)));
  menu.MouseMove(wait);
  EXPECT_EQ(tick(true), "      +" "     ++" "+   +++" "++ +++ " "+++++  " " +++   " "  +    ");
}

}  // namespace
}  // namespace zorva
