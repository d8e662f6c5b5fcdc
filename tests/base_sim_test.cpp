// The simulated window (keys, event pump, records), the window's events and
// the game's state at program start.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "flow/form.h"
#include "tests/base_sim_main.h"

namespace zorva {
namespace {

const std::vector<std::string> kClosed = {"close MIDI notify"};

TEST(BaseKeys, PressedSincePreviousPollRecord) {
  // P press, R release, T tap, Q poll expecting `want`, D poll discarded.
  struct Step {
    char op;
    int vk, want = 0;
  };
  constexpr int D = 0x8000, P = 1;
  const struct {
    const char* name;
    std::vector<Step> steps;
  } cases[] = {
      {"a tap between polls is reported once", {{'T', VK_SPACE}, {'Q', VK_SPACE, P}, {'Q', VK_SPACE}, {'Q', VK_SPACE}}},
      {"a held key reads at every poll",
       {{'P', VK_LEFT}, {'Q', VK_LEFT, D | P}, {'Q', VK_LEFT, D}, {'Q', VK_LEFT, D}, {'R', VK_LEFT}, {'Q', VK_LEFT}}},
      {"press and release between polls", {{'P', VK_RIGHT}, {'R', VK_RIGHT}, {'Q', VK_RIGHT, P}, {'Q', VK_RIGHT}}},
      {"press while down sets no new record", {{'P', VK_SPACE}, {'Q', VK_SPACE, D | P}, {'P', VK_SPACE}, {'Q', VK_SPACE, D}}},
      {"press again after a release",
       {{'P', VK_SPACE}, {'D', VK_SPACE}, {'R', VK_SPACE}, {'P', VK_SPACE}, {'Q', VK_SPACE, D | P}}},
      {"a discarded poll clears the record",
       {{'T', VK_DOWN}, {'T', VK_ESCAPE}, {'D', VK_DOWN}, {'D', VK_ESCAPE}, {'Q', VK_DOWN}, {'Q', VK_ESCAPE}}},
      {"two taps between polls are one record", {{'T', VK_SPACE}, {'T', VK_SPACE}, {'Q', VK_SPACE, P}, {'Q', VK_SPACE}}},
      {"keys are separate",
       {{'T', VK_SPACE}, {'Q', VK_LEFT}, {'P', VK_RIGHT}, {'Q', VK_SPACE, P}, {'Q', VK_RIGHT, D | P}}},
      {"codes out of range are never down",
       {{'P', 0x125}, {'T', -1}, {'Q', 0xFF}, {'Q', 0x125}, {'Q', -1}, {'Q', 100000}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimMain m;
    int n = 0;
    for (const Step& s : c.steps) {
      ++n;
      if (s.op == 'P') m.sim.Press(s.vk);
      if (s.op == 'R') m.sim.Release(s.vk);
      if (s.op == 'T') m.sim.Tap(s.vk);
      const int got = s.op == 'Q' || s.op == 'D' ? static_cast<std::uint16_t>(GetAsyncKeyState(s.vk)) : 0;
      if (s.op == 'Q') {
        EXPECT_EQ(got, s.want) << "step " << n;
      }
    }
  }
}

TEST(BaseSimWindow, EventPumpMovesTheClockAndServesPendingEvents) {
  SimMain m(500, 9);
  EXPECT_EQ(timeGetTime(), 500);
  EXPECT_EQ(timeGetTime(), 500);  // reading the clock does not move it
  m.sim.ClickWaitInNextPump();
  EXPECT_TRUE(m.sim.WaitChecked());  // nothing happens before the pump
  DoEvents();
  EXPECT_FALSE(m.sim.WaitChecked());
  EXPECT_EQ(timeGetTime(), 509);
  DoEvents();  // the click was served once
  EXPECT_FALSE(m.sim.WaitChecked());
  EXPECT_EQ(timeGetTime(), 518);
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
  EXPECT_TRUE(m.sim.Closed() && closeSeen);
  EXPECT_EQ(m.sim.MciCommands(), kClosed);
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

TEST(BaseForm, WaitItemTogglesAndUnloadEndsTheProgram) {
  SimMain m;
  for (const bool want : {true, false, true, false}) {
    EXPECT_EQ(m.sim.WaitChecked(), want);
    MENU002_Click();
  }
  EXPECT_THROW(Form_Unload(), ProgramEnded);
  EXPECT_TRUE(m.sim.Closed());
  EXPECT_EQ(m.sim.MciCommands(), kClosed);
}

TEST(BaseForm, LoadPreparesTheSurfacesBeforeShowingAndPaintsOnce) {
  // What the window saw when it was shown.
  struct Watch : SimWindow {
    int shown = 0, pumpsBefore = -1;
    float crtWidth = 0, bgWidth = 0;
    std::string path;
    void ShowMain() override {
      ++shown;
      crtWidth = Crt.ReadWidth();
      bgWidth = BG.ReadWidth();
      path = G.AppPath;
      pumpsBefore = PumpCount();
    }
  };
  SimMain m;
  Watch w;
  w.SetExeFolder("game folder/ゲーム");
  w.Crt.SetOuterSize(100, 50);  // start-up sets the sizes itself
  w.BG.SetOuterSize(0, 0);
  w.CloseInNextPump();  // closed at the first event pump
  Main = &w;
  EXPECT_THROW(Form_Load(), ProgramEnded);
  Main = &m.sim;
  EXPECT_EQ(w.shown, 1);
  EXPECT_EQ(w.pumpsBefore, 0);
  EXPECT_EQ(w.crtWidth, 324.0f);
  EXPECT_EQ(w.bgWidth, 324.0f);
  EXPECT_EQ(w.path, "game folder/ゲーム");
  EXPECT_EQ(w.PumpCount(), 1);
  for (const Surface* s : {&w.Crt, &w.BG}) {
    EXPECT_EQ(s->ReadHeight(), 324.0f);
    EXPECT_EQ(s->Width(), 320);
    EXPECT_EQ(s->Height(), 320);
  }
  EXPECT_TRUE(w.WaitChecked());
  EXPECT_EQ(w.MciCommands(), kClosed);
}

TEST(BaseState, ResetPutsEveryVariableBackToZero) {
  G.PlayerX = 146;
  G.Score = 120;
  G.HiScore = 990;
  G.EnemyState[23] = 7;
  G.BulletDX[60] = 1.5f;
  G.ShotY[8] = 320;
  G.MarchNext = 123456789012;
  G.AimLevel = 2.5f;
  G.TitleBlink = -1;
  G.AppPath = "x";
  ResetGameState();
  EXPECT_EQ(G.PlayerX, 0.0);
  EXPECT_EQ(G.Score + G.HiScore + G.EnemyState[23] + G.ShotY[8] + G.TitleBlink, 0);
  EXPECT_EQ(G.BulletDX[60], 0.0f);
  EXPECT_EQ(G.AimLevel, 0.0f);
  EXPECT_EQ(G.MarchNext, 0);
  EXPECT_EQ(G.AppPath, "");
}

}  // namespace
}  // namespace zorva
