// A gamepad on the real window: SDL's virtual game controller, plugged in,
// pressed and pulled out while the window runs its event pump.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "sdl/sdl_window.h"

namespace zorva {
namespace {

class SdlGamepadTest : public testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    window = std::make_unique<SdlWindow>(WindowOptions{.sound = false, .frameLog = {}});
    Main = window.get();
    window->ShowMain();
    Focus(SDL_WINDOWEVENT_FOCUS_GAINED);
  }
  void TearDown() override {
    Main = nullptr;
    window.reset();
  }
  void Focus(std::uint8_t what) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = SDL_GetWindowID(window->Handle());
    e.window.event = what;
    ASSERT_EQ(SDL_PushEvent(&e), 1);
  }
  void Plug() {
    index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, SDL_CONTROLLER_AXIS_MAX,
                                                SDL_CONTROLLER_BUTTON_MAX, 0);
    ASSERT_GE(index, 0) << SDL_GetError();
    ASSERT_TRUE(SDL_IsGameController(index));
    pad = SDL_JoystickOpen(index);  // the test's own hold, to move its inputs
    ASSERT_NE(pad, nullptr) << SDL_GetError();
  }
  void Unplug() {
    SDL_JoystickDetachVirtual(index);
    SDL_JoystickClose(pad);
  }

  std::unique_ptr<SdlWindow> window;
  SDL_Joystick* pad = nullptr;
  int index = -1;
};

TEST_F(SdlGamepadTest, DpadStickAndButtonsFeedTheKeyRecord) {
  enum Act { Press, Release, Stick, Lost, Gained, Out, In, KeyDown };
  constexpr int P = 1, D = 0x8000;
  const struct {
    Act act;
    int what;            // the button or the stick's x
    int left, right, space;  // what the polls then read
  } steps[] = {
      {In, 0, 0, 0, 0},
      {Press, SDL_CONTROLLER_BUTTON_A, 0, 0, D | P},
      {Press, SDL_CONTROLLER_BUTTON_B, 0, 0, D},  // still held: no new press
      {Release, SDL_CONTROLLER_BUTTON_A, 0, 0, D},
      {Release, SDL_CONTROLLER_BUTTON_B, 0, 0, 0},
      {Press, SDL_CONTROLLER_BUTTON_X, 0, 0, D | P},      {Release, SDL_CONTROLLER_BUTTON_X, 0, 0, 0},
      {Press, SDL_CONTROLLER_BUTTON_Y, 0, 0, D | P},      {Release, SDL_CONTROLLER_BUTTON_Y, 0, 0, 0},
      {Press, SDL_CONTROLLER_BUTTON_START, 0, 0, D | P},  {Release, SDL_CONTROLLER_BUTTON_START, 0, 0, 0},
      {Press, SDL_CONTROLLER_BUTTON_BACK, 0, 0, 0},       {Release, SDL_CONTROLLER_BUTTON_BACK, 0, 0, 0},
      {Press, SDL_CONTROLLER_BUTTON_DPAD_LEFT, D | P, 0, 0},
      {Release, SDL_CONTROLLER_BUTTON_DPAD_LEFT, 0, 0, 0},
      {Press, SDL_CONTROLLER_BUTTON_DPAD_RIGHT, 0, D | P, 0},
      {Release, SDL_CONTROLLER_BUTTON_DPAD_RIGHT, 0, 0, 0},
      {Stick, -20000, D | P, 0, 0},
      {Stick, -5000, 0, 0, 0},  // inside the dead zone
      {Stick, 5000, 0, 0, 0},
      {Stick, 32767, 0, D | P, 0},
      {Stick, 0, 0, 0, 0},
      // Presses count only with the focus; one held across a change of focus
      // must be pressed again.
      {Lost, 0, 0, 0, 0},
      {Press, SDL_CONTROLLER_BUTTON_A, 0, 0, 0},
      {Gained, 0, 0, 0, 0},
      {Release, SDL_CONTROLLER_BUTTON_A, 0, 0, 0},
      {Press, SDL_CONTROLLER_BUTTON_A, 0, 0, D | P},
      {Lost, 0, 0, 0, 0},  // and losing the focus releases it
      {Gained, 0, 0, 0, 0},
      // Pulled out while held, it lets go; plugged in again, it plays.
      {Release, SDL_CONTROLLER_BUTTON_A, 0, 0, 0},
      {Press, SDL_CONTROLLER_BUTTON_DPAD_RIGHT, 0, D | P, 0},
      {Out, 0, 0, 0, 0},
      {In, 0, 0, 0, 0},
      {Press, SDL_CONTROLLER_BUTTON_START, 0, 0, D | P},
      // The keyboard and a pad hold the same key.
      {KeyDown, SDLK_SPACE, 0, 0, D},
      {Release, SDL_CONTROLLER_BUTTON_START, 0, 0, D},
  };
  for (std::size_t i = 0; i < std::size(steps); ++i) {
    const auto& s = steps[i];
    SCOPED_TRACE(testing::Message() << "step " << i);
    if (s.act == Press || s.act == Release) SDL_JoystickSetVirtualButton(pad, s.what, s.act == Press);
    if (s.act == Stick) SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_LEFTX, static_cast<Sint16>(s.what));
    if (s.act == Lost || s.act == Gained) Focus(s.act == Lost ? SDL_WINDOWEVENT_FOCUS_LOST : SDL_WINDOWEVENT_FOCUS_GAINED);
    if (s.act == Out) Unplug();
    if (s.act == In) Plug();
    if (s.act == KeyDown) {
      SDL_Event e{};
      e.type = SDL_KEYDOWN;
      e.key.windowID = SDL_GetWindowID(window->Handle());
      e.key.keysym.sym = s.what;
      ASSERT_EQ(SDL_PushEvent(&e), 1);
    }
    window->DoEvents();
    EXPECT_EQ(static_cast<std::uint16_t>(window->GetAsyncKeyState(VK_LEFT)), s.left);
    EXPECT_EQ(static_cast<std::uint16_t>(window->GetAsyncKeyState(VK_RIGHT)), s.right);
    EXPECT_EQ(static_cast<std::uint16_t>(window->GetAsyncKeyState(VK_SPACE)), s.space);
  }
  Unplug();
}

}  // namespace
}  // namespace zorva
