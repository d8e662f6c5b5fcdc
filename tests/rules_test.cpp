// The rules on their own: the ship and its shots, the bullets, the formation,
// the enemy fire, the explosions, and the rhythm of every gate.

#include <cctype>
#include <cmath>

#include "tests/support.h"

namespace zorva {
namespace {

using I16 = std::int16_t;
void Enemy(int slot, int x, int y, int state = 0) {
  G.EnemyX[slot] = static_cast<I16>(x), G.EnemyY[slot] = static_cast<I16>(y), G.EnemyState[slot] = static_cast<I16>(state);
}
void Shot(int slot, int x, int y) { G.ShotX[slot] = static_cast<I16>(x), G.ShotY[slot] = static_cast<I16>(y), G.ShotActive[slot] = 1; }
void Bullet(int slot, float x, float y, float dx, float dy) {
  G.BulletActive[slot] = 1, G.BulletX[slot] = x, G.BulletY[slot] = y, G.BulletDX[slot] = dx, G.BulletDY[slot] = dy;
}
void Step() { G.MarchNext = 0, G.MarchLast = 1, MarchFormation(); }  // through an open gate

struct Rules : ::testing::Test {
  SimMain m;
  void SetUp() override { G.AppPath = "game", G.PlayerX = 146, G.PlayerY = 288, G.BulletTop = 4, LoadWindowImages(m.sim); }
  std::size_t Sounds() const { return m.sim.Sounds().size(); }
};

TEST_F(Rules, KeysMoveTheShipInStepsOf8AndTheRightStepIsClampedFirst) {
  // Start, keys (R, L held; r, l tapped once), PlayerX after each frame.
  const struct { double start; std::string keys; std::vector<double> x; } cases[] = {
      {146, "R", {154, 162, 170}}, {282, "R", {288, 288}}, {146, "L", {138, 130}}, {2, "L", {0, 0}}, {0, "R", {8, 16}},
      {146, "RL", {146, 146}}, {288, "RL", {280, 280}}, {282, "RL", {280, 280}}, {0, "RL", {0, 0}},
      {146, "r", {154, 154}}, {146, "l", {138, 138}}, {146, "", {146, 146}}};
  for (const auto& c : cases) {
    G.PlayerX = c.start;
    for (char k : c.keys) std::islower(k) ? m.sim.Tap(k == 'r' ? VK_RIGHT : VK_LEFT) : m.sim.Press(k == 'R' ? VK_RIGHT : VK_LEFT);
    std::vector<double> x;
    for (std::size_t f = 0; f < c.x.size(); ++f) m.sim.SetClock(m.sim.Clock() + 31), MovePlayer(), x.push_back(G.PlayerX);
    EXPECT_EQ(x, c.x) << c.start << " " << c.keys;
    m.sim.Release(VK_RIGHT), m.sim.Release(VK_LEFT);
  }
}

TEST_F(Rules, EveryOpeningOfTheFireGateReArmsItAndLaunchesAtMostOneShotIntoTheLowestFreeSlot) {
  // Slots in flight, SPACE held, KillCount; the slot launched into (-1: none).
  const struct { std::vector<int> busy; bool space; int kills, slot; } cases[] = {
      {{}, true, 0, 0}, {{0}, true, 0, 1}, {{1}, true, 0, 0}, {{0, 2}, true, 0, 1}, {{0, 1, 2, 3, 4, 5, 6, 7}, true, 0, 8},
      {{0, 1, 2, 3, 4, 5, 6, 7, 8}, true, 0, -1}, {{}, false, 0, -1}, {{}, true, 24, -1}};
  G.PlayerX = 202;
  for (const auto& c : cases) {
    G.ShotActive.fill(0), G.ShotY.fill(100), G.ShotX.fill(0), G.KillCount = static_cast<I16>(c.kills);
    for (int b : c.busy) G.ShotActive[b] = 1;
    c.space ? m.sim.Press(VK_SPACE) : m.sim.Release(VK_SPACE);
    G.ShotNext = 0, G.ShotLast = 1, m.sim.SetClock(5000), MovePlayer();  // an open gate
    for (int i = 0; i < kShotSlots; ++i) {
      const double busy = static_cast<double>(std::count(c.busy.begin(), c.busy.end(), i));
      EXPECT_VALUES(V(G.ShotActive[i], G.ShotY[i], G.ShotX[i]), i == c.slot ? V(1, 288, 202) : V(busy, 100, 0)) << c.slot << " " << i;
    }
    EXPECT_VALUES(V(G.ShotNext, G.ShotLast), V(5200, 1));
  }
}

TEST_F(Rules, HitWindowsAreStrictOnEverySideAndEachEnemyHitScores) {
  // An enemy at (100, 50) is hit by a shot at x 85..115, y 51..81.
  const I16 shots[][3] = {{85, 51, 1}, {115, 81, 1}, {85, 81, 1}, {115, 51, 1}, {84, 66, 0}, {116, 66, 0}, {100, 50, 0}, {100, 82, 0}};
  for (const auto& [x, y, hit] : shots) {
    G.EnemyState.fill(7), Enemy(9, 100, 50), G.Score = 40, G.HiScore = 100;
    const std::size_t sounds = Sounds();
    EXPECT_EQ(ShotHitsEnemy(x, y), hit) << x << "," << y;
    EXPECT_VALUES(V(G.EnemyState[9], G.Score, G.HiScore, Sounds() - sounds), V(hit, 40 + 10 * hit, 100, hit)) << x << "," << y;
  }
  // The ship at 146 by a bullet drawn at x 131..161, y 273..303, only while intact.
  const I16 bullets[][3] = {{131, 273, 1}, {161, 303, 1}, {131, 303, 1}, {161, 273, 1},
                            {130, 288, 0}, {162, 288, 0}, {146, 272, 0}, {146, 304, 0}};
  for (const auto& [x, y, hit] : bullets) {
    G.PlayerDead = 0;
    const std::size_t sounds = Sounds();
    const int first = BulletHitsPlayer(x, y), again = BulletHitsPlayer(x, y);
    EXPECT_VALUES(V(first, again, G.PlayerDead, Sounds() - sounds), V(hit, 0, hit, hit)) << x << "," << y;
  }
  // One shot destroys every live enemy its window holds.
  G.EnemyState.fill(7), Enemy(3, 100, 50), Enemy(4, 110, 60), Enemy(5, 90, 40, 3), G.Score = G.HiScore = 0;  // 5 is exploding
  EXPECT_EQ(ShotHitsEnemy(105, 70), 1);
  EXPECT_VALUES(V(G.EnemyState[3], G.EnemyState[4], G.EnemyState[5], G.Score, G.HiScore), V(1, 1, 3, 20, 20));
  EXPECT_VALUES(V(m.sim.Sounds().back().file == "game/効果音.wav", m.sim.Sounds().back().flags), V(1, 3));
  // Score and HiScore before and after a hit: past 16 bits, and at the 32-bit top it stays.
  const std::int32_t scores[][4] = {{90, 100, 100, 100}, {100, 100, 110, 110}, {32760, 32760, 32770, 32770},
                                    {2147483640, 2147483640, 2147483640, 2147483640}};
  for (const auto& s : scores) {
    Enemy(0, 100, 50), G.Score = s[0], G.HiScore = s[1], ShotHitsEnemy(100, 60);
    EXPECT_VALUES(V(G.Score, G.HiScore), V(s[2], s[3]));
  }
}

TEST_F(Rules, ShotsAndBulletsFlyLowestSlotFirstAndBulletsAreDrawnRoundedDown) {
  G.PlayerDead = 1, G.EnemyState.fill(7), Enemy(7, 100, 200), Shot(5, 100, 236), Shot(2, 100, 236);  // both reach 7
  UpdateShotsAndBullets();
  EXPECT_VALUES(V(G.EnemyState[7], G.ShotActive[2], G.ShotY[2], G.ShotActive[5], G.ShotY[5], G.Score), V(1, 0, 320, 1, 230, 10));
  // x, y, dx, dy; the drawn place and whether the bullet flies on. A freed
  // bullet keeps its last drawn place (1, 2 here).
  const float cases[][7] = {
      {99.5f, 7.5f, 0.25f, 0.4f, 99, 7, 1}, {0.25f, 10, -0.5f, 2, -1, 12, 1},    {-3, 0, 0, -0.25f, -3, -1, 1},
      {40, 317, 0, 2, 40, 319, 1},          {40, 318, 0, 2, 40, 320, 0},         {40, 319.5f, 0, 5, 40, 324, 0},
      {100, -32766, 0, -4, 1, 2, 0},        {32765, 100, 5, 0, 1, 2, 0},         {-32766.5f, 100, -3, 0, 1, 2, 0},
      {100, -32767.5f, 0, -0.25f, 100, -32768, 1}};
  for (const auto& c : cases) {
    Bullet(0, c[0], c[1], c[2], c[3]), G.BulletDrawX[0] = 1, G.BulletDrawY[0] = 2, m.sim.Crt.Cls();
    UpdateShotsAndBullets();
    const bool drawn = Drawn(G.BulletDrawX[0], G.BulletDrawY[0], 96, 0);  // off the canvas from 320 on
    EXPECT_VALUES(V(G.BulletX[0], G.BulletDrawX[0], G.BulletDrawY[0], G.BulletActive[0], drawn),
              V(c[0] + c[2], c[4], c[5], c[6], c[6] == 1 || c[5] >= 320)) << c[0] << "," << c[1];
  }
  // Of three bullets reaching the ship together only the lowest slot hits; the others pass silently.
  G.PlayerDead = 0, G.BulletActive.fill(0), Bullet(3, 160, 290, 0, 4), Bullet(1, 150, 275, 0, 2), Bullet(4, 146, 280, 0, 3);
  for (int f = 0; f < 30; ++f) UpdateShotsAndBullets();
  EXPECT_VALUES(V(G.PlayerDead, G.BulletActive[1] + G.BulletActive[3] + G.BulletActive[4], G.BulletDrawY[3], Sounds()), V(1, 0, 322, 2));
}

TEST_F(Rules, TheFormationMarchesTenStepsEachWayAndDropsAtTheTurnsKeepingItsGrid) {
  PlaceFormation(), G.MarchInterval = 200;
  EXPECT_VALUES(V(G.EnemyX[0], G.EnemyY[0], G.EnemyX[5], G.EnemyY[5], G.EnemyX[9], G.EnemyY[9], G.EnemyX[23], G.EnemyY[23]),
            V(10, 16, 220, 16, 136, 51, 220, 121));
  // Slot 0's x and y, MarchStep and MarchDir after each step.
  const int march[][4] = {{16, 16, 1, 0}, {22, 16, 2, 0}, {28, 16, 3, 0}, {34, 16, 4, 0}, {40, 16, 5, 0}, {46, 16, 6, 0}, {52, 16, 7, 0},
                          {58, 16, 8, 0}, {64, 16, 9, 0}, {70, 16, 10, 0}, {70, 24, 0, 1}, {64, 24, 1, 1}, {58, 24, 2, 1}, {52, 24, 3, 1},
                          {46, 24, 4, 1}, {40, 24, 5, 1}, {34, 24, 6, 1}, {28, 24, 7, 1}, {22, 24, 8, 1}, {16, 24, 9, 1}, {10, 24, 10, 1},
                          {10, 32, 0, 0}, {16, 32, 1, 0}, {22, 32, 2, 0}, {28, 32, 3, 0}};
  for (const auto& e : march) {
    Step();
    ASSERT_VALUES(V(G.EnemyX[0], G.EnemyY[0], G.MarchStep, G.MarchDir, G.MarchDrop), V(e[0], e[1], e[2], e[3], e[2] ? 0 : 8));
    ASSERT_VALUES(V(G.EnemyX[23] - G.EnemyX[0], G.EnemyY[23] - G.EnemyY[0], G.EnemyX[9] - G.EnemyX[0]), V(210, 105, 126));
  }
  G.EnemyState[8] = 1, G.EnemyState[9] = 7;  // hit enemies stay where they were hit, also across a turn
  for (int k = 0; k < 12; ++k) Step();
  EXPECT_VALUES(V(G.EnemyX[8], G.EnemyY[8], G.EnemyX[9], G.EnemyY[9], G.EnemyY[10], G.PlayerDead, Sounds()), V(112, 67, 154, 67, 75, 0, 0));
  // Only slots 1 and 2 alive: after 373 steps both at 280; the next drops 1
  // onto the ship's line at 288, which destroys the ship, and 2 no more.
  PlaceFormation(), G.MarchStep = G.MarchDir = 0, G.EnemyState.fill(7), G.EnemyState[1] = G.EnemyState[2] = 0;
  for (int k = 0; k < 373; ++k) Step();
  ASSERT_VALUES(V(G.EnemyY[1], G.PlayerDead, Sounds()), V(280, 0, 0));
  Step();
  EXPECT_VALUES(V(G.EnemyY[1], G.EnemyY[2], G.PlayerDead, Sounds()), V(288, 280, 1, 1));
  for (int k = 0; k < 15; ++k) Step();  // the block drops no more; the enemy on the line sounds at every step
  EXPECT_VALUES(V(G.EnemyY[1], G.EnemyY[2], Sounds()), V(288, 280, 16));
}

// The first seed whose first draws satisfy `want`; the sequence is left at that seed's start.
std::uint64_t SeedWhere(int draws, const std::function<bool(const std::vector<float>&)>& want) {
  for (std::uint64_t seed = 1;; ++seed) {
    Randomize(seed);
    std::vector<float> u(static_cast<std::size_t>(draws));
    std::generate(u.begin(), u.end(), Rnd);
    if (want(u)) return Randomize(seed), seed;
  }
}
int DrawsSince(std::uint64_t seed) {  // values drawn since `seed` was set
  const float a = Rnd(), b = Rnd();
  Randomize(seed);
  for (float n = 0, previous = Rnd(), next = Rnd(); n < 200; ++n, previous = next, next = Rnd())
    if (previous == a && next == b) return static_cast<int>(n);
  return -1;
}
bool In(float u, double lo, double hi) { return u >= lo && u < hi; }
bool Roll1(float u) { return u < 0.05f; }  // a roll of 1 in 20
using Draws = std::vector<float>;

TEST_F(Rules, FromSlot23DownTheFirstLiveEnemyRollingA1FiresIntoTheLowestFreeSlotUpToBulletTop) {
  const auto none = [](const Draws& u) { return std::none_of(u.begin(), u.end(), Roll1); };
  const auto first = [](const Draws& u) { return Roll1(u[0]); };
  const struct {
    const char* name;
    std::vector<int> dead, busy;  // enemies exploding (3) and gone (7) in turn; bullet slots in use
    int top, draws;
    std::function<bool(const Draws&)> want;
    int expectedDraws, shooter, slot;  // shooter -1: nobody fired
  } cases[] = {
      {"nobody rolls a 1", {}, {}, 4, 24, none, 24, -1, -1},
      {"slot 23 first", {}, {}, 4, 1, first, 26, 23, 0},
      {"only the first roller fires", {}, {}, 4, 21,
       [&](const Draws& u) { return none(Draws(&u[0], &u[3])) && Roll1(u[3]) && Roll1(u[20]); },
       26, 20, 0},
      {"exploding and gone enemies draw nothing", {23, 22, 21, 20, 1, 0}, {}, 4, 18, none, 18, -1, -1},
      {"a gap below busy slots", {}, {0, 2, 3}, 4, 1, first, 26, 23, 1},
      {"the top slot", {}, {0, 1, 2, 3}, 4, 1, first, 26, 23, 4},
      {"no free slot: every roll is still drawn", {}, {0, 1, 2, 3, 4}, 4, 24, [](const Draws& u) { return Roll1(u[0]) && Roll1(u[7]); },
       24, -1, -1},
      {"slots above BulletTop stay free", {}, {0, 1, 2, 3}, 3, 1, first, 24, -1, -1},
      {"top 20", {}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19}, 20, 1, first, 26, 23, 20}};
  for (const auto& c : cases) {
    PlaceFormation(), G.EnemyState.fill(0), G.BulletActive.fill(0), G.BulletTop = static_cast<I16>(c.top);
    for (std::size_t k = 0; k < c.dead.size(); ++k) G.EnemyState[c.dead[k]] = k % 2 ? 3 : 7;
    for (int b : c.busy) G.BulletActive[b] = 1;
    const auto seed = SeedWhere(c.draws, c.want);
    EnemyFire();
    const int inFlight = static_cast<int>(std::count(G.BulletActive.begin(), G.BulletActive.end(), 1));
    EXPECT_VALUES(V(DrawsSince(seed), inFlight), V(c.expectedDraws, c.busy.size() + (c.shooter >= 0))) << c.name;
    if (c.shooter >= 0) {
      EXPECT_VALUES(V(G.BulletActive[c.slot], G.BulletX[c.slot], G.BulletY[c.slot]), V(1, G.EnemyX[c.shooter], G.EnemyY[c.shooter] + 22))
          << c.name;
    }
  }
}

TEST_F(Rules, KindAndSpeedAreDrawnForEveryBulletAndAimedOnesFlyAtTheShipsCorner) {
  // AimLevel, the range of the kind draw, whether the bullet is aimed.
  const struct { float aim; double lo, hi; bool aimed; } kinds[] = {
      {0, 0.0, 0.2, false}, {0, 0.2, 0.4, true}, {0, 0.4, 1.0, false}, {3, 0.0, 0.5, false}, {3, 0.5, 1.0, true},
      {2.4000001f, 0.39, 0.76, true}};
  for (const auto& k : kinds) {
    G.AimLevel = k.aim, G.EnemyState.fill(7), Enemy(0, 40, 100), G.BulletActive.fill(0);
    const auto seed = SeedWhere(3, [&](const Draws& u) { return Roll1(u[0]) && In(u[1], k.lo, k.hi); });
    EnemyFire();
    EXPECT_VALUES(V(DrawsSince(seed), G.BulletDX[0] != 0), V(3, k.aimed)) << k.aim << " " << k.lo;
  }
  // One aimed bullet worked by hand: from (10, 16) at the ship's (146, 288), speed 4: 4 * (136, 272) / 304.105.
  G.AimLevel = 0, Enemy(0, 10, 16), G.BulletActive.fill(0), G.BulletDrawX[0] = 7;
  SeedWhere(3, [](const Draws& u) { return Roll1(u[0]) && In(u[1], 0.2, 0.4) && In(u[2], 0.5, 0.75); });
  EnemyFire();
  EXPECT_VALUES(V(G.BulletX[0], G.BulletY[0], G.BulletDX[0], G.BulletDY[0], G.BulletDrawX[0]),
            V(10, 38, 1.7888543605804443f, 3.5777087211608887f, 7));
  // Each speed 2..5, straight, aimed along the ship's line and, from the ship's own corner, straight down.
  const struct { int x, y; bool aimed; float dx, dy; } shots[] = {{40, 100, 0, 0, 1}, {10, 288, 1, 1, 0}, {146, 288, 1, 0, 1}};
  for (const auto& s : shots)
    for (int speed = 2; speed <= 5; ++speed) {
      Enemy(0, s.x, s.y), G.BulletActive.fill(0);
      SeedWhere(3, [&](const Draws& u) {
        return Roll1(u[0]) && In(u[1], s.aimed ? 0.2 : 0.4, s.aimed ? 0.4 : 1) && In(u[2], speed / 4.0 - 0.5, speed / 4.0 - 0.25);
      });
      EnemyFire();
      EXPECT_VALUES(V(G.BulletDX[0], G.BulletDY[0]), V(s.dx * speed, s.dy * speed)) << s.x << "," << s.y << " speed " << speed;
    }
}

TEST_F(Rules, ExplosionsRunSixTicksAndEachIsCountedOnceGone) {
  G.EnemyState.fill(7), G.BulletActive.fill(1), G.ShotActive.fill(1), G.KillCount = 24, G.EnemyX.fill(77);
  ResetWave();
  EXPECT_VALUES(V(std::count(G.EnemyState.begin(), G.EnemyState.end(), 0), std::count(G.BulletActive.begin(), G.BulletActive.end(), 0)),
            V(24, 21));  // bullet slots 0..20
  EXPECT_VALUES(V(G.ShotActive[8], G.EnemyX[5], G.KillCount), V(1, 77, 24));  // not its business
  const auto tick = [] { G.BlastNext = 0, G.BlastLast = 1, AnimateBlasts(); };
  for (int k = 0; k < 16; ++k) G.EnemyState[k] = static_cast<I16>(k % 8);
  G.KillCount = 3, tick();
  for (int k = 0; k < 16; ++k) EXPECT_EQ(G.EnemyState[k], k % 8 == 0 ? 0 : std::min(k % 8 + 1, 7)) << k;
  EXPECT_EQ(G.KillCount, 5);
  std::vector<int> frames;  // the ship's explosion runs on the same ticks, only once the ship is lost, up to 7
  for (int k = 0; k < 10; ++k) G.PlayerDead = k >= 2, tick(), frames.push_back(G.PlayerBlastFrame);
  EXPECT_EQ(frames, (std::vector<int>{0, 0, 1, 2, 3, 4, 5, 6, 7, 7}));
}

TEST_F(Rules, EachGateActsOnItsSecondPollThenAtTheFirstPollAfterOneThatWasPastItsTime) {
  // Polls 31 ms apart from a fresh gate; the polls that act.
  const struct { std::int64_t& next; void (*poll)(); std::int32_t interval; std::int64_t start; std::vector<int> acts; } gates[] = {
      {G.MarchNext, MarchFormation, 200, 1000, {2, 10, 18, 26, 34}},
      {G.MarchNext, MarchFormation, 200, (std::int64_t{1} << 32) - 300, {2, 10, 18, 26, 34}},
      {G.MarchNext, MarchFormation, 0, 1000, {2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30, 32, 34, 36}},
      {G.ShotNext, MovePlayer, 200, 1000, {2, 10, 18, 26, 34}},
      {G.BlastNext, AnimateBlasts, 100, 1000, {2, 7, 12, 17, 22, 27, 32}},
      {G.FpsNext, DrawStatusLine, 500, 1000, {2, 20}}};
  for (const auto& g : gates) {
    ResetGameState();
    G.PlayerY = 288, G.MarchInterval = g.interval, G.FrameTime = 31, m.sim.SetClock(g.start), m.sim.Press(VK_SPACE);
    std::vector<int> acts;
    for (int p = 1; p <= 36; ++p) {
      const std::int64_t before = g.next;
      m.sim.SetClock(m.sim.Clock() + 31), g.poll();
      if (g.next != before) {
        acts.push_back(p);
        ASSERT_EQ(g.next - m.sim.Clock(), g.interval);  // re-armed from the clock now
      }
    }
    EXPECT_EQ(acts, g.acts) << g.interval << " from " << g.start;
  }
  const std::int64_t rates[][2] = {{31, 32}, {3, 333}, {1001, 0}, {0, 7}};  // the frame rate from the last frame's time; none at 0
  for (const auto& [frameTime, fps] : rates) {
    G.FpsNext = 0, G.FpsLast = 1, G.FrameTime = frameTime, G.Fps = 7, DrawStatusLine();
    EXPECT_VALUES(V(G.Fps, G.FpsLast), V(fps, frameTime > 0 ? 1 : m.sim.Clock())) << frameTime;
  }
}

}  // namespace
}  // namespace zorva
