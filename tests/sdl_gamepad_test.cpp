// SDL's virtual game controller, plugged into the real window, pressed, and
// pulled out again: what the game's key polls read after each event pump.
#include <gtest/gtest.h>

#include <cstdlib>

#include "sdl/sdl_window.h"

namespace zorva {
namespace {

TEST(SdlGamepad, DpadStickAndButtonsFeedTheKeyRecord) {
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  SdlWindow window(WindowOptions{.sound = false, .frameLog = {}});
  Main = &window;
  window.ShowMain();
  auto event = [&](Uint32 type, std::uint8_t what, SDL_Keycode key = 0) {
    SDL_Event e{};
    e.type = type;
    e.window.windowID = SDL_GetWindowID(window.Handle());  // the key event's windowID lies in the same place
    e.window.event = what;
    if (type == SDL_KEYDOWN) e.key.keysym.sym = key;
    ASSERT_EQ(SDL_PushEvent(&e), 1);
  };
  int index = -1;
  SDL_Joystick* pad = nullptr;  // the test's own hold, to move the pad's inputs
  enum Act { Press, Release, Stick, Lost, Gained, Out, In, KeySpace };
  constexpr int A = SDL_CONTROLLER_BUTTON_A, Start = SDL_CONTROLLER_BUTTON_START, P = 1, D = 0x8000;
  constexpr int Left = SDL_CONTROLLER_BUTTON_DPAD_LEFT, Right = SDL_CONTROLLER_BUTTON_DPAD_RIGHT;
  const struct {
    Act act;
    int what, left, right, space;  // the button or the stick's x; what the polls then read
  } steps[] = {
      {Gained, 0, 0, 0, 0}, {In, 0, 0, 0, 0}, {Press, A, 0, 0, D | P}, {Press, SDL_CONTROLLER_BUTTON_B, 0, 0, D},
      {Release, A, 0, 0, D}, {Release, SDL_CONTROLLER_BUTTON_B, 0, 0, 0}, {Press, SDL_CONTROLLER_BUTTON_X, 0, 0, D | P},
      {Release, SDL_CONTROLLER_BUTTON_X, 0, 0, 0}, {Press, SDL_CONTROLLER_BUTTON_Y, 0, 0, D | P},
      {Release, SDL_CONTROLLER_BUTTON_Y, 0, 0, 0}, {Press, Start, 0, 0, D | P}, {Release, Start, 0, 0, 0},
      {Press, SDL_CONTROLLER_BUTTON_BACK, 0, 0, 0}, {Release, SDL_CONTROLLER_BUTTON_BACK, 0, 0, 0},
      {Press, Left, D | P, 0, 0}, {Release, Left, 0, 0, 0}, {Press, Right, 0, D | P, 0}, {Release, Right, 0, 0, 0},
      {Stick, -20000, D | P, 0, 0}, {Stick, -5000, 0, 0, 0}, {Stick, 5000, 0, 0, 0}, {Stick, 32767, 0, D | P, 0},
      {Stick, 0, 0, 0, 0},  // then: a press without the focus, and one held while it comes back, do not count
      {Lost, 0, 0, 0, 0}, {Press, A, 0, 0, 0}, {Gained, 0, 0, 0, 0}, {Release, A, 0, 0, 0}, {Press, A, 0, 0, D | P},
      {Lost, 0, 0, 0, 0}, {Gained, 0, 0, 0, 0}, {Release, A, 0, 0, 0}, {Press, Right, 0, D | P, 0},
      {Out, 0, 0, 0, 0}, {In, 0, 0, 0, 0}, {Press, Start, 0, 0, D | P},  // pulled out and plugged in again
      {KeySpace, 0, 0, 0, D}, {Release, Start, 0, 0, D},  // the keyboard holds the same key
  };
  for (std::size_t i = 0; i < std::size(steps); ++i) {
    const auto& s = steps[i];
    SCOPED_TRACE(testing::Message() << "step " << i);
    if (s.act == Press || s.act == Release) SDL_JoystickSetVirtualButton(pad, s.what, s.act == Press);
    if (s.act == Stick) SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_LEFTX, static_cast<Sint16>(s.what));
    if (s.act == Lost || s.act == Gained)
      event(SDL_WINDOWEVENT, s.act == Lost ? SDL_WINDOWEVENT_FOCUS_LOST : SDL_WINDOWEVENT_FOCUS_GAINED);
    if (s.act == KeySpace) event(SDL_KEYDOWN, 0, SDLK_SPACE);
    if (s.act == Out) SDL_JoystickDetachVirtual(index), SDL_JoystickClose(pad);
    if (s.act == In) {
      index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, SDL_CONTROLLER_AXIS_MAX,
                                        SDL_CONTROLLER_BUTTON_MAX, 0);
      ASSERT_TRUE(index >= 0 && SDL_IsGameController(index)) << SDL_GetError();
      ASSERT_NE(pad = SDL_JoystickOpen(index), nullptr) << SDL_GetError();
    }
    window.DoEvents();
    EXPECT_EQ(static_cast<std::uint16_t>(window.GetAsyncKeyState(VK_LEFT)), s.left);
    EXPECT_EQ(static_cast<std::uint16_t>(window.GetAsyncKeyState(VK_RIGHT)), s.right);
    EXPECT_EQ(static_cast<std::uint16_t>(window.GetAsyncKeyState(VK_SPACE)), s.space);
  }
  SDL_JoystickDetachVirtual(index), SDL_JoystickClose(pad);
  Main = nullptr;
}

}  // namespace
}  // namespace zorva
