// The busy wait and the interval gate on the simulated clock.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base_sim_main.h"
#include "flow/clock.h"

namespace zorva {
namespace {

constexpr std::int64_t k2p31 = std::int64_t{1} << 31;
constexpr std::int64_t k2p32 = std::int64_t{1} << 32;

// Polls a gate `polls` times, `spacing` ms apart, starting at `start`; returns
// the clock readings at which it acted.
std::vector<std::int64_t> Rhythm(SimWindow& sim, std::int64_t start, std::int64_t interval, std::int64_t spacing,
                                 int polls, std::int64_t next = 0, std::int64_t last = 0) {
  std::vector<std::int64_t> acted;
  sim.SetClock(start);
  for (int i = 0; i < polls; ++i) {
    PollGate(next, last, interval, Rearm::BeforeAction, [&] { acted.push_back(sim.Clock()); });
    sim.SetClock(sim.Clock() + spacing);
  }
  return acted;
}

TEST(BaseGate, RhythmWithPollsEvery31Ms) {
  struct Case {
    std::int64_t interval, period;
  };
  // The interval plus more than one and at most two poll spacings.
  const Case cases[] = {{200, 248}, {100, 155}, {0, 62}, {500, 558}, {800, 837}, {31, 93}, {30, 62}};
  for (const std::int64_t start : {std::int64_t{1000}, k2p31 - 300, k2p32 - 300, k2p31 - 1}) {
    for (const Case& c : cases) {
      SCOPED_TRACE("interval " + std::to_string(c.interval) + " from " + std::to_string(start));
      SimMain m(start);
      const std::vector<std::int64_t> acted = Rhythm(m.sim, start, c.interval, 31, 60);
      ASSERT_GE(acted.size(), 3u);
      EXPECT_EQ(acted[0], start + 31);  // a fresh gate acts on its second poll
      for (std::size_t i = 1; i < acted.size(); ++i) EXPECT_EQ(acted[i] - acted[i - 1], c.period);
    }
  }
}

TEST(BaseGate, FreshGateNeedsAPositiveFirstReading) {
  struct Case {
    std::int64_t firstReading;
    std::int64_t firstAction;
  };
  // With a first reading of 0 the second poll finds 0 < 0 false and only
  // records; the third poll acts.
  const Case cases[] = {{1, 32}, {1000, 1031}, {0, 62}};
  for (const Case& c : cases) {
    SimMain m(c.firstReading);
    const std::vector<std::int64_t> acted = Rhythm(m.sim, c.firstReading, 200, 31, 4);
    ASSERT_FALSE(acted.empty());
    EXPECT_EQ(acted[0], c.firstAction) << c.firstReading;
  }
}

TEST(BaseGate, PollsInOneMillisecondMakeNoProgress) {
  SimMain m(5000);
  std::int64_t next = 0, last = 0;
  int actions = 0;
  auto poll = [&] { return PollGate(next, last, 100, Rearm::BeforeAction, [&] { ++actions; }); };
  EXPECT_FALSE(poll());  // records 5000
  m.sim.SetClock(5001);
  EXPECT_TRUE(poll());   // next = 5101
  EXPECT_EQ(next, 5101);
  EXPECT_EQ(last, 5000);  // an acting poll leaves the last-poll time alone
  // Polls at and below the next time, many in the same millisecond, only record.
  for (const std::int64_t t : {5001, 5001, 5050, 5101, 5101, 5101}) {
    m.sim.SetClock(t);
    EXPECT_FALSE(poll()) << t;
    EXPECT_EQ(last, t);
  }
  // One millisecond past the next time is recorded, and the poll after acts,
  // even in the same millisecond.
  m.sim.SetClock(5102);
  EXPECT_FALSE(poll());
  EXPECT_TRUE(poll());
  EXPECT_EQ(next, 5202);
  EXPECT_EQ(actions, 2);
}

TEST(BaseGate, FalseFurtherConditionKeepsRecordingTheLastPoll) {
  // The frame-rate gate: it acts only while FrameTime > 0.
  SimMain m(2000);
  std::int64_t next = 0, last = 0;
  int actions = 0;
  for (const std::int64_t frameTime : {0, 0, -3, 0}) {
    m.sim.SetClock(m.sim.Clock() + 31);
    EXPECT_FALSE(PollGate(next, last, 500, Rearm::BeforeAction, [&] { ++actions; }, frameTime > 0));
    EXPECT_EQ(last, m.sim.Clock());
    EXPECT_EQ(next, 0);
  }
  m.sim.SetClock(m.sim.Clock() + 31);
  EXPECT_TRUE(PollGate(next, last, 500, Rearm::BeforeAction, [&] { ++actions; }, true));
  EXPECT_EQ(next, m.sim.Clock() + 500);
  EXPECT_EQ(actions, 1);
}

TEST(BaseGate, RearmReadsTheClockBeforeOrAfterTheAction) {
  struct Case {
    Rearm when;
    std::int64_t nextAfter;  // relative to the clock when the poll began
  };
  // The action runs an event pump, which moves the clock by the work (7 ms).
  const Case cases[] = {{Rearm::BeforeAction, 200}, {Rearm::AfterAction, 207}};
  for (const Case& c : cases) {
    SimMain m(3000, 7);
    std::int64_t next = 10, last = 20;
    std::int64_t seenNext = -1;
    EXPECT_TRUE(PollGate(next, last, 200, c.when, [&] {
      seenNext = next;
      DoEvents();
    }));
    EXPECT_EQ(next, 3000 + c.nextAfter);
    EXPECT_EQ(last, 20);
    // Before the action the new next time is already in place; after, not yet.
    EXPECT_EQ(seenNext, c.when == Rearm::BeforeAction ? 3200 : 10);
    EXPECT_EQ(m.sim.Clock(), 3007);
  }
}

TEST(BaseWait, ReturnsAtTheFirstReadingMoreThanCountAfterItsFirst) {
  struct Case {
    std::int64_t start, count, end;
  };
  const Case cases[] = {
      {1000, 0, 1001},       {1000, 30, 1031},      {1000, 1, 1002},         {1000, 1000, 2001},
      {1000, -5, 1001},      {k2p31 - 10, 30, k2p31 + 21}, {k2p31 - 1, 0, k2p31},
      {k2p32 - 10, 30, k2p32 + 21}, {k2p32 - 1, 1000, k2p32 + 1000},
  };
  for (const Case& c : cases) {
    SimMain m(c.start);
    const int pumps = m.sim.PumpCount();
    Wait(c.count);
    EXPECT_EQ(m.sim.Clock(), c.end) << c.start << " + " << c.count;
    EXPECT_EQ(m.sim.PumpCount(), pumps);  // no event pump while waiting
  }
}

TEST(BaseWait, PacedGameFrameLastsThirtyOneMs) {
  struct Case {
    std::int64_t work, frame;
  };
  // Frame start, event pump (+work), WorkTime, Wait(30 - WorkTime); a frame
  // whose work alone is longer is not stretched, only read once more.
  const Case cases[] = {{5, 31}, {0, 31}, {1, 31}, {29, 31}, {30, 31}, {31, 32}, {45, 46}};
  for (const std::int64_t start : {std::int64_t{1000}, k2p31 - 15, k2p32 - 15}) {
    for (const Case& c : cases) {
      SimMain m(start, c.work);
      for (int frame = 0; frame < 3; ++frame) {
        const std::int64_t frameStart = timeGetTime();
        DoEvents();
        const std::int64_t workTime = timeGetTime() - frameStart;
        EXPECT_EQ(workTime, c.work);
        Wait(30 - workTime);
        EXPECT_EQ(timeGetTime() - frameStart, c.frame) << "work " << c.work << " from " << start;
      }
    }
  }
}

}  // namespace
}  // namespace zorva
