#include "frame/layout.h"

#include <gtest/gtest.h>

#include <vector>

namespace zorva {
namespace {

Point Centre(Rect r) { return {r.x + r.w / 2, r.y + r.h / 2}; }

TEST(FitPicture, LargestWholeMultipleCentredAndMouseMapsBack) {
  // Output size, then the scale and place of the picture.
  const int fits[][5] = {
      {324, 344, 1, 0, 0},     {648, 688, 2, 0, 0},      {700, 700, 2, 26, 6},     {1000, 700, 2, 176, 6},
      {647, 1500, 1, 161, 578}, {1920, 1080, 3, 474, 24}, {3840, 2160, 6, 948, 48}, {100, 100, 1, -112, -122},
      {0, 0, 1, -162, -172},  // minimised
  };
  for (const auto& c : fits) {
    const Placement p = FitPicture(c[0], c[1]);
    EXPECT_EQ(std::vector<int>({p.scale, p.x, p.y, p.Target().w, p.Target().h}),
              std::vector<int>({c[2], c[3], c[4], kPictureWidth * c[2], kPictureHeight * c[2]}))
        << c[0] << "x" << c[1];
  }
  // Mouse, window size, output size, then the picture pixel it lands on.
  const int mice[][8] = {
      {0, 0, 324, 344, 324, 344, 0, 0},        {323, 343, 324, 344, 324, 344, 323, 343},
      {100, 50, 648, 688, 648, 688, 50, 25},   {101, 51, 648, 688, 648, 688, 50, 25},
      {26, 6, 700, 700, 700, 700, 0, 0},       {25, 5, 700, 700, 700, 700, -1, -1},  // the margin is off the picture
      {673, 693, 700, 700, 700, 700, 323, 343}, {674, 694, 700, 700, 700, 700, 324, 344},
      {10, 10, 324, 344, 648, 688, 10, 10},    // two pixels per point
      {-5, -5, 324, 344, 324, 344, -5, -5},
  };
  for (const auto& c : mice) {
    const Point p = WindowToPicture({c[0], c[1]}, c[2], c[3], c[4], c[5], FitPicture(c[4], c[5]));
    EXPECT_EQ(p.x * 10000 + p.y, c[6] * 10000 + c[7]) << c[0] << "," << c[1] << " in " << c[2] << "x" << c[3];
  }
}

TEST(MenuLayout, PartsNestAndStayOnThePicture) {
  const Rect title = OptionTitleRect(), box = DropDownRect(), item = WaitItemRect(), mark = CheckMarkRect();
  EXPECT_TRUE(title.y >= 0 && title.y + title.h <= kMenuBarHeight && title.w >= 30);
  EXPECT_EQ(box.y, title.y + title.h);  // hangs from the title
  EXPECT_TRUE(box.x + box.w <= kPictureWidth && box.y + box.h <= kPictureHeight);
  EXPECT_TRUE(box.Contains({item.x, item.y}) && box.Contains({item.x + item.w - 1, item.y + item.h - 1}));
  EXPECT_TRUE(item.Contains({mark.x, mark.y}) && item.Contains({mark.x + mark.w - 1, mark.y + mark.h - 1}));
  EXPECT_FALSE(title.Contains(Centre(item)));
}

TEST(MenuBar, BehavesLikeADesktopMenu) {
  enum Kind { Down, Up, Click, Move, Esc };
  struct Step {
    Kind kind;
    Point at;
    bool open, chooses = false;  // after the step; whether it chose WAIT
  };
  const Point title = Centre(OptionTitleRect()), wait = Centre(WaitItemRect()), canvas{160, 250};
  const Point frame{DropDownRect().x + 1, DropDownRect().y + 1};
  const struct {
    const char* name;
    std::vector<Step> steps;
  } scripts[] = {
      {"click opens, click on WAIT chooses and closes", {{Click, title, true}, {Click, wait, false, true}}},
      {"click on the title again closes", {{Click, title, true}, {Click, title, false}}},
      {"click elsewhere closes without choosing", {{Click, title, true}, {Click, canvas, false}}},
      {"a press elsewhere closes at once", {{Click, title, true}, {Down, canvas, false}}},
      {"Escape closes", {{Click, title, true}, {Esc, {}, false}}},
      {"a click on the drop-down's frame keeps it open", {{Click, title, true}, {Click, frame, true}}},
      {"press on the title, drag to WAIT, release chooses", {{Down, title, true}, {Move, wait, true}, {Up, wait, false, true}}},
      {"WAIT cannot be chosen while the menu is closed", {{Click, wait, false}}},
      {"release over the title keeps it open", {{Down, title, true}, {Up, title, true}}},
  };
  for (const auto& script : scripts) {
    SCOPED_TRACE(script.name);
    MenuBar menu;
    for (const Step& s : script.steps) {
      MenuBar::Command c = MenuBar::Command::None;
      if (s.kind == Down || s.kind == Click) c = menu.MouseDown(s.at);
      if (s.kind == Up || s.kind == Click) {
        const MenuBar::Command up = menu.MouseUp(s.at);
        c = c != MenuBar::Command::None ? c : up;
      }
      if (s.kind == Move) menu.MouseMove(s.at);
      if (s.kind == Esc) menu.Escape();
      EXPECT_EQ(menu.IsOpen(), s.open);
      EXPECT_EQ(c == MenuBar::Command::ClickWait, s.chooses);
    }
  }
  // Hover lights the title, and the item only while the menu is open.
  MenuBar menu;
  EXPECT_FALSE(menu.Escape());  // nothing to close: the key is not taken
  menu.MouseMove(title);
  EXPECT_TRUE(menu.TitleLit());
  menu.MouseMove(canvas);
  EXPECT_FALSE(menu.TitleLit());
  menu.MouseMove(wait);
  EXPECT_FALSE(menu.WaitLit());
  menu.MouseDown(title);
  EXPECT_TRUE(menu.TitleLit());  // stays lit while open
  menu.MouseMove(wait);
  EXPECT_TRUE(menu.WaitLit());
  menu.MouseLeft();
  EXPECT_FALSE(menu.WaitLit());
  EXPECT_TRUE(menu.IsOpen());
}

class Compose : public testing::Test {
 protected:
  Surface crt{324, 324, 2}, out;
  MenuBar menu;
  void Fill(Surface& s, Colour c) {
    for (int y = 0; y < s.Height(); ++y)
      for (int x = 0; x < s.Width(); ++x) s.PSet(x, y, c);
  }
  int MarkInk(Colour ink) const {
    const Rect m = CheckMarkRect();
    int n = 0;
    for (int y = m.y; y < m.y + m.h; ++y)
      for (int x = m.x; x < m.x + m.w; ++x) n += out.Pixel(x, y) == ink;
    return n;
  }
};

TEST_F(Compose, CanvasSitsInASunkenFrameBelowTheBar) {
  crt.PSet(0, 0, RGB(255, 0, 0));
  crt.PSet(319, 319, RGB(0, 255, 0));
  ComposePicture(crt, menu, true, out);
  ASSERT_EQ(out.Width(), kPictureWidth);
  ASSERT_EQ(out.Height(), kPictureHeight);
  const struct {
    int x, y;
    Colour c;
  } expected[] = {
      {2, 22, RGB(255, 0, 0)}, {321, 341, RGB(0, 255, 0)}, {3, 23, 0},  // the drawing area and its background
      {0, 20, kShadowColour}, {100, 20, kShadowColour}, {0, 200, kShadowColour}, {1, 21, kDarkColour},
      {100, 21, kDarkColour}, {1, 200, kDarkColour}, {323, 343, kHighlightColour}, {100, 343, kHighlightColour},
      {323, 200, kHighlightColour}, {322, 342, kLightColour}, {100, 342, kLightColour}, {322, 200, kLightColour},
      {323, 0, kBarColour}, {200, 19, kBarColour},  // the bar runs to the right edge
  };
  for (const auto& px : expected) EXPECT_EQ(out.Pixel(px.x, px.y), px.c) << px.x << "," << px.y;
  // An odd-sized canvas never spills over the frame; none at all shows black.
  Surface wide(400, 400, 0);
  Fill(wide, RGB(1, 2, 3));
  ComposePicture(wide, menu, true, out);
  EXPECT_EQ(out.Pixel(321, 341), RGB(1, 2, 3));
  EXPECT_EQ(out.Pixel(322, 200), kLightColour);
  EXPECT_EQ(out.Pixel(200, 343), kHighlightColour);
  ComposePicture(Surface(), menu, true, out);
  EXPECT_EQ(out.Pixel(160, 180), 0u);
}

TEST_F(Compose, DropDownCoversTheCanvasOnlyWhileOpenAndItsMarkFollowsTheSetting) {
  const Rect box = DropDownRect(), m = CheckMarkRect();
  Fill(crt, RGB(9, 9, 9));
  ComposePicture(crt, menu, true, out);
  EXPECT_EQ(out.Pixel(box.x + box.w - 4, box.y + box.h - 4), RGB(9, 9, 9));
  EXPECT_EQ(MarkInk(kBarTextColour), 0);
  menu.MouseDown(Centre(OptionTitleRect()));
  ComposePicture(crt, menu, true, out);
  EXPECT_NE(out.Pixel(box.x + box.w - 4, box.y + box.h - 4), RGB(9, 9, 9));
  EXPECT_EQ(out.Pixel(OptionTitleRect().x, OptionTitleRect().y), kLitColour);
  EXPECT_EQ(out.Pixel(box.x, box.y), kLightColour);  // raised frame
  EXPECT_EQ(out.Pixel(box.x + box.w - 1, box.y + box.h - 1), kDarkColour);
  for (const bool checked : {true, false})
    for (const bool hover : {false, true}) {
      SCOPED_TRACE(testing::Message() << "checked " << checked << " hover " << hover);
      const Colour ink = hover ? kLitTextColour : kBarTextColour, background = hover ? kLitColour : kBarColour;
      menu.MouseMove(hover ? Centre(WaitItemRect()) : Point{300, 300});
      ComposePicture(crt, menu, checked, out);
      EXPECT_EQ(MarkInk(ink) > 10, checked);
      EXPECT_EQ(out.Pixel(m.x + 6, m.y), checked ? ink : background);  // the tip of the tick
      EXPECT_EQ(out.Pixel(m.x, m.y), background);
    }
}

}  // namespace
}  // namespace zorva
