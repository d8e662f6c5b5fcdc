// The Windows window, in the Windows build only: where the canvas goes in a client area, what a gamepad holds, a poll
// that reads the keys as they are now, and the UTF-8 / UTF-16 round trip.
#include "win32/win32_window.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/wide.h"

namespace zorva {
namespace {

TEST(Win32, TheCanvasTakesTheLargestWholeMultipleThatFitsCentred) {
  struct Case { int w, h, scale, x, y; };
  const Case cases[] = {{324, 324, 1, 0, 0},   {647, 700, 1, 161, 188}, {648, 648, 2, 0, 0},
                        {1920, 1080, 3, 474, 54}, {100, 50, 1, -112, -137}};
  for (const Case& c : cases) {
    const CanvasPlace at = FitCanvas(c.w, c.h);
    EXPECT_EQ((std::array{at.scale, at.x, at.y}), (std::array{c.scale, c.x, c.y})) << c.w << " x " << c.h;
  }
}

TEST(Win32, AGamepadHoldsLeftRightAndSpaceAsOnTheDesktop) {
  // XInput's buttons and stick; what the pad then holds of LEFT, RIGHT and SPACE (bits of kHeldKeys).
  struct Case { unsigned buttons; int stick; unsigned held; };
  const Case cases[] = {
      {0, 0, 0}, {XINPUT_GAMEPAD_DPAD_LEFT, 0, 1}, {XINPUT_GAMEPAD_DPAD_RIGHT, 0, 2},
      {0, -8192, 1}, {0, -8191, 0}, {0, 8192, 2}, {0, 8191, 0},  // past a quarter of the stick's way
      {XINPUT_GAMEPAD_A, 0, 4}, {XINPUT_GAMEPAD_B, 0, 4}, {XINPUT_GAMEPAD_X, 0, 4}, {XINPUT_GAMEPAD_Y, 0, 4},
      {XINPUT_GAMEPAD_START, 0, 4}, {XINPUT_GAMEPAD_BACK, 0, 0}, {XINPUT_GAMEPAD_DPAD_UP | XINPUT_GAMEPAD_LEFT_SHOULDER, 0, 0},
      {XINPUT_GAMEPAD_DPAD_LEFT | XINPUT_GAMEPAD_A, 32767, 7},
  };
  for (const Case& c : cases) EXPECT_EQ(PadHolds(PadControls(c.buttons), c.stick / 32767.0), c.held) << c.buttons << " " << c.stick;
}

TEST(Win32, APollReadsTheKeysAsTheyAreNowAndLeavesTheSystemKeysAndTheCloseToThePump) {
  // Messages posted while the game waits; what the next poll of SPACE reads, before any pump and after it (-1: the
  // pump ends the program).
  const struct { const char* name; std::vector<UINT> during; int poll, afterPump; } cases[] = {
      {"a press during the wait is seen at once", {WM_KEYDOWN}, 0x8001, 0x8000},
      {"a press behind Alt+Enter waits for the pump", {WM_SYSKEYDOWN, WM_KEYDOWN}, 0, 0x8001},
      {"a press behind the close is the pump's", {WM_CLOSE, WM_KEYDOWN}, 0, -1}};
  WindowOptions silent;
  silent.sound = false;
  for (const auto& c : cases) {
    Win32Window window(silent);
    Main = &window, SendMessageW(window.Handle(), WM_SETFOCUS, 0, 0), window.DoEvents(), window.GetAsyncKeyState(VK_SPACE);
    for (UINT m : c.during) PostMessageW(window.Handle(), m, m == WM_KEYDOWN ? VK_SPACE : VK_RETURN, 0);
    Sleep(2);
    EXPECT_EQ(static_cast<std::uint16_t>(window.GetAsyncKeyState(VK_SPACE)), c.poll) << c.name;
    if (c.afterPump < 0) {
      EXPECT_THROW(window.DoEvents(), ProgramEnded) << c.name;
    } else {
      window.DoEvents();
      EXPECT_EQ(static_cast<std::uint16_t>(window.GetAsyncKeyState(VK_SPACE)), c.afterPump) << c.name;
    }
    Main = nullptr;
  }
}

TEST(Win32, FileNamesPassBetweenUtf8AndUtf16Unchanged) {
  const std::string names[] = {"", "zorva.exe", "効果音.wav", "Zörva 効果 テスト\\é 𝄞.zdm"};
  for (const std::string& name : names) EXPECT_EQ(Utf8(Wide(name)), name);
  EXPECT_EQ(Wide("効果音"), L"\x52B9\x679C\x97F3");
  EXPECT_EQ(Wide("𝄞").size(), 2u);  // outside the basic plane: a surrogate pair
}

}  // namespace
}  // namespace zorva
