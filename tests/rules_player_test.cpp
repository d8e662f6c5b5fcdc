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
  // Polls at `t`; the fire gate was left open by an earlier poll past its time.
  void PollOpenGateAt(std::int64_t t) {
    G.ShotNext = 0;
    G.ShotLast = 1;
    window.SetClock(t);
    MovePlayer();
  }
  static int ShotsInFlight() {
    int n = 0;
    for (auto a : G.ShotActive) n += a == 1;
    return n;
  }
};

TEST_F(PlayerTest, KeysMoveTheShipWithinItsRange) {
  std::vector<double> right, left;
  for (int x = 154; x <= 282; x += 8) right.push_back(x);
  for (int x = 138; x >= 2; x -= 8) left.push_back(x);
  right.insert(right.end(), {288, 288});
  left.insert(left.end(), {0, 0});
  const struct {
    double start;
    bool right, left, tap;
    std::vector<double> expected;  // PlayerX after each frame
  } cases[] = {
      {146, true, false, false, right},        {146, false, true, false, left},
      {146, true, true, false, {146, 146}},    {288, true, true, false, {280, 280, 280}},
      {282, true, true, false, {280, 280}},    {0, true, true, false, {0, 0}},
      {288, false, true, false, {280, 272}},   {0, true, false, false, {8, 16}},
      {146, false, false, false, {146, 146}},  {146, true, false, true, {154, 154}},  // a tap moves one step
      {146, false, true, true, {138, 138}},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(++n);
    G.PlayerX = c.start;
    for (const auto& [key, on] : {std::pair{VK_RIGHT, c.right}, std::pair{VK_LEFT, c.left}}) {
      if (on) c.tap ? window.Tap(key) : window.Press(key);
    }
    for (std::size_t k = 0; k < c.expected.size(); ++k) {
      Frame();
      ASSERT_EQ(G.PlayerX, c.expected[k]) << "frame " << k + 1;
    }
    window.Release(VK_RIGHT);
    window.Release(VK_LEFT);
    Frame();  // the polls of that frame forget the held keys
  }
}

TEST_F(PlayerTest, HeldSpaceLaunchesOneShotPerGateOpening) {
  window.Press(VK_SPACE);
  std::vector<int> launchFrames;
  for (int f = 1, before = 0; f <= 30; ++f, before = ShotsInFlight()) {
    Frame();
    ASSERT_LE(ShotsInFlight() - before, 1);
    if (ShotsInFlight() > before) launchFrames.push_back(f);
  }
  EXPECT_EQ(launchFrames, (std::vector<int>{2, 10, 18, 26}));  // 200 ms: every eighth 31 ms frame
}

TEST_F(PlayerTest, ALaunchTakesTheLowestFreeSlotAndReArmsTheGateWhateverHappens) {
  const struct {
    std::vector<int> busy;
    int expected;  // -1: nothing launched
    bool space = true;
    std::int16_t kills = 0;
  } cases[] = {
      {{}, 0}, {{1}, 0}, {{0}, 1}, {{0, 1}, 2}, {{0, 2}, 1}, {{0, 1, 2, 3, 4, 5, 6, 7}, 8},
      {{0, 1, 2, 3, 4, 5, 6, 7, 8}, -1}, {{}, -1, false}, {{}, -1, true, 24},  // no SPACE; wave finished
  };
  G.PlayerX = 202;
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.busy.size() << " busy, expecting " << c.expected);
    G.ShotActive.fill(0);
    G.ShotY.fill(100);
    for (int b : c.busy) G.ShotActive[static_cast<std::size_t>(b)] = 1;
    G.KillCount = c.kills;
    c.space ? window.Press(VK_SPACE) : window.Release(VK_SPACE);
    PollOpenGateAt(5000);
    for (int i = 0; i < kShotSlots; ++i) {
      const bool busy = std::find(c.busy.begin(), c.busy.end(), i) != c.busy.end();
      EXPECT_EQ(G.ShotActive[i], busy || i == c.expected ? 1 : 0) << "slot " << i;
      EXPECT_EQ(G.ShotY[i], i == c.expected ? 288 : 100) << "slot " << i;
      if (i == c.expected) {
        EXPECT_EQ(G.ShotX[i], 202);
      }
    }
    EXPECT_EQ(G.ShotNext, 5200);
    EXPECT_EQ(G.ShotLast, 1);  // an acting poll keeps the last-poll time
    // Closed now: SPACE launches nothing until a poll has seen 5201.
    G.KillCount = 0;
    G.ShotActive.fill(0);
    window.Press(VK_SPACE);
    for (const std::int64_t t : {5199, 5200, 5201}) {
      window.SetClock(t);
      MovePlayer();
    }
    EXPECT_EQ(ShotsInFlight(), 0);
    MovePlayer();
    EXPECT_EQ(ShotsInFlight(), 1);
  }
}

TEST_F(PlayerTest, ASpaceTapIsRememberedForOneFrameOnly) {
  for (const bool tapEarly : {false, true}) {
    G.ShotActive.fill(0);
    G.ShotNext = 10000;
    G.ShotLast = 0;
    window.SetClock(10001);
    if (tapEarly) window.Tap(VK_SPACE);
    MovePlayer();  // closed: records 10001, past the next time
    if (!tapEarly) window.Tap(VK_SPACE);
    MovePlayer();  // opens
    EXPECT_EQ(ShotsInFlight(), tapEarly ? 0 : 1);
  }
}

TEST_F(PlayerTest, ANewShotLeavesFromTheMovedShipAndIsFirstDrawnAt282) {
  PatternSheet();
  window.Press(VK_RIGHT);
  window.Press(VK_SPACE);
  PollOpenGateAt(1000);
  UpdateShotsAndBullets();
  EXPECT_EQ(G.ShotActive[0], 1);
  EXPECT_EQ(G.ShotX[0], 154);
  EXPECT_EQ(G.ShotY[0], 282);
  EXPECT_TRUE(CellDrawnAt(154, 282, 32, 0));
}

}  // namespace
}  // namespace zorva::testing
