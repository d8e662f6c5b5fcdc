#include "sdl/sdl_window.h"

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
#include <thread>
#include <vector>

#include "base/clock.h"

namespace zorva {
namespace {

using Steady = std::chrono::steady_clock;

// Remembers the multimedia commands it is sent and how often it was ended.
struct RecordingWindow : SdlWindow {
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
    Pump({Window(SDL_WINDOWEVENT_FOCUS_GAINED)});
  }
  void TearDown() override {
    Main = nullptr;
    window.reset();
  }

  // Serves the events in one event pump, one refresh after the last, so
  // that it shows the canvas.
  void Pump(const std::vector<SDL_Event>& events) {
    for (SDL_Event e : events) ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError();
    std::this_thread::sleep_for(window->RefreshPeriod());
    window->DoEvents();
  }
  SDL_Event Window(std::uint8_t what) const {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = SDL_GetWindowID(window->Handle());
    e.window.event = what;
    return e;
  }
  SDL_Event Key(bool down, SDL_Keycode key, bool repeat = false, std::uint16_t mod = KMOD_NONE) const {
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.windowID = SDL_GetWindowID(window->Handle());
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.repeat = repeat ? 1 : 0;
    e.key.keysym.sym = key;
    e.key.keysym.mod = mod;
    return e;
  }
  SDL_Event Mouse(std::uint32_t type, Point at) const {
    SDL_Event e{};
    e.type = type;
    if (type == SDL_MOUSEMOTION) {
      e.motion.windowID = SDL_GetWindowID(window->Handle());
      e.motion.x = at.x;
      e.motion.y = at.y;
    } else {
      e.button.windowID = SDL_GetWindowID(window->Handle());
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
  void Click(Point at) { Pump({Mouse(SDL_MOUSEBUTTONDOWN, at), Mouse(SDL_MOUSEBUTTONUP, at)}); }
  void Resize(int w, int h) {
    SDL_SetWindowSize(window->Handle(), w, h);
    Pump({});
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

TEST_F(SdlWindowTest, MenuWorksAtEveryScale) {
  const Rect mark = CheckMarkRect(), title = OptionTitleRect();
  auto tickInked = [&] { return window->Picture().Pixel(mark.x + 6, mark.y) == kBarTextColour; };
  const int cases[][3] = {{324, 344, 1}, {648, 688, 2}, {700, 700, 2}, {1000, 1100, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c[0] << "x" << c[1]);
    Resize(c[0], c[1]);
    ASSERT_EQ(window->CurrentPlacement().scale, c[2]);
    const bool before = window->WaitChecked();
    Click(OnScreen(title));
    EXPECT_TRUE(window->Menu().IsOpen());
    EXPECT_EQ(tickInked(), before);  // the check mark shows the setting
    Click(OnScreen(WaitItemRect()));
    EXPECT_FALSE(window->Menu().IsOpen());
    EXPECT_EQ(window->WaitChecked(), !before);
    // A click just right of the title opens nothing.
    const Placement p = window->CurrentPlacement();
    Click({p.x + (title.x + title.w) * p.scale + 1, p.y + 5 * p.scale});
    EXPECT_FALSE(window->Menu().IsOpen());
  }
  // Hovering lights the title.
  Pump({Mouse(SDL_MOUSEMOTION, OnScreen(title))});
  EXPECT_EQ(window->Picture().Pixel(title.x, title.y), kLitColour);
  Pump({Mouse(SDL_MOUSEMOTION, {200, 200})});
  EXPECT_EQ(window->Picture().Pixel(title.x, title.y), kBarColour);
}

TEST_F(SdlWindowTest, EscapeClicksElsewhereAndLosingFocusCloseTheMenu) {
  Click(OnScreen(OptionTitleRect()));
  Pump({Key(true, SDLK_ESCAPE), Key(false, SDLK_ESCAPE)});
  EXPECT_FALSE(window->Menu().IsOpen());
  EXPECT_EQ(window->GetAsyncKeyState(VK_ESCAPE), 0);  // the menu took the key
  Click(OnScreen(OptionTitleRect()));
  Click({160, 250});
  EXPECT_FALSE(window->Menu().IsOpen());
  EXPECT_TRUE(window->WaitChecked());
  Click(OnScreen(OptionTitleRect()));
  Pump({Window(SDL_WINDOWEVENT_FOCUS_LOST)});
  EXPECT_FALSE(window->Menu().IsOpen());
}

TEST_F(SdlWindowTest, ShowsTheCanvasScaledNearestNeighbour) {
  window->Crt.PSet(0, 0, RGB(255, 0, 0));
  window->Crt.PSet(1, 0, RGB(0, 0, 255));
  for (const auto& [w, h] : {std::pair{324, 344}, std::pair{648, 688}, std::pair{700, 700}}) {
    SCOPED_TRACE(testing::Message() << w << "x" << h);
    Resize(w, h);
    SDL_Renderer* renderer = SDL_GetRenderer(window->Handle());
    int ow = 0, oh = 0;
    SDL_GetRendererOutputSize(renderer, &ow, &oh);
    ASSERT_EQ(ow, w);
    std::vector<Uint32> px(static_cast<std::size_t>(ow * oh));
    SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_XBGR8888, px.data(), ow * 4);
    auto at = [&](int x, int y) { return px[static_cast<std::size_t>(y * ow + x)] & 0xFFFFFFu; };
    const Placement p = window->CurrentPlacement();
    const int cx = p.x + 2 * p.scale, cy = p.y + 22 * p.scale;  // Crt's (0, 0)
    for (int dy = 0; dy < p.scale; ++dy)
      for (int dx = 0; dx < p.scale; ++dx) {
        EXPECT_EQ(at(cx + dx, cy + dy), RGB(255, 0, 0));
        EXPECT_EQ(at(cx + p.scale + dx, cy + dy), RGB(0, 0, 255));
      }
    EXPECT_EQ(at(cx, cy + p.scale), 0u);
    if (p.x > 0) {  // black around the picture
      EXPECT_EQ(at(p.x - 1, cy), 0u);
    }
    EXPECT_EQ(at(p.x, p.y), kBarColour);
  }
}

TEST_F(SdlWindowTest, AltEnterTogglesFullscreen) {
  Pump({Key(true, SDLK_RETURN, false, KMOD_LALT), Key(false, SDLK_RETURN, false, KMOD_LALT)});
  EXPECT_TRUE(window->IsFullscreen());
  Pump({Key(true, SDLK_RETURN, true, KMOD_LALT)});  // a repeat changes nothing
  EXPECT_TRUE(window->IsFullscreen());
  Pump({Key(true, SDLK_RETURN, false, KMOD_LALT)});
  EXPECT_FALSE(window->IsFullscreen());
}

TEST_F(SdlWindowTest, KeyRecordAsTheGamePollsIt) {
  // Events served before each poll of SPACE, and what each poll reads: 0,
  // P (pressed since the previous poll) or D (held down).
  enum Ev { Down, Up, Repeat, Lost, Gained };
  constexpr int P = 1, D = 0x8000;
  const struct {
    const char* name;
    std::vector<std::vector<Ev>> pumps;
    std::vector<int> reads;
  } scripts[] = {
      {"a tap between two polls is reported once", {{Down, Up}, {}, {}}, {P, 0, 0}},
      {"a held key reads down at every poll", {{Down}, {}, {Repeat}, {Up}, {}}, {D | P, D, D, 0, 0}},
      {"repeats set no new record", {{Down}, {Repeat, Repeat}, {Up}}, {D | P, D, 0}},
      {"a press without the keyboard does not count", {{Lost, Down, Up}, {Lost, Down}}, {0, 0}},
      {"losing the keyboard releases held keys and clears the record", {{Down}, {Up, Down, Lost}, {Gained}}, {D | P, 0, 0}},
      {"after regaining the keyboard a new press counts", {{Lost, Gained, Down, Up}}, {P}},
  };
  for (const auto& s : scripts) {
    SCOPED_TRACE(s.name);
    Pump({Window(SDL_WINDOWEVENT_FOCUS_GAINED)});
    window->GetAsyncKeyState(VK_SPACE);
    for (std::size_t i = 0; i < s.pumps.size(); ++i) {
      std::vector<SDL_Event> events;
      for (const Ev ev : s.pumps[i])
        events.push_back(ev == Lost     ? Window(SDL_WINDOWEVENT_FOCUS_LOST)
                         : ev == Gained ? Window(SDL_WINDOWEVENT_FOCUS_GAINED)
                                        : Key(ev != Up, SDLK_SPACE, ev == Repeat));
      Pump(events);
      EXPECT_EQ(static_cast<std::uint16_t>(window->GetAsyncKeyState(VK_SPACE)), s.reads[i]) << "poll " << i;
    }
    Pump({Key(false, SDLK_SPACE)});
  }
  // Each game key maps to its own code; codes out of range read as up.
  const std::pair<SDL_Keycode, int> keys[] = {
      {SDLK_LEFT, VK_LEFT}, {SDLK_RIGHT, VK_RIGHT}, {SDLK_SPACE, VK_SPACE}, {SDLK_DOWN, VK_DOWN}, {SDLK_ESCAPE, VK_ESCAPE}};
  for (const auto& [sym, vk] : keys) {
    Pump({Key(true, sym)});
    for (const auto& other : keys)
      if (other.second != vk) {
        EXPECT_EQ(window->GetAsyncKeyState(other.second), 0) << vk;
      }
    EXPECT_EQ(static_cast<std::uint16_t>(window->GetAsyncKeyState(vk)), 0x8001u);
    EXPECT_EQ(static_cast<std::uint16_t>(window->GetAsyncKeyState(vk)), 0x8000u);
    Pump({Key(false, sym)});
    EXPECT_EQ(window->GetAsyncKeyState(vk), 0);
  }
  for (int vk : {-1, 256, 100000}) EXPECT_EQ(window->GetAsyncKeyState(vk), 0);
}

TEST_F(SdlWindowTest, ClosingEndsTheProgramFromThePump) {
  for (const bool quit : {false, true}) {
    SCOPED_TRACE(quit ? "quit request" : "close box");
    if (!window) SetUp();
    SDL_Event e = Window(SDL_WINDOWEVENT_CLOSE);
    if (quit) e.type = SDL_QUIT;
    ASSERT_EQ(SDL_PushEvent(&e), 1);
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

TEST_F(SdlWindowTest, ClockWaitAndPresentsKeepTime) {
  // The clock starts positive and never runs back.
  std::int64_t last = window->timeGetTime();
  EXPECT_GE(last, 900);
  for (int i = 0; i < 1000; ++i) {
    const std::int64_t now = window->timeGetTime();
    ASSERT_GE(now, last);
    last = now;
  }
  // Wait keeps its rule; the wait's reading rests until the moment the
  // reading it waits for comes (scheduling may delay one try, not all).
  const auto started = Steady::now();
  Wait(30);
  EXPECT_GT(window->timeGetTime() - last, 30);
  EXPECT_LT(Steady::now() - started, std::chrono::seconds(2));
  int onTime = 0;
  for (int i = 0; i < 5; ++i) {
    const std::int64_t start = window->timeGetTime(), reading = window->WaitReading(i * 10);
    EXPECT_GT(reading, start + i * 10);
    onTime += reading == start + i * 10 + 1;
  }
  EXPECT_GE(onTime, 1);
  // Pumps never wait for the display; they show the canvas at most once per
  // refresh.
  const std::uint64_t shown = window->Presents();
  const auto pumped = Steady::now();
  for (int i = 0; i < 200; ++i) window->DoEvents();
  const auto refreshes = (Steady::now() - pumped) / window->RefreshPeriod();
  EXPECT_LE(window->Presents() - shown, static_cast<std::uint64_t>(refreshes) + 1);
  EXPECT_LT(window->Presents() - shown, 200u);
}

TEST_F(SdlWindowTest, ExeFolderIsTheProgramsFolder) {
  const std::string folder = window->ExeFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder.back(), '/');
  EXPECT_EQ(std::filesystem::canonical(folder), std::filesystem::canonical("/proc/self/exe").parent_path());
}

TEST(SdlVideoDriver, InvisibleDriversCountAsNoDisplay) {
  const struct {
    const char *driver, *requested;
    bool invisible;
  } cases[] = {
      {"x11", nullptr, false},     {"wayland", "", false},       {"offscreen", nullptr, true},
      {"dummy", "", true},         {"offscreen", "x11", true},   {"dummy", "dummy", false},
      {"offscreen", "x11,offscreen", false}, {"dummy", "DUMMY", false}, {nullptr, nullptr, true}, {"dummy", "dumm", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(IsInvisibleVideoDriver(c.driver, c.requested), c.invisible)
        << (c.driver ? c.driver : "null") << " / " << (c.requested ? c.requested : "null");
}

// The game started where no display can be reached: one line naming the
// cause on standard error, status 1, no hang.
TEST(SdlStartup, WithoutADisplayTheGameSaysWhyAndStops) {
  const std::filesystem::path game = std::filesystem::path(ZORVA_BINARY_DIR) / "zorva";
  const std::filesystem::path err = std::filesystem::temp_directory_path() / ("zorva-startup-" + std::to_string(getpid()));
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
