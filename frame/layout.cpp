#include "frame/layout.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "base/font.h"

namespace zorva {

namespace {

constexpr std::string_view kOptionText = "OPTION";
constexpr std::string_view kWaitText = "WAIT";
constexpr int kItemHeight = 18;
constexpr int kCheckColumn = 20;  // room left of an item's text for its check mark

// Division rounding toward minus infinity, so that points left of or above
// the picture never land on its first column or row.
std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

int Clamp32(std::int64_t v) { return static_cast<int>(std::clamp<std::int64_t>(v, INT32_MIN / 2, INT32_MAX / 2)); }

void Fill(Surface& s, Rect r, Colour c) {
  const int x0 = std::max(0, r.x), y0 = std::max(0, r.y);
  const int x1 = std::min(s.Width(), r.x + r.w), y1 = std::min(s.Height(), r.y + r.h);
  for (int y = y0; y < y1; ++y) std::fill(s.Row(y) + x0, s.Row(y) + std::max(x0, x1), c);
}

// One ring of a 3-D frame: `topLeft` along the top and left edges, `bottomRight`
// along the bottom and right edges (which own the two far corners).
void Ring(Surface& s, Rect r, Colour topLeft, Colour bottomRight) {
  Fill(s, {r.x, r.y, r.w - 1, 1}, topLeft);
  Fill(s, {r.x, r.y, 1, r.h - 1}, topLeft);
  Fill(s, {r.x, r.y + r.h - 1, r.w, 1}, bottomRight);
  Fill(s, {r.x + r.w - 1, r.y, 1, r.h}, bottomRight);
}

Rect Inset(Rect r, int by) { return {r.x + by, r.y + by, r.w - 2 * by, r.h - 2 * by}; }

void Label(Surface& s, Rect r, int x, std::string_view text, Colour c) {
  const int y = r.y + (r.h - LineHeight(kMenuFontPoints)) / 2;
  DrawText(s, x, y, text, kMenuFontPoints, c);
}

// The check mark, row by row, as a desktop menu draws it.
constexpr const char* kCheckMark[7] = {
    "......#", ".....##", "#...###", "##.###.", "#####..", ".###...", "..#....",
};

}  // namespace

Placement FitPicture(int outW, int outH) {
  Placement p;
  p.scale = std::max(1, std::min(outW / kPictureWidth, outH / kPictureHeight));
  p.x = Clamp32((static_cast<std::int64_t>(outW) - std::int64_t{kPictureWidth} * p.scale) / 2);
  p.y = Clamp32((static_cast<std::int64_t>(outH) - std::int64_t{kPictureHeight} * p.scale) / 2);
  return p;
}

Point WindowToPicture(Point mouse, int winW, int winH, int outW, int outH, const Placement& placement) {
  std::int64_t x = mouse.x, y = mouse.y;
  if (winW > 0 && outW > 0) x = FloorDiv(x * outW, winW);
  if (winH > 0 && outH > 0) y = FloorDiv(y * outH, winH);
  const std::int64_t scale = std::max(1, placement.scale);
  return {Clamp32(FloorDiv(x - placement.x, scale)), Clamp32(FloorDiv(y - placement.y, scale))};
}

Rect OptionTitleRect() {
  const int text = std::max(TextWidth(kOptionText, kMenuFontPoints), 36);
  return {2, 1, text + 12, kMenuBarHeight - 2};
}

Rect DropDownRect() {
  const Rect title = OptionTitleRect();
  const int text = std::max(TextWidth(kWaitText, kMenuFontPoints), 24);
  return {title.x, title.y + title.h, std::max(kCheckColumn + text + 30, 100), kItemHeight + 6};
}

Rect WaitItemRect() {
  const Rect box = DropDownRect();
  return {box.x + 3, box.y + 3, box.w - 6, kItemHeight};
}

Rect CheckMarkRect() {
  const Rect item = WaitItemRect();
  return {item.x + 6, item.y + (item.h - 7) / 2, 7, 7};
}

MenuBar::Command MenuBar::MouseDown(Point p) {
  if (OptionTitleRect().Contains(p)) {
    open_ = !open_;
  } else if (open_ && !DropDownRect().Contains(p)) {
    open_ = false;
  }
  MouseMove(p);
  return Command::None;
}

MenuBar::Command MenuBar::MouseUp(Point p) {
  MouseMove(p);
  if (open_ && WaitItemRect().Contains(p)) {
    Close();
    return Command::ClickWait;
  }
  return Command::None;
}

void MenuBar::MouseMove(Point p) {
  hoverTitle_ = OptionTitleRect().Contains(p);
  hoverWait_ = WaitItemRect().Contains(p);
}

void MenuBar::MouseLeft() {
  hoverTitle_ = false;
  hoverWait_ = false;
}

bool MenuBar::Escape() {
  if (!open_) return false;
  Close();
  return true;
}

void MenuBar::Close() {
  open_ = false;
  hoverWait_ = false;
}

std::string ViewLine(const ViewStatus& s) {
  std::string speed = SpeedName(s.speed);
  for (char& c : speed) c = c == 'x' ? 'X' : static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  const std::int64_t clock = std::max<std::int64_t>(s.clockMs, 0);
  char line[128];
  char frames[32] = "";
  if (s.complete) std::snprintf(frames, sizeof frames, "/%lld", static_cast<long long>(s.frames));
  std::snprintf(line, sizeof line, "GAME %d/%d%s  FRAME %lld%s  %lld:%02lld.%lld  %s%s", s.game, s.gamesSeen,
                s.complete ? "" : "?", static_cast<long long>(s.frame), frames, static_cast<long long>(clock / 60000),
                static_cast<long long>(clock / 1000 % 60), static_cast<long long>(clock / 100 % 10), speed.c_str(),
                s.seeking  ? "  READING"
                : s.paused ? "  PAUSED"
                           : "");
  return line;
}

Rect ProgressRect() { return {kCanvasFrame, kMenuBarHeight - 5, kCanvasSize - 2 * kCanvasFrame, 3}; }

std::optional<double> ProgressAt(Point p) {
  if (p.x < 0 || p.y < 0 || p.x >= kPictureWidth || p.y >= kMenuBarHeight) return std::nullopt;
  const Rect bar = ProgressRect();
  return std::clamp(static_cast<double>(p.x - bar.x) / static_cast<double>(bar.w - 1), 0.0, 1.0);
}

namespace {

void DrawMenuTitle(Surface& out, const MenuBar& menu);
void DrawCanvas(Surface& out, const Surface& crt);
void DrawDropDown(Surface& out, const MenuBar& menu, bool waitChecked);

// The playback's bar, in the menu bar's place.
void DrawViewBar(Surface& out, const ViewStatus& s) {
  DrawText(out, kCanvasFrame + 2, 1, ViewLine(s), kMenuFontPoints, kBarTextColour);
  const Rect bar = ProgressRect();
  Fill(out, bar, kShadowColour);
  Fill(out, {bar.x, bar.y, static_cast<int>(std::lround(std::clamp(s.fraction, 0.0, 1.0) * bar.w)), bar.h}, kLitColour);
}

}  // namespace

void ComposePicture(const Surface& crt, const MenuBar& menu, bool waitChecked, Surface& out,
                    const ViewStatus* viewing) {
  if (out.Width() != kPictureWidth || out.Height() != kPictureHeight) {
    out = Surface(kPictureWidth, kPictureHeight, 0);
  }

  // The menu bar.
  Fill(out, {0, 0, kPictureWidth, kMenuBarHeight}, kBarColour);
  if (viewing != nullptr) {
    DrawViewBar(out, *viewing);
  } else {
    DrawMenuTitle(out, menu);
  }
  DrawCanvas(out, crt);
  if (viewing == nullptr) DrawDropDown(out, menu, waitChecked);
}

namespace {

void DrawMenuTitle(Surface& out, const MenuBar& menu) {
  const Rect title = OptionTitleRect();
  const bool titleLit = menu.TitleLit();
  if (titleLit) Fill(out, title, kLitColour);
  const int titleText = TextWidth(kOptionText, kMenuFontPoints);
  Label(out, title, title.x + (title.w - titleText) / 2, kOptionText, titleLit ? kLitTextColour : kBarTextColour);
}

// A sunken frame around what Crt holds.
void DrawCanvas(Surface& out, const Surface& crt) {
  const Rect canvas{0, kMenuBarHeight, kCanvasSize, kCanvasSize};
  Ring(out, canvas, kShadowColour, kHighlightColour);
  Ring(out, Inset(canvas, 1), kDarkColour, kLightColour);
  const Rect area = Inset(canvas, kCanvasFrame);
  Fill(out, area, 0);
  BitBlt(out, area.x, area.y, std::min(area.w, crt.Width()), std::min(area.h, crt.Height()), crt, 0, 0, SRCCOPY);
}

// The drop-down, over the canvas.
void DrawDropDown(Surface& out, const MenuBar& menu, bool waitChecked) {
  if (!menu.IsOpen()) return;
  const Rect box = DropDownRect();
  Ring(out, box, kLightColour, kDarkColour);
  Ring(out, Inset(box, 1), kHighlightColour, kShadowColour);
  Fill(out, Inset(box, 2), kBarColour);
  const Rect item = WaitItemRect();
  const bool itemLit = menu.WaitLit();
  if (itemLit) Fill(out, item, kLitColour);
  const Colour ink = itemLit ? kLitTextColour : kBarTextColour;
  if (waitChecked) {
    const Rect mark = CheckMarkRect();
    for (int y = 0; y < mark.h; ++y) {
      for (int x = 0; x < mark.w; ++x) {
        if (kCheckMark[y][x] == '#') out.PSet(mark.x + x, mark.y + y, ink);
      }
    }
  }
  Label(out, item, item.x + kCheckColumn, kWaitText, ink);
}

}  // namespace

}  // namespace zorva
