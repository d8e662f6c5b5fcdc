#include "app/layout.h"

#include <gtest/gtest.h>

#include <vector>

namespace zorva {
namespace {

Point Centre(Rect r) { return {r.x + r.w / 2, r.y + r.h / 2}; }

TEST(FitPicture, LargestWholeMultipleCentred) {
  struct Case {
    int outW, outH;
    int scale, x, y;
  };
  const Case cases[] = {
      {324, 344, 1, 0, 0},        // the window as it opens
      {648, 688, 2, 0, 0},        // exactly twice
      {700, 700, 2, 26, 6},       // odd size: 2x, black margins around
      {1000, 700, 2, 176, 6},     // the height decides
      {647, 1500, 1, 161, 578},   // one pixel short of 2x wide
      {1920, 1080, 3, 474, 24},   // a desktop in fullscreen
      {3840, 2160, 6, 948, 48},   // a large one
      {100, 100, 1, -112, -122},  // smaller than 1x: still 1x, cut at the edges
      {0, 0, 1, -162, -172},      // minimised
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.outW << "x" << c.outH);
    const Placement p = FitPicture(c.outW, c.outH);
    EXPECT_EQ(p.scale, c.scale);
    EXPECT_EQ(p.x, c.x);
    EXPECT_EQ(p.y, c.y);
    EXPECT_EQ(p.Target().w, kPictureWidth * c.scale);
    EXPECT_EQ(p.Target().h, kPictureHeight * c.scale);
  }
}

TEST(WindowToPicture, MapsMouseToPicturePixels) {
  struct Case {
    Point mouse;
    int winW, winH, outW, outH;
    Point expected;
  };
  const Case cases[] = {
      {{0, 0}, 324, 344, 324, 344, {0, 0}},
      {{323, 343}, 324, 344, 324, 344, {323, 343}},
      {{100, 50}, 648, 688, 648, 688, {50, 25}},
      {{101, 51}, 648, 688, 648, 688, {50, 25}},  // both pixels of a 2x pixel
      {{26, 6}, 700, 700, 700, 700, {0, 0}},      // first pixel after the margin
      {{25, 5}, 700, 700, 700, 700, {-1, -1}},    // the margin is off the picture
      {{673, 693}, 700, 700, 700, 700, {323, 343}},
      {{674, 694}, 700, 700, 700, 700, {324, 344}},
      {{10, 10}, 324, 344, 648, 688, {10, 10}},  // a display with two pixels per point
      {{-5, -5}, 324, 344, 324, 344, {-5, -5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.mouse.x << "," << c.mouse.y << " in " << c.winW << "x" << c.winH);
    const Point p = WindowToPicture(c.mouse, c.winW, c.winH, c.outW, c.outH, FitPicture(c.outW, c.outH));
    EXPECT_EQ(p.x, c.expected.x);
    EXPECT_EQ(p.y, c.expected.y);
  }
}

TEST(MenuLayout, PartsNestAndStayOnThePicture) {
  const Rect title = OptionTitleRect(), box = DropDownRect(), item = WaitItemRect(), mark = CheckMarkRect();
  EXPECT_GE(title.y, 0);
  EXPECT_LE(title.y + title.h, kMenuBarHeight);
  EXPECT_GE(title.w, 30);
  EXPECT_EQ(box.y, title.y + title.h);  // hangs from the title
  EXPECT_LE(box.x + box.w, kPictureWidth);
  EXPECT_LE(box.y + box.h, kPictureHeight);
  for (Point corner : {Point{item.x, item.y}, Point{item.x + item.w - 1, item.y + item.h - 1}}) {
    EXPECT_TRUE(box.Contains(corner));
  }
  for (Point corner : {Point{mark.x, mark.y}, Point{mark.x + mark.w - 1, mark.y + mark.h - 1}}) {
    EXPECT_TRUE(item.Contains(corner));
  }
  EXPECT_FALSE(title.Contains(Centre(item)));
}

// One step of a menu script and what must hold after it.
struct Step {
  enum Kind { Down, Up, Click, Move, Leave, Esc } kind;
  Point at;
  bool open;
  bool chooses = false;  // the step chose WAIT
};

MenuBar::Command Perform(MenuBar& menu, const Step& s) {
  switch (s.kind) {
    case Step::Down: return menu.MouseDown(s.at);
    case Step::Up: return menu.MouseUp(s.at);
    case Step::Click: {
      const MenuBar::Command first = menu.MouseDown(s.at);
      const MenuBar::Command second = menu.MouseUp(s.at);
      return first != MenuBar::Command::None ? first : second;
    }
    case Step::Move: menu.MouseMove(s.at); break;
    case Step::Leave: menu.MouseLeft(); break;
    case Step::Esc: menu.Escape(); break;
  }
  return MenuBar::Command::None;
}

TEST(MenuBar, BehavesLikeADesktopMenu) {
  const Point title = Centre(OptionTitleRect());
  const Point wait = Centre(WaitItemRect());
  const Point canvas{160, 250};
  const Point dropDownFrame{DropDownRect().x + 1, DropDownRect().y + 1};
  struct Script {
    const char* name;
    std::vector<Step> steps;
  };
  const Script scripts[] = {
      {"click opens, click on WAIT chooses and closes",
       {{Step::Click, title, true}, {Step::Click, wait, false, true}}},
      {"click on the title again closes", {{Step::Click, title, true}, {Step::Click, title, false}}},
      {"click elsewhere closes without choosing", {{Step::Click, title, true}, {Step::Click, canvas, false}}},
      {"a press elsewhere closes at once", {{Step::Click, title, true}, {Step::Down, canvas, false}}},
      {"Escape closes", {{Step::Click, title, true}, {Step::Esc, {}, false}}},
      {"a click on the drop-down's frame keeps it open",
       {{Step::Click, title, true}, {Step::Click, dropDownFrame, true}}},
      {"press on the title, drag to WAIT, release chooses",
       {{Step::Down, title, true}, {Step::Move, wait, true}, {Step::Up, wait, false, true}}},
      {"WAIT cannot be chosen while the menu is closed", {{Step::Click, wait, false}}},
      {"release over the title keeps it open", {{Step::Down, title, true}, {Step::Up, title, true}}},
  };
  for (const Script& script : scripts) {
    SCOPED_TRACE(script.name);
    MenuBar menu;
    for (const Step& step : script.steps) {
      const bool chose = Perform(menu, step) == MenuBar::Command::ClickWait;
      EXPECT_EQ(menu.IsOpen(), step.open);
      EXPECT_EQ(chose, step.chooses);
    }
  }
}

TEST(MenuBar, HoverLightsTitleAndItem) {
  MenuBar menu;
  EXPECT_FALSE(menu.Escape());  // nothing to close: the key is not taken
  menu.MouseMove(Centre(OptionTitleRect()));
  EXPECT_TRUE(menu.TitleLit());
  menu.MouseMove({160, 250});
  EXPECT_FALSE(menu.TitleLit());
  menu.MouseMove(Centre(WaitItemRect()));
  EXPECT_FALSE(menu.WaitLit());  // the item is not there while closed
  menu.MouseDown(Centre(OptionTitleRect()));
  EXPECT_TRUE(menu.TitleLit());  // stays lit while open
  menu.MouseMove(Centre(WaitItemRect()));
  EXPECT_TRUE(menu.WaitLit());
  menu.MouseLeft();
  EXPECT_FALSE(menu.WaitLit());
  EXPECT_TRUE(menu.IsOpen());
}

class ComposeTest : public testing::Test {
 protected:
  Surface crt{324, 324, 2};
  Surface out;
  MenuBar menu;

  bool MarkInked(Colour ink) {
    const Rect m = CheckMarkRect();
    int inked = 0;
    for (int y = m.y; y < m.y + m.h; ++y) {
      for (int x = m.x; x < m.x + m.w; ++x) inked += out.Pixel(x, y) == ink;
    }
    return inked > 10;
  }
};

TEST_F(ComposeTest, CanvasSitsInASunkenFrameBelowTheBar) {
  crt.PSet(0, 0, RGB(255, 0, 0));
  crt.PSet(319, 319, RGB(0, 255, 0));
  ComposePicture(crt, menu, true, out);
  ASSERT_EQ(out.Width(), kPictureWidth);
  ASSERT_EQ(out.Height(), kPictureHeight);
  struct Px {
    int x, y;
    Colour c;
  };
  const Px expected[] = {
      {2, 22, RGB(255, 0, 0)},   {321, 341, RGB(0, 255, 0)},  // the drawing area's corners
      {3, 23, 0},                                             // black background
      {0, 20, kShadowColour},    {100, 20, kShadowColour},   {0, 200, kShadowColour},
      {1, 21, kDarkColour},      {100, 21, kDarkColour},     {1, 200, kDarkColour},
      {323, 343, kHighlightColour}, {100, 343, kHighlightColour}, {323, 200, kHighlightColour},
      {322, 342, kLightColour},  {100, 342, kLightColour},   {322, 200, kLightColour},
      {323, 0, kBarColour},      {200, 19, kBarColour},      // the bar runs to the right edge
  };
  for (const Px& px : expected) {
    SCOPED_TRACE(testing::Message() << px.x << "," << px.y);
    EXPECT_EQ(out.Pixel(px.x, px.y), px.c);
  }
}

TEST_F(ComposeTest, OddSizedCanvasNeverSpillsOverTheFrame) {
  Surface wide(400, 400, 0);
  for (int y = 0; y < 400; ++y) {
    for (int x = 0; x < 400; ++x) wide.PSet(x, y, RGB(1, 2, 3));
  }
  ComposePicture(wide, menu, true, out);
  EXPECT_EQ(out.Pixel(321, 341), RGB(1, 2, 3));
  EXPECT_EQ(out.Pixel(322, 200), kLightColour);
  EXPECT_EQ(out.Pixel(200, 343), kHighlightColour);

  ComposePicture(Surface(), menu, true, out);  // nothing to show: black
  EXPECT_EQ(out.Pixel(160, 180), 0u);
}

TEST_F(ComposeTest, DropDownCoversTheCanvasOnlyWhileOpen) {
  const Rect box = DropDownRect();
  const Point under{box.x + box.w - 4, box.y + box.h - 4};
  for (int y = 0; y < 320; ++y) {
    for (int x = 0; x < 320; ++x) crt.PSet(x, y, RGB(9, 9, 9));
  }
  ComposePicture(crt, menu, true, out);
  EXPECT_EQ(out.Pixel(under.x, under.y), RGB(9, 9, 9));
  EXPECT_FALSE(MarkInked(kBarTextColour));

  menu.MouseDown(Centre(OptionTitleRect()));
  ComposePicture(crt, menu, true, out);
  EXPECT_NE(out.Pixel(under.x, under.y), RGB(9, 9, 9));
  EXPECT_EQ(out.Pixel(OptionTitleRect().x, OptionTitleRect().y), kLitColour);
  EXPECT_EQ(out.Pixel(box.x, box.y), kLightColour);                          // raised frame
  EXPECT_EQ(out.Pixel(box.x + box.w - 1, box.y + box.h - 1), kDarkColour);
}

TEST_F(ComposeTest, CheckMarkFollowsTheSetting) {
  menu.MouseDown(Centre(OptionTitleRect()));
  struct Case {
    bool checked;
    bool hover;
    Colour ink, background;
  };
  const Case cases[] = {
      {true, false, kBarTextColour, kBarColour},
      {false, false, kBarTextColour, kBarColour},
      {true, true, kLitTextColour, kLitColour},
      {false, true, kLitTextColour, kLitColour},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "checked " << c.checked << " hover " << c.hover);
    menu.MouseMove(c.hover ? Centre(WaitItemRect()) : Point{300, 300});
    ComposePicture(crt, menu, c.checked, out);
    EXPECT_EQ(MarkInked(c.ink), c.checked);
    const Rect m = CheckMarkRect();
    EXPECT_EQ(out.Pixel(m.x + 6, m.y), c.checked ? c.ink : c.background);  // the tip of the tick
    EXPECT_EQ(out.Pixel(m.x, m.y), c.background);
  }
}

}  // namespace
}  // namespace zorva
