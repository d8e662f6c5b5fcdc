// The desktop windows' one policy, on a window of the test's own with a clock
// it sets: when the canvas is shown for the title, an unpaced and a paced game
// and a playback, where the pacing wait ends, how often a key poll looks at
// the keyboard, and the frame log, which never blocks and ends the program
// with one sentence when a write fails.
#include "frame/desktop_window.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <tuple>
#include <vector>

#include "rules/state.h"
#include "tests/file_support.h"

namespace zorva {
namespace {

struct TestDesktop : DesktopWindow {
  explicit TestDesktop(const std::string& log = {}) : DesktopWindow({.frameLog = log}) { SetRefreshMicros(16000); }
  std::int64_t now = 0;                       // µs
  std::vector<std::pair<std::int64_t, bool>> shown;  // when, and whether in step with the display
  int keysServed = 0;
  std::int64_t Micros() const override { return now; }
  void SleepUntil(std::int64_t micros) override { now = std::max(now, micros); }
  void ServeKeys() override { ++keysServed; }
  void ServeEvents() override {}
  void Present(bool synced) override { shown.emplace_back(now, synced); }
  bool IsOpen() const override { return true; }
  const MenuBar& ShownMenu() const override { return menu; }
  bool StopRequested() override { return false; }
  void Alert(const std::string&) override {}
  void sndPlaySoundA(const std::string&, unsigned) override {}
  void mciSendStringA(const std::string&) override {}
  std::string ProgramFolder() override { return "."; }
  void ShowMain() override {}
  std::uint64_t NewSeed() override { return 1; }
  MenuBar menu;
};

// A playback's tap: answers as the platform does.
struct Playback : InputTap {
  bool PlaysBack() const override { return true; }
  std::uint64_t Seed(std::uint64_t a, std::int64_t) override { return a; }
  std::int64_t Clock(std::int64_t a, bool) override { return a; }
  std::int16_t Key(std::int16_t a) override { return a; }
  void Pumped() override {}
  void Closed(std::int64_t) override {}
};

TEST(DesktopWindow, ShowsAtMostOncePerRefreshAndAPacedGameFrameFromItsWait) {
  // A pass: its event pump at `pump` µs, then (for `wait` > 0) the pacing wait
  // for so many ms, which ends one ms past them.
  struct Pass {
    std::int64_t pump, wait;
  };
  using Shows = std::vector<std::pair<std::int64_t, bool>>;
  const struct {
    const char* what;
    Loop loop;
    bool waitChecked, playback;
    std::vector<Pass> passes;
    Shows shown;
  } cases[] = {
      {"the title, unpaced", Loop::Title, true, false, {{0, 0}, {5000, 0}, {15999, 0}, {16000, 0}, {20000, 0}, {33000, 0}},
       {{0, false}, {16000, false}, {33000, false}}},
      {"an unpaced game", Loop::Game, false, false, {{0, 0}, {8000, 0}, {17000, 0}}, {{0, false}, {17000, false}}},
      // Composed by the pump, shown from the wait: in step with the display when a refresh and 2 ms fit.
      {"a paced game", Loop::Game, true, false, {{0, 25}, {26000, 5}, {58000, 20}}, {{0, true}, {26000, false}, {58000, true}}},
      // A playback paces itself, asking the platform nothing: its frames are shown from the pump.
      {"a playback, paced", Loop::Game, true, true, {{0, 0}, {26000, 0}}, {{0, false}, {26000, false}}},
  };
  for (const auto& c : cases) {
    TestDesktop window;
    Playback tap;
    if (c.playback) window.SetInputTap(&tap);
    window.SetWaitChecked(c.waitChecked);
    for (const Pass& pass : c.passes) {
      window.now = std::max(window.now, pass.pump);
      window.PassBegins(c.loop);
      window.DoEvents();
      if (pass.wait > 0) {
        const std::int64_t start = window.timeGetTime();
        EXPECT_EQ(window.WaitReading(pass.wait), start + pass.wait + 1) << c.what;
      }
      window.PassEnds(false);
    }
    EXPECT_EQ(window.shown, c.shown) << c.what;
    EXPECT_EQ(window.Presents(), c.shown.size()) << c.what;
  }
}

TEST(DesktopWindow, AKeyPollLooksAtTheKeyboardAtMostOnceAMillisecond) {
  TestDesktop window;
  for (const std::int64_t at : {0, 10, 999, 1000, 1500, 2000, 2001, 5000}) window.now = at, window.GetAsyncKeyState(VK_SPACE);
  EXPECT_EQ(window.keysServed, 4);  // at 1000, 2000 and 5000, and at 0 (the first look)
}

// The frame log never blocks: a FIFO nobody reads is refused; a reader gone or a full device ends with status 1.
TEST(DesktopWindow, TheFrameLogNeverBlocksAndAFailedWriteEndsWithStatusOneAndASentence) {
  const TempDir dir("framelog");
  const std::string fifo = (dir.path / "fifo").string(), file = (dir.path / "log").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  enum Reader { None, Stops, Leaves };
  // The start's message; how many passes log before one fails (-1: none fails).
  const std::tuple<std::string, Reader, std::string, int> cases[] = {
      {fifo, None, "cannot write the frame log " + fifo + ": a FIFO that nobody reads", 0},
      {fifo, Stops, "", -1}, {fifo, Leaves, "", 10}, {"/dev/full", None, "", 0}, {file, None, "", -1},
      {dir.path.string(), None, "cannot write the frame log " + dir.path.string() + ": a directory", 0}};
  G = GameState{};
  std::string hash;  // of the canvas the file's log was written with
  for (const auto& [path, reader, refused, passes] : cases) {
    const int end = reader == None ? -1 : ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
    std::unique_ptr<TestDesktop> window;
    std::string why;  // the start's message
    try { window = std::make_unique<TestDesktop>(path); } catch (const StartupError& e) { why = e.what(); }
    EXPECT_EQ(why, refused);
    if (!window) continue;
    char h[24];
    std::snprintf(h, sizeof h, "%016llx", static_cast<unsigned long long>(CanvasHash(window->Crt)));
    if (path == file) hash = h;
    int status = -1, pass = 0;
    try {
      for (; pass < 20000; ++pass) (pass == 10 && reader == Leaves ? ::close(end) : 0), window->PassEnds(false);  // > a pipe
    } catch (const ProgramEnded& e) {
      status = e.status;
    }
    EXPECT_EQ(std::pair(status, pass), std::pair(passes < 0 ? -1 : 1, passes < 0 ? 20000 : passes)) << path;
    EXPECT_EQ(window->FrameLogError().rfind("cannot write the frame log " + path + ": ", 0), passes < 0 ? std::string::npos : 0u);
    if (reader == Stops) ::close(end);
  }
  // The lines: the first with the canvas's hash, a game frame with its WorkTime.
  const Bytes log = ReadBytes(file);
  const std::string text(log.begin(), log.end());
  EXPECT_EQ(text.substr(0, text.find('\n', text.find('\n') + 1) + 1),
            "title 0 - 0 1 " + hash + "\ntitle 0 - 0 1\n");
}

}  // namespace
}  // namespace zorva
