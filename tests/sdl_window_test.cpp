// The SDL window on SDL's dummy video driver, fed with SDL events: the key
// record as the game polls it, a click at twice the size, Alt+Enter, the
// close, the clock, the wait and the presents; a poll that reads the keys as
// they are now; and the start without any display.
#include "sdl/sdl_window.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <tuple>

#include "base/clock.h"
#include "tests/file_support.h"

namespace zorva {
namespace {

struct SdlWindowTest : ::testing::Test {
  std::unique_ptr<SdlWindow> window;
  void SetUp() override {
    window = std::make_unique<SdlWindow>(), Main = window.get(), window->ShowMain();
    Pump({Window(SDL_WINDOWEVENT_FOCUS_GAINED)});
  }
  void TearDown() override { Main = nullptr, window.reset(); }
  void Pump(const std::vector<SDL_Event>& events) {  // one event pump serves them all
    for (SDL_Event e : events) ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError();
    window->DoEvents();
  }
  SDL_Event Window(int what) const {
    SDL_Event e{};
    e.window = {SDL_WINDOWEVENT, 0, SDL_GetWindowID(window->Handle()), static_cast<Uint8>(what), 0, 0, 0, 0, 0};
    return e;
  }
  SDL_Event Key(bool down, SDL_Keycode key, bool repeat = false, Uint16 mod = KMOD_NONE) const {
    SDL_Event e{};
    e.key = {down ? SDL_KEYDOWN : SDL_KEYUP, 0, SDL_GetWindowID(window->Handle()), down, repeat, 0, 0, {{}, key, mod, 0}};
    return e;
  }
  SDL_Event Button(bool down, int x, int y) const {
    SDL_Event e{};
    e.button = {down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP, 0, SDL_GetWindowID(window->Handle()), 0, SDL_BUTTON_LEFT, down, 1, 0, x, y};
    return e;
  }
};

TEST_F(SdlWindowTest, TheKeyRecordIsWhatTheGamePollsAndOnlyPressesWithTheKeyboardCount) {
  // Events served before each poll of SPACE, and what each poll reads: 0, P (pressed since the previous poll) or D (held down).
  enum Ev { Down, Up, Repeat, Lost, Gained };
  constexpr int P = 1, D = 0x8000;
  const struct { const char* name; std::vector<std::vector<Ev>> pumps; std::vector<int> reads; } scripts[] = {
      {"a tap between two polls is reported once", {{Down, Up}, {}, {}}, {P, 0, 0}},
      {"a held key reads down at every poll", {{Down}, {}, {Repeat}, {Up}, {}}, {D | P, D, D, 0, 0}},
      {"repeats set no new record", {{Down}, {Repeat, Repeat}, {Up}}, {D | P, D, 0}},
      {"a press without the keyboard does not count", {{Lost, Down, Up}, {Lost, Down}}, {0, 0}},
      {"losing the keyboard releases held keys and clears the record", {{Down}, {Up, Down, Lost}, {Gained}}, {D | P, 0, 0}},
      {"after regaining the keyboard a new press counts", {{Lost, Gained, Down, Up}}, {P}},
      {"a key held on while the keyboard was away comes back up; its repeats add nothing", {{Down}, {Lost, Gained, Repeat}}, {D | P, 0}}};
  for (const auto& s : scripts) {
    Pump({Window(SDL_WINDOWEVENT_FOCUS_GAINED)}), window->GetAsyncKeyState(VK_SPACE);
    for (std::size_t i = 0; i < s.pumps.size(); ++i) {
      std::vector<SDL_Event> events;
      for (const Ev ev : s.pumps[i])
        events.push_back(ev >= Lost ? Window(ev == Lost ? SDL_WINDOWEVENT_FOCUS_LOST : SDL_WINDOWEVENT_FOCUS_GAINED)
                                    : Key(ev != Up, SDLK_SPACE, ev == Repeat));
      Pump(events);
      EXPECT_EQ(static_cast<std::uint16_t>(window->GetAsyncKeyState(VK_SPACE)), s.reads[i]) << s.name << ", poll " << i;
    }
    Pump({Key(false, SDLK_SPACE)});
  }
  // Anything out of range reads as up.
  for (int vk : {-1, 256}) EXPECT_EQ(window->GetAsyncKeyState(vk), 0);
}

TEST_F(SdlWindowTest, APollReadsTheKeysAsTheyAreNowAndLeavesTheMenuAndTheCloseToThePump) {
  // Events pushed while the game waits (the keyboard away before or not); what the next poll of SPACE reads, before
  // any pump, and after the pump (-1: the pump ends the program).
  enum Ev { Down, Lost, Gained, Click, Close };
  constexpr int P = 1, D = 0x8000;
  const struct { const char* name; bool away; std::vector<Ev> during; int poll, afterPump; } cases[] = {
      {"a press during the wait is seen at once", false, {Down}, D | P, D},
      {"a press after the keyboard left waits for the pump, which drops it", false, {Lost, Down}, 0, 0},
      {"a press after the keyboard came back waits for the pump, which counts it", true, {Gained, Down}, 0, D | P},
      {"a click on WAIT and the close are the pump's, in their order", false, {Down, Click, Close}, D | P, -1}};
  const auto push = [](SDL_Event e) { ASSERT_EQ(SDL_PushEvent(&e), 1); };
  for (const auto& c : cases) {
    Pump({Key(false, SDLK_SPACE), Window(c.away ? SDL_WINDOWEVENT_FOCUS_LOST : SDL_WINDOWEVENT_FOCUS_GAINED)});
    window->GetAsyncKeyState(VK_SPACE);
    for (const Ev ev : c.during) {
      if (ev == Down) push(Key(true, SDLK_SPACE));
      if (ev == Lost || ev == Gained) push(Window(ev == Lost ? SDL_WINDOWEVENT_FOCUS_LOST : SDL_WINDOWEVENT_FOCUS_GAINED));
      if (ev == Close) push(Window(SDL_WINDOWEVENT_CLOSE));
      if (ev == Click)
        for (const auto& [x, y] : {std::pair{12, 10}, std::pair{40, 30}}) push(Button(true, x, y)), push(Button(false, x, y));  // OPTION, WAIT
    }
    Wait(3);
    std::int16_t read = 0;
    EXPECT_NO_THROW(read = window->GetAsyncKeyState(VK_SPACE)) << c.name;
    EXPECT_EQ(V(static_cast<std::uint16_t>(read), window->WaitChecked()), V(c.poll, 1)) << c.name;
    if (c.afterPump < 0) {
      EXPECT_THROW(window->DoEvents(), ProgramEnded) << c.name;
      EXPECT_FALSE(window->WaitChecked()) << c.name;
    } else {
      window->DoEvents();
      EXPECT_EQ(static_cast<std::uint16_t>(window->GetAsyncKeyState(VK_SPACE)), c.afterPump) << c.name;
    }
  }
}

TEST_F(SdlWindowTest, AClickAtTwiceTheSizeReachesTheMenuAndAltEnterTogglesFullscreenButNotOnRepeats) {
  SDL_SetWindowSize(window->Handle(), 648, 688), window->DoEvents();
  ASSERT_EQ(window->CurrentPlacement().scale, 2);
  for (const auto& [x, y] : {std::pair{24, 20}, std::pair{80, 60}}) Pump({Button(true, x, y), Button(false, x, y)});  // OPTION, WAIT
  EXPECT_FALSE(window->Menu().IsOpen() || window->WaitChecked());
  for (const auto& [repeat, fullscreen] : {std::pair{false, true}, std::pair{true, true}, std::pair{false, false}}) {
    Pump({Key(true, SDLK_RETURN, repeat, KMOD_LALT), Key(false, SDLK_RETURN, false, KMOD_LALT)});
    EXPECT_EQ(window->IsFullscreen(), fullscreen);
  }
}

TEST_F(SdlWindowTest, ClosingEndsTheProgramFromTheEventPump) {
  for (const Uint32 type : {Uint32{SDL_WINDOWEVENT}, Uint32{SDL_QUIT}}) {
    if (!window->Handle()) SetUp();
    SDL_Event e = Window(SDL_WINDOWEVENT_CLOSE);
    e.type = type;
    ASSERT_EQ(SDL_PushEvent(&e), 1);
    EXPECT_THROW(window->DoEvents(), ProgramEnded);
    EXPECT_VALUES(V(window->Handle() == nullptr, SDL_WasInit(SDL_INIT_VIDEO)), V(1, 0));
    window->DoEvents();  // nothing left to serve, and no harm
  }
}

TEST_F(SdlWindowTest, TheWaitKeepsItsRuleAndPumpsShowTheCanvasAtMostOncePerRefresh) {
  // The clock starts positive and never runs back.
  std::int64_t last = window->timeGetTime();
  EXPECT_GE(last, 900);
  for (int i = 0; i < 1000; ++i) {
    const std::int64_t now = window->timeGetTime();
    ASSERT_GE(now, last);
    last = now;
  }
  Wait(30);
  EXPECT_GT(window->timeGetTime() - last, 30);
  // The wait's reading is past the count (how punctually it wakes is measured
  // by the frame log of `make bench-window`, not here).
  for (int i = 0; i < 5; ++i) {
    const std::int64_t start = window->timeGetTime();
    EXPECT_GT(window->WaitReading(i * 10), start + i * 10);
  }
  const std::uint64_t shown = window->Presents();
  const auto pumped = std::chrono::steady_clock::now();
  for (int i = 0; i < 200; ++i) window->DoEvents();
  const auto refreshes = (std::chrono::steady_clock::now() - pumped) / window->RefreshPeriod();
  EXPECT_LE(window->Presents() - shown, static_cast<std::uint64_t>(refreshes) + 1);
}

TEST(SdlStartup, WithoutADisplayTheGameSaysWhyInOneLineAndStops) {
  // The video driver SDL settled on and the ones asked for: no display, unless asked for by name.
  EXPECT_VALUES(V(IsInvisibleVideoDriver("x11", nullptr), IsInvisibleVideoDriver("offscreen", "x11"), IsInvisibleVideoDriver(nullptr, nullptr),
              IsInvisibleVideoDriver("offscreen", "x11,offscreen"), IsInvisibleVideoDriver("dummy", "DUMMY"),
              IsInvisibleVideoDriver("dummy", "dumm")),
            V(0, 1, 1, 0, 0, 1));
  TempDir dir("startup");
  const int status = std::system(("env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER SDL_AUDIODRIVER=dummy timeout 30 '" ZORVA_BINARY_DIR "/zorva' >/dev/null 2>'" +
                                  (dir.path / "err").string() + "'").c_str());
  const Bytes err = ReadBytes(dir.path / "err");
  const std::string text(err.begin(), err.end());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
  EXPECT_VALUES(V(text.rfind("zorva: no display", 0), std::count(text.begin(), text.end(), '\n')), V(0, 1)) << text;
}

// The frame log never blocks: a FIFO nobody reads is refused, and a folder; a reader gone or a full device ends with status 1.
TEST(SdlFrameLog, NeverBlocksAndAFailedWriteEndsWithStatusOne) {
  const TempDir dir("framelog");
  const std::string fifo = (dir.path / "fifo").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  enum Reader { None, Stops, Leaves };
  // The start's message; how many passes log before one fails (-1: none fails).
  const std::tuple<std::string, Reader, std::string, int> cases[] = {
      {fifo, None, "cannot write the frame log " + fifo + ": a FIFO that nobody reads", 0},
      {fifo, Stops, "", -1}, {fifo, Leaves, "", 10}, {"/dev/full", None, "", 0},
      {dir.path.string(), None, "cannot write the frame log " + dir.path.string() + ": a directory", 0}};
  for (const auto& [path, reader, refused, passes] : cases) {
    const int end = reader == None ? -1 : ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
    WindowOptions options{.frameLog = path};
    std::unique_ptr<SdlWindow> window;
    std::string why;  // the start's message
    try { window = std::make_unique<SdlWindow>(options); } catch (const StartupError& e) { why = e.what(); }
    EXPECT_EQ(why, refused);
    if (!window) continue;
    int status = -1, pass = 0;
    try {
      for (; pass < 20000; ++pass) (pass == 10 && reader == Leaves ? ::close(end) : 0), window->PassEnds(false);  // > a pipe
    } catch (const ProgramEnded& e) {
      status = e.status;
    }
    EXPECT_EQ(std::pair(status, pass), std::pair(passes < 0 ? -1 : 1, passes < 0 ? 20000 : passes)) << path;
    EXPECT_EQ(window->FrameLogFailed(), passes >= 0);
    if (reader == Stops) ::close(end);
  }
}

}  // namespace
}  // namespace zorva
