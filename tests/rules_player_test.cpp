#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "rules/player.h"
#include "rules/shots.h"
#include "tests/rules_fixture.h"

namespace zorva::testing {
namespace {

class PlayerTest : public RulesTest {
 protected:
  // One game frame's worth of ship control, the clock 31 ms later each time.
  void Frame() {
    window.SetClock(window.Clock() + 31);
    MovePlayer();
  }
  // Opens the fire gate for the next call: a poll that did not act recorded a
  // time later than the next time.
  static void OpenFireGate() {
    G.ShotNext = 0;
    G.ShotLast = 1;
  }
  int ShotsInFlight() const {
    int n = 0;
    for (auto a : G.ShotActive) n += a == 1;
    return n;
  }
};

struct MoveCase {
  const char* name;
  double start;
  bool right, left;
  std::vector<double> expected;  // PlayerX after each frame
};

std::vector<double> Range(double from, double to, double step) {
  std::vector<double> v;
  for (double x = from; step > 0 ? x <= to : x >= to; x += step) v.push_back(x);
  return v;
}

std::vector<double> Then(std::vector<double> v, std::initializer_list<double> more) {
  v.insert(v.end(), more);
  return v;
}

TEST_F(PlayerTest, HeldKeysMoveTheShipWithinItsRange) {
  const MoveCase cases[] = {
      {"right from the start", 146, true, false, Then(Range(154, 282, 8), {288, 288})},
      {"left from the start", 146, false, true, Then(Range(138, 2, -8), {0, 0})},
      {"both keys cancel", 146, true, true, {146, 146, 146}},
      {"both keys at the right edge", 288, true, true, {280, 280, 280}},
      {"both keys just short of it", 282, true, true, {280, 280}},
      {"both keys at the left edge", 0, true, true, {0, 0}},
      {"left from the right edge", 288, false, true, {280, 272}},
      {"right from the left edge", 0, true, false, {8, 16}},
      {"no key", 146, false, false, {146, 146}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    G.PlayerX = c.start;
    if (c.right) window.Press(VK_RIGHT);
    if (c.left) window.Press(VK_LEFT);
    for (std::size_t k = 0; k < c.expected.size(); ++k) {
      Frame();
      ASSERT_EQ(G.PlayerX, c.expected[k]) << "frame " << k + 1;
    }
    window.Release(VK_RIGHT);
    window.Release(VK_LEFT);
    Frame();  // the closing polls of that frame forget the held keys
  }
}

TEST_F(PlayerTest, ATapBetweenFramesMovesOneStep) {
  const struct {
    int key;
    double expected;
  } cases[] = {{VK_RIGHT, 154}, {VK_LEFT, 138}};
  for (const auto& c : cases) {
    G.PlayerX = 146;
    window.Tap(c.key);
    Frame();
    EXPECT_EQ(G.PlayerX, c.expected);
    Frame();
    EXPECT_EQ(G.PlayerX, c.expected) << "the tap counts once";
  }
}

TEST_F(PlayerTest, HeldSpaceLaunchesOneShotPerGateOpening) {
  window.Press(VK_SPACE);
  std::vector<int> launchFrames;
  int before = 0;
  for (int f = 1; f <= 30; ++f) {
    Frame();
    const int now = ShotsInFlight();
    ASSERT_LE(now - before, 1) << "never two shots in one call";
    if (now > before) launchFrames.push_back(f);
    before = now;
  }
  // A fresh gate records its first poll and acts on the second; after that,
  // with frames 31 ms apart, every eighth frame (248 ms).
  EXPECT_EQ(launchFrames, (std::vector<int>{2, 10, 18, 26}));
  EXPECT_EQ(ShotsInFlight(), 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(G.ShotActive[i], 1) << "slot " << i;
}

TEST_F(PlayerTest, ALaunchTakesTheLowestFreeSlot) {
  const struct {
    std::vector<int> busy;
    int expected;  // -1: nothing launched
  } cases[] = {
      {{}, 0},
      {{1}, 0},
      {{0}, 1},
      {{0, 1}, 2},
      {{0, 2}, 1},
      {{0, 1, 2, 3, 4, 5, 6, 7}, 8},
      {{0, 1, 2, 3, 4, 5, 6, 7, 8}, -1},
  };
  window.Press(VK_SPACE);
  G.PlayerX = 202;
  for (const auto& c : cases) {
    G.ShotActive.fill(0);
    G.ShotY.fill(100);
    for (int b : c.busy) G.ShotActive[static_cast<std::size_t>(b)] = 1;
    OpenFireGate();
    window.SetClock(5000);
    FireShot();
    for (int i = 0; i < kShotSlots; ++i) {
      const bool busy = std::find(c.busy.begin(), c.busy.end(), i) != c.busy.end();
      EXPECT_EQ(G.ShotActive[i], busy || i == c.expected ? 1 : 0) << "slot " << i;
      if (i == c.expected) {
        EXPECT_EQ(G.ShotX[i], 202);
        EXPECT_EQ(G.ShotY[i], 288);
      } else {
        EXPECT_EQ(G.ShotY[i], 100) << "slot " << i << " untouched";
      }
    }
    EXPECT_EQ(G.ShotNext, 5200) << "re-armed whatever happened";
  }
}

TEST_F(PlayerTest, AnOpeningWithoutALaunchIsUsedUpAllTheSame) {
  const struct {
    const char* name;
    bool space;
    std::int16_t kills;
    bool full;
  } cases[] = {
      {"no SPACE", false, 0, false},
      {"wave finished", true, 24, false},
      {"all slots in use", true, 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    G.ShotActive.fill(c.full ? 1 : 0);
    G.KillCount = c.kills;
    if (c.space) window.Press(VK_SPACE);
    OpenFireGate();
    window.SetClock(7000);
    MovePlayer();
    EXPECT_EQ(ShotsInFlight(), c.full ? 9 : 0);
    EXPECT_EQ(G.ShotNext, 7200);
    EXPECT_EQ(G.ShotLast, 1) << "an acting poll keeps the last-poll time";
    // Now the gate is closed: holding SPACE for a while launches nothing
    // until the clock has passed 7200 and a poll has seen it.
    G.KillCount = 0;
    G.ShotActive.fill(0);
    window.Press(VK_SPACE);
    window.SetClock(7199);
    MovePlayer();
    window.SetClock(7200);
    MovePlayer();
    EXPECT_EQ(ShotsInFlight(), 0);
    window.SetClock(7201);
    MovePlayer();  // records 7201, past the next time
    EXPECT_EQ(ShotsInFlight(), 0);
    MovePlayer();
    EXPECT_EQ(ShotsInFlight(), 1);
    window.Release(VK_SPACE);
    MovePlayer();
  }
}

TEST_F(PlayerTest, ASpaceTapIsRememberedForOneFrameOnly) {
  const struct {
    const char* name;
    bool tapBeforeClosedFrame;
    int expectedShots;
  } cases[] = {
      {"tap just before the opening frame", false, 1},
      {"tap a frame earlier is forgotten", true, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    G.ShotActive.fill(0);
    G.ShotNext = 10000;
    G.ShotLast = 0;
    window.SetClock(10001);
    if (c.tapBeforeClosedFrame) window.Tap(VK_SPACE);
    MovePlayer();  // gate closed: records 10001, past the next time
    EXPECT_EQ(ShotsInFlight(), 0);
    if (!c.tapBeforeClosedFrame) window.Tap(VK_SPACE);
    MovePlayer();  // opens
    EXPECT_EQ(ShotsInFlight(), c.expectedShots);
  }
}

TEST_F(PlayerTest, ANewShotLeavesFromTheMovedShipAndIsFirstDrawnAt282) {
  PatternSheet();
  G.PlayerX = 146;
  window.Press(VK_RIGHT);
  window.Press(VK_SPACE);
  OpenFireGate();
  MovePlayer();
  UpdateShotsAndBullets();
  EXPECT_EQ(G.ShotActive[0], 1);
  EXPECT_EQ(G.ShotX[0], 154);
  EXPECT_EQ(G.ShotY[0], 282);
  EXPECT_TRUE(CellDrawnAt(154, 282, 32, 0));
}

}  // namespace
}  // namespace zorva::testing
