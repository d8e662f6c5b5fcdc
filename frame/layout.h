// The picture the real window shows: our own menu bar over the sunken canvas,
// scaled by whole multiples into whatever size the window has, and the menu
// bar's behaviour. Nothing here touches the window system, so it can be
// checked pixel by pixel.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/surface.h"
#include "base/viewing.h"

namespace zorva {

// The caption of the window.
inline constexpr const char* kCaption = "ＺＯＲＶＡ";

// The picture at 1x: the menu bar across the top, the 324 x 324 canvas (a
// 2-pixel sunken frame around the 320 x 320 drawing area of Crt) below it.
inline constexpr int kMenuBarHeight = 20;
inline constexpr int kCanvasSize = 324;
inline constexpr int kCanvasFrame = 2;
inline constexpr int kPictureWidth = kCanvasSize;
inline constexpr int kPictureHeight = kMenuBarHeight + kCanvasSize;
inline constexpr int kMenuFontPoints = 9;

struct Point {
  int x = 0;
  int y = 0;
};

struct Rect {
  int x = 0;
  int y = 0;
  int w = 0;
  int h = 0;
  bool Contains(Point p) const { return p.x >= x && p.y >= y && p.x - x < w && p.y - y < h; }
};

// Where the picture goes in an output of outW x outH pixels: the largest whole
// multiple that fits (never below 1x), centred; the rest stays black.
struct Placement {
  int scale = 1;
  int x = 0;
  int y = 0;
  Rect Target() const { return {x, y, kPictureWidth * scale, kPictureHeight * scale}; }
};
Placement FitPicture(int outW, int outH);

// A mouse position in window coordinates (winW x winH) as a point of the
// picture at 1x, when the renderer draws into outW x outH pixels (the two
// differ on high-density displays). Points off the picture come out off it,
// negative to the left and above.
Point WindowToPicture(Point mouse, int winW, int winH, int outW, int outH, const Placement& placement);

// The menu's places at 1x.
Rect OptionTitleRect();  // "OPTION" in the bar
Rect DropDownRect();     // the open drop-down, hanging from the title
Rect WaitItemRect();     // "WAIT" inside the drop-down

// The menu bar with its one drop-down: OPTION -> WAIT. Positions are points
// of the picture at 1x. A click on the title opens or closes the drop-down; a
// release over WAIT while it is open chooses the item and closes it; a press
// anywhere else closes it; Escape closes it.
class MenuBar {
 public:
  enum class Command { None, ClickWait };

  Command MouseDown(Point p);
  Command MouseUp(Point p);
  void MouseMove(Point p);
  void MouseLeft();
  // Returns whether the key was taken by the menu (only while it is open).
  bool Escape();
  void Close();

  bool IsOpen() const { return open_; }
  bool TitleLit() const { return open_ || hoverTitle_; }
  bool WaitLit() const { return open_ && hoverWait_; }

 private:
  bool open_ = false;
  bool hoverTitle_ = false;
  bool hoverWait_ = false;
};

// The colours of the window's own parts.
inline constexpr Colour kBarColour = RGB(212, 208, 200);
inline constexpr Colour kBarTextColour = RGB(0, 0, 0);
inline constexpr Colour kLitColour = RGB(10, 36, 106);
inline constexpr Colour kLitTextColour = RGB(255, 255, 255);
inline constexpr Colour kShadowColour = RGB(128, 128, 128);
inline constexpr Colour kDarkColour = RGB(0, 0, 0);
inline constexpr Colour kLightColour = RGB(212, 208, 200);
inline constexpr Colour kHighlightColour = RGB(255, 255, 255);

// The 7 x 7 check mark of a checked item, drawn at its top-left corner.
Rect CheckMarkRect();

// Composes the picture at 1x into `out` (resized to kPictureWidth x
// kPictureHeight when it is not): the menu bar, the sunken frame, Crt's
// drawing area (at most 320 x 320 of it) and, when open, the drop-down with
// WAIT and its check mark. While a demo plays back (`viewing`), the bar shows
// where the playback stands instead of the menu: the game, the frame, the
// game's clock, the speed, and a progress bar across its foot.
void ComposePicture(const Surface& crt, const MenuBar& menu, bool waitChecked, Surface& out,
                    const ViewStatus* viewing = nullptr);

// The line the playback's bar shows: "GAME 3/12  FRAME 4512/9876  0:23.4  2X".
std::string ViewLine(const ViewStatus& status);
// The progress bar, and where a point of the picture's bar seeks to (the
// fraction of the demo's frames), or nothing for a point off the bar.
Rect ProgressRect();
std::optional<double> ProgressAt(Point p);

}  // namespace zorva
