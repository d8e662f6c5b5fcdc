// The simulated window (keys, event pump, records) and the window's events.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/form.h"
#include "base_sim_main.h"

namespace zorva {
namespace {

constexpr int kDown = 0x8000;
constexpr int kPressed = 1;

// One step of a key script: P press, R release, T tap, Q poll (expecting
// `want`), D poll whose result is discarded.
struct Step {
  char op;
  int vk;
  int want = 0;
};

TEST(BaseKeys, PressedSincePreviousPollRecord) {
  struct Case {
    const char* name;
    std::vector<Step> steps;
  };
  const Case cases[] = {
      {"a tap between polls is reported once",
       {{'T', VK_SPACE}, {'Q', VK_SPACE, kPressed}, {'Q', VK_SPACE, 0}, {'Q', VK_SPACE, 0}}},
      {"a held key reads at every poll",
       {{'P', VK_LEFT},
        {'Q', VK_LEFT, kDown | kPressed},
        {'Q', VK_LEFT, kDown},
        {'Q', VK_LEFT, kDown},
        {'R', VK_LEFT},
        {'Q', VK_LEFT, 0}}},
      {"press and release between polls",
       {{'P', VK_RIGHT}, {'R', VK_RIGHT}, {'Q', VK_RIGHT, kPressed}, {'Q', VK_RIGHT, 0}}},
      {"press while already down sets no new record",
       {{'P', VK_SPACE}, {'Q', VK_SPACE, kDown | kPressed}, {'P', VK_SPACE}, {'Q', VK_SPACE, kDown}}},
      {"press again after a release",
       {{'P', VK_SPACE}, {'D', VK_SPACE}, {'R', VK_SPACE}, {'P', VK_SPACE}, {'Q', VK_SPACE, kDown | kPressed}}},
      {"a discarded poll clears the record",
       {{'T', VK_DOWN}, {'T', VK_ESCAPE}, {'D', VK_DOWN}, {'D', VK_ESCAPE}, {'Q', VK_DOWN, 0}, {'Q', VK_ESCAPE, 0}}},
      {"two taps between polls are one record", {{'T', VK_SPACE}, {'T', VK_SPACE}, {'Q', VK_SPACE, kPressed}, {'Q', VK_SPACE, 0}}},
      {"keys are separate",
       {{'T', VK_SPACE}, {'Q', VK_LEFT, 0}, {'Q', VK_RIGHT, 0}, {'P', VK_RIGHT}, {'Q', VK_SPACE, kPressed},
        {'Q', VK_RIGHT, kDown | kPressed}}},
      {"keys out of range are never down",
       {{'P', 0x125}, {'T', -1}, {'Q', VK_LEFT, 0}, {'Q', 0xFF, 0}, {'Q', 0x125, 0}, {'Q', -1, 0}, {'Q', 100000, 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimMain m;
    int n = 0;
    for (const Step& s : c.steps) {
      ++n;
      switch (s.op) {
        case 'P': m.sim.Press(s.vk); break;
        case 'R': m.sim.Release(s.vk); break;
        case 'T': m.sim.Tap(s.vk); break;
        case 'D': GetAsyncKeyState(s.vk); break;
        case 'Q': {
          const int got = static_cast<std::uint16_t>(GetAsyncKeyState(s.vk));
          EXPECT_EQ(got, s.want) << "step " << n;
          break;
        }
      }
    }
  }
}

TEST(BaseSimWindow, EventPumpMovesTheClockAndServesPendingEvents) {
  SimMain m(500, 9);
  EXPECT_EQ(timeGetTime(), 500);
  EXPECT_EQ(timeGetTime(), 500);  // reading the clock does not move it
  EXPECT_TRUE(m.sim.WaitChecked());
  m.sim.ClickWaitInNextPump();
  EXPECT_TRUE(m.sim.WaitChecked());  // nothing happens before the pump
  DoEvents();
  EXPECT_FALSE(m.sim.WaitChecked());
  EXPECT_EQ(timeGetTime(), 509);
  DoEvents();  // the click was served once
  EXPECT_FALSE(m.sim.WaitChecked());
  EXPECT_EQ(timeGetTime(), 518);
  EXPECT_EQ(m.sim.PumpCount(), 2);
  EXPECT_TRUE(m.sim.MciCommands().empty());

  bool closeSeen = false;
  m.sim.onClose = [&] { closeSeen = true; };
  m.sim.CloseInNextPump();
  EXPECT_FALSE(m.sim.Closed());
  try {
    DoEvents();
    ADD_FAILURE() << "closing the window must end the program";
  } catch (const ProgramEnded& e) {
    EXPECT_EQ(e.status, 0);
  }
  EXPECT_TRUE(m.sim.Closed());
  EXPECT_TRUE(closeSeen);
  EXPECT_EQ(m.sim.MciCommands(), std::vector<std::string>{"close MIDI notify"});
}

TEST(BaseSimWindow, SeedsAndSounds) {
  SimMain m(777);
  EXPECT_EQ(m.sim.TimerSeed(), 777u);  // without a base: the clock
  m.sim.SetSeedBase(40);
  EXPECT_EQ(m.sim.TimerSeed(), 41u);  // the second game
  EXPECT_EQ(m.sim.TimerSeed(), 42u);
  EXPECT_EQ(m.sim.GamesSeeded(), 3);

  sndPlaySoundA("no such folder/no such file.wav", SND_ASYNC | SND_NODEFAULT);
  ASSERT_EQ(m.sim.Sounds().size(), 1u);
  EXPECT_EQ(m.sim.Sounds()[0].file, "no such folder/no such file.wav");
  EXPECT_EQ(m.sim.Sounds()[0].flags, 3u);
  EXPECT_FALSE(m.sim.Sounds()[0].played);
}

TEST(BaseForm, WaitMenuItemToggles) {
  SimMain m;
  const bool want[] = {true, false, true, false, true};
  for (int clicks = 0; clicks < 5; ++clicks) {
    EXPECT_EQ(m.sim.WaitChecked(), want[clicks]) << clicks << " clicks";
    MENU002_Click();
  }
}

TEST(BaseForm, UnloadSendsTheCloseCommandAndEndsTheProgram) {
  SimMain m;
  EXPECT_THROW(Form_Unload(), ProgramEnded);
  EXPECT_TRUE(m.sim.Closed());
  EXPECT_EQ(m.sim.MciCommands(), std::vector<std::string>{"close MIDI notify"});
}

TEST(BaseForm, LoadPreparesTheSurfacesAndPaintsOnce) {
  // The window is shown only once the canvas, the buffer and the folder are
  // ready, and before the first paint.
  struct Watch : SimWindow {
    int shown = 0;
    float crtWidth = 0, bgWidth = 0;
    std::string path;
    int pumpsBefore = -1;
    void ShowMain() override {
      ++shown;
      crtWidth = Crt.ReadWidth();
      bgWidth = BG.ReadWidth();
      path = G.AppPath;
      pumpsBefore = PumpCount();
    }
  };
  {
    SimMain m;
    Watch w;
    w.SetExeFolder("here");
    w.CloseInNextPump();
    w.BG.SetOuterSize(0, 0);
    Main = &w;
    EXPECT_THROW(Form_Load(), ProgramEnded);
    Main = &m.sim;
    EXPECT_EQ(w.shown, 1);
    EXPECT_EQ(w.crtWidth, 324.0f);
    EXPECT_EQ(w.bgWidth, 324.0f);
    EXPECT_EQ(w.path, "here");
    EXPECT_EQ(w.pumpsBefore, 0);
  }
  SimMain m;
  m.sim.SetExeFolder("game folder/ゲーム");
  m.sim.Crt.SetOuterSize(100, 50);  // start-up sets the canvas size itself
  m.sim.BG.SetOuterSize(10, 10);
  m.sim.CloseInNextPump();  // closed at the first event pump
  EXPECT_THROW(Form_Load(), ProgramEnded);
  EXPECT_EQ(m.sim.PumpCount(), 1);
  EXPECT_EQ(G.AppPath, "game folder/ゲーム");
  for (const Surface* s : {&m.sim.Crt, &m.sim.BG}) {
    EXPECT_EQ(s->ReadWidth(), 324.0f);
    EXPECT_EQ(s->ReadHeight(), 324.0f);
    EXPECT_EQ(s->Width(), 320);
    EXPECT_EQ(s->Height(), 320);
  }
  EXPECT_TRUE(m.sim.WaitChecked());
  EXPECT_EQ(m.sim.MciCommands(), std::vector<std::string>{"close MIDI notify"});
}

TEST(BaseState, StartsAtZero) {
  G.PlayerX = 146;
  G.Score = 120;
  G.HiScore = 990;
  G.EnemyState[23] = 7;
  G.BulletDX[60] = 1.5f;
  G.ShotY[8] = 320;
  G.MarchNext = 123456789012;
  G.FrameTime = 31;
  G.TitleBlink = -1;
  G.AppPath = "x";
  ResetGameState();
  const GameState fresh{};
  EXPECT_EQ(G.PlayerX, 0.0);
  EXPECT_EQ(G.AppPath, "");
  auto zero = [](const auto& table) {
    for (const auto v : table)
      if (v != 0) return false;
    return true;
  };
  for (const GameState* s : {static_cast<const GameState*>(&G), &fresh}) {
    EXPECT_TRUE(zero(s->ShotX) && zero(s->ShotY) && zero(s->ShotActive));
    EXPECT_TRUE(zero(s->EnemyX) && zero(s->EnemyY) && zero(s->EnemyState));
    EXPECT_TRUE(zero(s->BlastSrcX) && zero(s->BlastSrcY));
    EXPECT_TRUE(zero(s->BulletActive) && zero(s->BulletX) && zero(s->BulletY) && zero(s->BulletDX) &&
                zero(s->BulletDY) && zero(s->BulletDrawX) && zero(s->BulletDrawY));
    const std::int64_t scalars[] = {s->PlayerY,     s->PlayerDead,    s->PlayerBlastFrame, s->GameOverShown,
                                    s->Score,       s->HiScore,       s->MarchDir,         s->MarchStep,
                                    s->MarchDrop,   s->MarchInterval, s->BulletTop,        s->KillCount,
                                    s->MarchNext,   s->MarchLast,     s->ShotNext,         s->ShotLast,
                                    s->BlastNext,   s->BlastLast,     s->FpsNext,          s->FpsLast,
                                    s->GameOverKeyAt, s->GameOverTimeoutAt, s->GameOverLast, s->WorkTime,
                                    s->FrameTime,   s->Fps,           s->ScrollY,          s->TitleBlink};
    EXPECT_TRUE(zero(scalars));
    EXPECT_EQ(s->BulletGrowth, 0.0f);
    EXPECT_EQ(s->AimLevel, 0.0f);
  }
}

}  // namespace
}  // namespace zorva
