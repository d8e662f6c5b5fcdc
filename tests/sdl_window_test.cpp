#include "app/sdl_window.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "app/form.h"
#include "flow/clock.h"

namespace zorva {
namespace {

using Steady = std::chrono::steady_clock;

// Remembers the multimedia commands it is sent.
class RecordingWindow : public SdlWindow {
 public:
  std::vector<std::string> commands;
  int ends = 0;
  void mciSendStringA(const std::string& command) override {
    commands.push_back(command);
    SdlWindow::mciSendStringA(command);
  }
  void End() override {
    ++ends;
    SdlWindow::End();
  }
};

class SdlWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    window = std::make_unique<RecordingWindow>();
    Main = window.get();
    window->ShowMain();
    Push(WindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED));
    window->DoEvents();
  }
  void TearDown() override {
    Main = nullptr;
    window.reset();
  }

  std::uint32_t Id() const { return SDL_GetWindowID(window->Handle()); }

  static void Push(SDL_Event event) { ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError(); }

  SDL_Event WindowEvent(std::uint8_t what) const {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = Id();
    e.window.event = what;
    return e;
  }

  SDL_Event KeyEvent(bool down, SDL_Keycode key, bool repeat = false, std::uint16_t mod = KMOD_NONE) const {
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.windowID = Id();
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.repeat = repeat ? 1 : 0;
    e.key.keysym.sym = key;
    e.key.keysym.mod = mod;
    return e;
  }

  SDL_Event MouseEvent(std::uint32_t type, Point at) const {
    SDL_Event e{};
    e.type = type;
    if (type == SDL_MOUSEMOTION) {
      e.motion.windowID = Id();
      e.motion.x = at.x;
      e.motion.y = at.y;
    } else {
      e.button.windowID = Id();
      e.button.button = SDL_BUTTON_LEFT;
      e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
      e.button.clicks = 1;
      e.button.x = at.x;
      e.button.y = at.y;
    }
    return e;
  }

  // The window position of the centre of a place of the picture.
  Point OnScreen(Rect r) const {
    const Placement p = window->CurrentPlacement();
    return {p.x + (r.x + r.w / 2) * p.scale, p.y + (r.y + r.h / 2) * p.scale};
  }

  void Click(Point at) {
    Push(MouseEvent(SDL_MOUSEBUTTONDOWN, at));
    Push(MouseEvent(SDL_MOUSEBUTTONUP, at));
    window->DoEvents();
  }

  void Resize(int w, int h) {
    SDL_SetWindowSize(window->Handle(), w, h);
    window->DoEvents();
  }

  std::unique_ptr<RecordingWindow> window;
};

TEST_F(SdlWindowTest, OpensAtOneTimesWithWaitChecked) {
  int w = 0, h = 0;
  SDL_GetWindowSize(window->Handle(), &w, &h);
  EXPECT_EQ(w, kPictureWidth);
  EXPECT_EQ(h, kPictureHeight);
  EXPECT_STREQ(SDL_GetWindowTitle(window->Handle()), "ＺＯＲＶＡ");
  EXPECT_EQ(window->CurrentPlacement().scale, 1);
  EXPECT_TRUE(window->WaitChecked());
  EXPECT_FALSE(window->Menu().IsOpen());
  EXPECT_TRUE(SDL_GetWindowFlags(window->Handle()) & SDL_WINDOW_SHOWN);
}

TEST_F(SdlWindowTest, MenuClicksLandAtEveryScale) {
  struct Case {
    int w, h, scale;
  };
  const Case cases[] = {{324, 344, 1}, {648, 688, 2}, {700, 700, 2}, {1000, 1100, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
    Resize(c.w, c.h);
    ASSERT_EQ(window->CurrentPlacement().scale, c.scale);
    const bool before = window->WaitChecked();

    Click(OnScreen(OptionTitleRect()));
    EXPECT_TRUE(window->Menu().IsOpen());
    Click(OnScreen(WaitItemRect()));
    EXPECT_FALSE(window->Menu().IsOpen());
    EXPECT_EQ(window->WaitChecked(), !before);

    // A click just outside the title, in the margin or the bar, opens nothing.
    const Placement p = window->CurrentPlacement();
    Click({p.x + (OptionTitleRect().x + OptionTitleRect().w) * p.scale + 1, p.y + 5 * p.scale});
    EXPECT_FALSE(window->Menu().IsOpen());
  }
}

TEST_F(SdlWindowTest, TwoClicksOnWaitLeaveItChecked) {
  for (int i = 0; i < 2; ++i) {
    Click(OnScreen(OptionTitleRect()));
    Click(OnScreen(WaitItemRect()));
  }
  EXPECT_TRUE(window->WaitChecked());
}

TEST_F(SdlWindowTest, CheckMarkShowsTheSetting) {
  const Rect mark = CheckMarkRect();
  auto tipInked = [&] { return window->Picture().Pixel(mark.x + 6, mark.y) == kBarTextColour; };
  Click(OnScreen(OptionTitleRect()));
  EXPECT_TRUE(tipInked());
  Click(OnScreen(WaitItemRect()));
  EXPECT_FALSE(window->WaitChecked());
  Click(OnScreen(OptionTitleRect()));
  EXPECT_FALSE(tipInked());
}

TEST_F(SdlWindowTest, EscapeAndClicksElsewhereCloseTheMenu) {
  Click(OnScreen(OptionTitleRect()));
  ASSERT_TRUE(window->Menu().IsOpen());
  Push(KeyEvent(true, SDLK_ESCAPE));
  Push(KeyEvent(false, SDLK_ESCAPE));
  window->DoEvents();
  EXPECT_FALSE(window->Menu().IsOpen());
  EXPECT_EQ(window->GetAsyncKeyState(VK_ESCAPE), 0);  // the menu took the key

  Click(OnScreen(OptionTitleRect()));
  Click({160, 250});
  EXPECT_FALSE(window->Menu().IsOpen());
  EXPECT_TRUE(window->WaitChecked());

  Click(OnScreen(OptionTitleRect()));
  Push(WindowEvent(SDL_WINDOWEVENT_FOCUS_LOST));
  window->DoEvents();
  EXPECT_FALSE(window->Menu().IsOpen());
}

TEST_F(SdlWindowTest, HoverLightsTheTitle) {
  const Rect title = OptionTitleRect();
  Push(MouseEvent(SDL_MOUSEMOTION, OnScreen(title)));
  window->DoEvents();
  EXPECT_EQ(window->Picture().Pixel(title.x, title.y), kLitColour);
  Push(MouseEvent(SDL_MOUSEMOTION, {200, 200}));
  window->DoEvents();
  EXPECT_EQ(window->Picture().Pixel(title.x, title.y), kBarColour);
}

// Reads back what the renderer drew: the whole window.
std::vector<Uint32> ReadBack(SDL_Renderer* renderer, int& w, int& h) {
  SDL_GetRendererOutputSize(renderer, &w, &h);
  std::vector<Uint32> pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
  SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_XBGR8888, pixels.data(), w * 4);
  return pixels;
}

TEST_F(SdlWindowTest, ShowsTheCanvasScaledNearestNeighbour) {
  window->Crt.PSet(0, 0, RGB(255, 0, 0));
  window->Crt.PSet(1, 0, RGB(0, 0, 255));
  struct Case {
    int w, h;
  };
  for (const Case c : {Case{324, 344}, Case{648, 688}, Case{700, 700}}) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
    Resize(c.w, c.h);
    window->DoEvents();
    SDL_Renderer* renderer = SDL_GetRenderer(window->Handle());
    ASSERT_NE(renderer, nullptr);
    int w = 0, h = 0;
    const std::vector<Uint32> px = ReadBack(renderer, w, h);
    ASSERT_EQ(w, c.w);
    const Placement p = window->CurrentPlacement();
    auto at = [&](int x, int y) { return px[static_cast<std::size_t>(y) * w + x] & 0xFFFFFFu; };
    const int cx = p.x + 2 * p.scale, cy = p.y + 22 * p.scale;  // Crt's (0, 0)
    for (int dy = 0; dy < p.scale; ++dy) {
      for (int dx = 0; dx < p.scale; ++dx) {
        EXPECT_EQ(at(cx + dx, cy + dy), RGB(255, 0, 0));
        EXPECT_EQ(at(cx + p.scale + dx, cy + dy), RGB(0, 0, 255));
      }
    }
    EXPECT_EQ(at(cx, cy + p.scale), 0u);
    if (p.x > 0) {
      EXPECT_EQ(at(p.x - 1, cy), 0u);  // black around the picture
    }
    EXPECT_EQ(at(p.x, p.y), kBarColour);
  }
}

TEST_F(SdlWindowTest, AltEnterTogglesFullscreen) {
  Push(KeyEvent(true, SDLK_RETURN, false, KMOD_LALT));
  Push(KeyEvent(false, SDLK_RETURN, false, KMOD_LALT));
  window->DoEvents();
  EXPECT_TRUE(window->IsFullscreen());
  Push(KeyEvent(true, SDLK_RETURN, true, KMOD_LALT));  // a repeat changes nothing
  window->DoEvents();
  EXPECT_TRUE(window->IsFullscreen());
  Push(KeyEvent(true, SDLK_RETURN, false, KMOD_LALT));
  window->DoEvents();
  EXPECT_FALSE(window->IsFullscreen());
}

TEST_F(SdlWindowTest, KeyRecordAsTheGamePollsIt) {
  // Each script runs on a fresh key; polls are separated by event pumps.
  struct Event {
    enum Kind { Down, Up, Repeat, FocusLost, FocusGained } kind;
  };
  struct Script {
    const char* name;
    std::vector<std::vector<Event::Kind>> pumps;  // events served before each poll
    std::vector<bool> nonZero;                    // the result of each poll
    std::vector<bool> held;                       // whether the high bit is set
  };
  using E = Event;
  const Script scripts[] = {
      {"a tap between two polls is reported once", {{E::Down, E::Up}, {}, {}}, {true, false, false},
       {false, false, false}},
      {"a held key reads down at every poll", {{E::Down}, {}, {E::Repeat}, {E::Up}, {}},
       {true, true, true, false, false}, {true, true, true, false, false}},
      {"repeats of a held key set no new record", {{E::Down}, {E::Repeat, E::Repeat}, {E::Up}},
       {true, true, false}, {true, true, false}},
      {"a press without the keyboard does not count", {{E::FocusLost, E::Down, E::Up}, {E::FocusLost, E::Down}},
       {false, false}, {false, false}},
      {"losing the keyboard releases held keys and clears the record",
       {{E::Down}, {E::Up, E::Down, E::FocusLost}, {E::FocusGained}}, {true, false, false}, {true, false, false}},
      {"after regaining the keyboard a new press counts", {{E::FocusLost, E::FocusGained, E::Down, E::Up}},
       {true}, {false}},
  };
  for (const Script& script : scripts) {
    SCOPED_TRACE(script.name);
    Push(WindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED));
    window->DoEvents();
    window->GetAsyncKeyState(VK_SPACE);
    for (std::size_t i = 0; i < script.pumps.size(); ++i) {
      for (E::Kind kind : script.pumps[i]) {
        switch (kind) {
          case E::Down: Push(KeyEvent(true, SDLK_SPACE)); break;
          case E::Up: Push(KeyEvent(false, SDLK_SPACE)); break;
          case E::Repeat: Push(KeyEvent(true, SDLK_SPACE, true)); break;
          case E::FocusLost: Push(WindowEvent(SDL_WINDOWEVENT_FOCUS_LOST)); break;
          case E::FocusGained: Push(WindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED)); break;
        }
      }
      window->DoEvents();
      const std::int16_t state = window->GetAsyncKeyState(VK_SPACE);
      SCOPED_TRACE(testing::Message() << "poll " << i << " read " << state);
      EXPECT_EQ(state != 0, script.nonZero[i]);
      EXPECT_EQ((static_cast<std::uint16_t>(state) & 0x8000u) != 0, script.held[i]);
    }
    Push(KeyEvent(false, SDLK_SPACE));
    window->DoEvents();
  }
}

TEST_F(SdlWindowTest, GameKeysMapToTheirCodes) {
  const std::pair<SDL_Keycode, int> keys[] = {
      {SDLK_LEFT, VK_LEFT}, {SDLK_RIGHT, VK_RIGHT}, {SDLK_SPACE, VK_SPACE}, {SDLK_DOWN, VK_DOWN},
      {SDLK_ESCAPE, VK_ESCAPE},
  };
  for (const auto& [sym, vk] : keys) {
    SCOPED_TRACE(vk);
    Push(KeyEvent(true, sym));
    window->DoEvents();
    for (const auto& [otherSym, other] : keys) {
      if (other != vk) {
        EXPECT_EQ(window->GetAsyncKeyState(other), 0);
      }
    }
    EXPECT_EQ(static_cast<std::uint16_t>(window->GetAsyncKeyState(vk)), 0x8001u);
    EXPECT_EQ(static_cast<std::uint16_t>(window->GetAsyncKeyState(vk)), 0x8000u);
    Push(KeyEvent(false, sym));
    window->DoEvents();
    EXPECT_EQ(window->GetAsyncKeyState(vk), 0);
  }
  for (int vk : {-1, 256, 100000}) EXPECT_EQ(window->GetAsyncKeyState(vk), 0);
}

TEST_F(SdlWindowTest, ClosingEndsTheProgramFromThePump) {
  struct Case {
    const char* name;
    bool quit;
  };
  for (const Case c : {Case{"close box", false}, Case{"quit request", true}}) {
    SCOPED_TRACE(c.name);
    if (!window) SetUp();
    if (c.quit) {
      SDL_Event e{};
      e.type = SDL_QUIT;
      Push(e);
    } else {
      Push(WindowEvent(SDL_WINDOWEVENT_CLOSE));
    }
    try {
      window->DoEvents();
      ADD_FAILURE() << "the pump returned";
    } catch (const ProgramEnded& end) {
      EXPECT_EQ(end.status, 0);
    }
    EXPECT_EQ(window->commands, std::vector<std::string>{"close MIDI notify"});
    EXPECT_EQ(window->ends, 1);
    EXPECT_EQ(window->Handle(), nullptr);
    EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
    window->DoEvents();  // nothing left to serve, and no harm
    TearDown();
  }
}

TEST_F(SdlWindowTest, ClockStartsPositiveAndNeverRunsBack) {
  const std::int64_t first = window->timeGetTime();
  EXPECT_GE(first, 900);
  std::int64_t last = first;
  for (int i = 0; i < 1000; ++i) {
    const std::int64_t now = window->timeGetTime();
    ASSERT_GE(now, last);
    last = now;
  }
}

TEST_F(SdlWindowTest, WaitSleepsButNeverOversleeps) {
  // Wait keeps its rule: more than the count has passed when it returns.
  const std::int64_t before = window->timeGetTime();
  const auto started = Steady::now();
  Wait(30);
  EXPECT_GT(window->timeGetTime() - before, 30);
  EXPECT_LT(Steady::now() - started, std::chrono::seconds(2));

  // Readings near the deadline do not sleep; readings far from it rest, but
  // come back before it. Scheduling may delay one try; not all of them.
  int onTime = 0;
  for (int i = 0; i < 5; ++i) {
    const std::int64_t start = window->timeGetTime();
    const std::int64_t reading = window->WaitReading(40);
    EXPECT_GE(reading, start + 20);  // it did rest
    onTime += reading <= start + 40;
  }
  EXPECT_GE(onTime, 1);
  const auto quick = Steady::now();
  for (int i = 0; i < 100; ++i) window->WaitReading(i % 4 - 1);  // -1 .. 2 ms left
  EXPECT_LT(Steady::now() - quick, std::chrono::milliseconds(500));
}

TEST_F(SdlWindowTest, PresentsNoFasterThanTheDisplayRefreshes) {
  const auto period = window->RefreshPeriod();
  window->DoEvents();
  const auto started = Steady::now();
  for (int i = 0; i < 10; ++i) window->DoEvents();
  const auto spent = Steady::now() - started;
  EXPECT_GE(spent, period * 10 - std::chrono::milliseconds(5));
  EXPECT_LT(spent, std::chrono::seconds(5));
}

TEST_F(SdlWindowTest, ExeFolderIsTheProgramsFolder) {
  const std::string folder = window->ExeFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder.back(), '/');
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_EQ(std::filesystem::canonical(folder), std::filesystem::canonical("/proc/self/exe").parent_path());
}

TEST_F(SdlWindowTest, UnplayableSoundsAreSilentlyIgnored) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path();
  for (const std::string& file : {std::string(), (dir / "no such sound.wav").string(), dir.string()}) {
    window->sndPlaySoundA(file, SND_ASYNC | SND_NODEFAULT);
  }
  EXPECT_EQ(window->Audio()->QueuedBytes(), 0u);
}

TEST(SdlVideoDriver, InvisibleDriversCountAsNoDisplay) {
  struct Case {
    const char* driver;
    const char* requested;
    bool invisible;
  };
  const Case cases[] = {
      {"x11", nullptr, false},        {"wayland", "", false},       {"offscreen", nullptr, true},
      {"dummy", "", true},            {"offscreen", "x11", true},    {"dummy", "dummy", false},
      {"offscreen", "x11,offscreen", false}, {"dummy", "DUMMY", false}, {nullptr, nullptr, true},
      {"dummy", "dumm", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.driver ? c.driver : "null") << " / " << (c.requested ? c.requested : "null"));
    EXPECT_EQ(IsInvisibleVideoDriver(c.driver, c.requested), c.invisible);
  }
}

// The game itself, started where no display can be reached: one line naming
// the cause on standard error, status 1, no hang.
TEST(SdlStartup, WithoutADisplayTheGameSaysWhyAndStops) {
  const std::filesystem::path game = std::filesystem::path(ZORVA_BINARY_DIR) / "zorva";
  if (!std::filesystem::exists(game)) GTEST_SKIP() << "the game is not built";
  const std::filesystem::path err =
      std::filesystem::temp_directory_path() / ("zorva-startup-" + std::to_string(getpid()) + ".txt");
  const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER SDL_AUDIODRIVER=dummy timeout 30 '" +
                              game.string() + "' >/dev/null 2>'" + err.string() + "'";
  const int status = std::system(command.c_str());
  std::ifstream in(err);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::filesystem::remove(err);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1) << text;
  EXPECT_EQ(text.rfind("zorva: ", 0), 0u) << text;
  EXPECT_NE(text.find("display"), std::string::npos) << text;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
}

}  // namespace
}  // namespace zorva
