// The busy wait and the interval gate on the simulated clock.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "base/clock.h"
#include "tests/base_sim_main.h"

namespace zorva {
namespace {

constexpr std::int64_t k2p31 = std::int64_t{1} << 31, k2p32 = std::int64_t{1} << 32;

// The clock readings at which a fresh gate acted, polled `polls` times 31 ms
// apart from the clock's start.
std::vector<std::int64_t> Rhythm(SimWindow& sim, std::int64_t interval, int polls) {
  std::vector<std::int64_t> acted;
  std::int64_t next = 0, last = 0;
  for (int i = 0; i < polls; ++i, sim.SetClock(sim.Clock() + 31))
    PollGate(next, last, interval, Rearm::BeforeAction, [&] { acted.push_back(sim.Clock()); });
  return acted;
}

TEST(BaseGate, RhythmWithPollsEvery31Ms) {
  // The interval plus more than one and at most two poll spacings.
  const std::int64_t cases[][2] = {{200, 248}, {100, 155}, {0, 62}, {500, 558}, {800, 837}, {31, 93}, {30, 62}};
  for (const std::int64_t start : {std::int64_t{1000}, k2p31 - 300, k2p32 - 300, k2p31 - 1})
    for (const auto& c : cases) {
      SCOPED_TRACE(::testing::Message() << "interval " << c[0] << " from " << start);
      SimMain m(start);
      const std::vector<std::int64_t> acted = Rhythm(m.sim, c[0], 60);
      ASSERT_GE(acted.size(), 3u);
      EXPECT_EQ(acted[0], start + 31);  // a fresh gate acts on its second poll
      for (std::size_t i = 1; i < acted.size(); ++i) EXPECT_EQ(acted[i] - acted[i - 1], c[1]);
    }
  // A first reading of 0: the second poll finds 0 < 0 false and the third acts.
  SimMain m(0);
  EXPECT_EQ(Rhythm(m.sim, 200, 4).at(0), 62);
}

TEST(BaseGate, PollsInOneMillisecondMakeNoProgress) {
  SimMain m(5000);
  std::int64_t next = 0, last = 0;
  auto poll = [&](std::int64_t t) {
    m.sim.SetClock(t);
    return PollGate(next, last, 100, Rearm::BeforeAction, [] {});
  };
  EXPECT_FALSE(poll(5000));
  EXPECT_TRUE(poll(5001));
  EXPECT_EQ(next, 5101);
  EXPECT_EQ(last, 5000);  // an acting poll leaves the last-poll time alone
  for (const std::int64_t t : {5001, 5001, 5050, 5101, 5101, 5101}) {
    EXPECT_FALSE(poll(t)) << t;
    EXPECT_EQ(last, t);
  }
  // Past the next time: recorded, and the poll after acts in the same millisecond.
  EXPECT_FALSE(poll(5102));
  EXPECT_TRUE(poll(5102));
  EXPECT_EQ(next, 5202);
}

TEST(BaseGate, FalseFurtherConditionKeepsRecordingTheLastPoll) {
  // The frame-rate gate acts only while FrameTime > 0.
  SimMain m(2000);
  std::int64_t next = 0, last = 0;
  int actions = 0;
  for (const bool condition : {false, false, false, true}) {
    m.sim.SetClock(m.sim.Clock() + 31);
    EXPECT_EQ(PollGate(next, last, 500, Rearm::BeforeAction, [&] { ++actions; }, condition), condition);
    EXPECT_EQ(last, condition ? 2093 : m.sim.Clock());
    EXPECT_EQ(next, condition ? m.sim.Clock() + 500 : 0);
  }
  EXPECT_EQ(actions, 1);
}

TEST(BaseGate, RearmReadsTheClockBeforeOrAfterTheAction) {
  // The action runs an event pump, which moves the clock by the work (7 ms).
  for (const Rearm when : {Rearm::BeforeAction, Rearm::AfterAction}) {
    SimMain m(3000, 7);
    std::int64_t next = 10, last = 20, seenNext = -1;
    EXPECT_TRUE(PollGate(next, last, 200, when, [&] {
      seenNext = next;
      DoEvents();
    }));
    const bool before = when == Rearm::BeforeAction;
    EXPECT_EQ(next, before ? 3200 : 3207);
    EXPECT_EQ(seenNext, before ? 3200 : 10);
    EXPECT_EQ(last, 20);
  }
}

TEST(BaseWait, ReturnsAtTheFirstReadingMoreThanCountAfterItsFirst) {
  const std::int64_t cases[][3] = {
      {1000, 0, 1001},       {1000, 30, 1031},           {1000, 1, 1002},   {1000, 1000, 2001},
      {1000, -5, 1001},      {k2p31 - 10, 30, k2p31 + 21}, {k2p31 - 1, 0, k2p31},
      {k2p32 - 10, 30, k2p32 + 21}, {k2p32 - 1, 1000, k2p32 + 1000},
  };
  for (const auto& c : cases) {
    SimMain m(c[0]);
    Wait(c[1]);
    EXPECT_EQ(m.sim.Clock(), c[2]) << c[0] << " + " << c[1];
    EXPECT_EQ(m.sim.PumpCount(), 0);  // no event pump while waiting
  }
}

TEST(BaseWait, PacedGameFrameLastsThirtyOneMs) {
  // Frame start, event pump (+work), Wait(30 - work): a frame whose work
  // alone is longer is not stretched, only read once more.
  const std::int64_t cases[][2] = {{5, 31}, {0, 31}, {1, 31}, {29, 31}, {30, 31}, {31, 32}, {45, 46}};
  for (const std::int64_t start : {std::int64_t{1000}, k2p31 - 15, k2p32 - 15})
    for (const auto& c : cases) {
      SimMain m(start, c[0]);
      for (int frame = 0; frame < 3; ++frame) {
        const std::int64_t frameStart = timeGetTime();
        DoEvents();
        Wait(30 - (timeGetTime() - frameStart));
        EXPECT_EQ(timeGetTime() - frameStart, c[1]) << "work " << c[0] << " from " << start;
      }
    }
}

}  // namespace
}  // namespace zorva
