// Every game variable, in one record. Each routine of the game reads and
// writes them here; nothing is allocated during play. Everything is zero (an
// empty string for the folder) when the program starts.
//
// Widths follow the game: 16-bit and 32-bit signed integers, single and double
// precision. Two kinds of value are held wider so that they never run out:
// clock values and durations are 64-bit, and the scores are 32-bit.
//
// The record is made from one table, ZORVA_GAME_VARIABLES, which also says
// each variable's range and what may change it between two games. The demo
// file, the dump of zorva-sim, the verifier and the soak's range checks all
// read the table through EachVariable: a new variable is one line of the
// table.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <type_traits>

namespace zorva {

inline constexpr int kShotSlots = 9;           // shot slots 0..8
inline constexpr int kEnemySlots = 24;         // slot = row * 6 + column
inline constexpr int kBlastEntries = 7;        // explosion frame table, states 0..6
inline constexpr int kBulletSlots = 61;        // bullet tables 0..60
inline constexpr int kBulletSlotsInPlay = 21;  // slots 0..20 can ever be in play

// The ranges the table speaks of: a whole 16-bit or 32-bit number, any finite
// single, and a clock value (readings and durations stay within -2^62..2^62,
// the demo file's clock limit).
inline constexpr double kI16Min = -32768, kI16Max = 32767;
inline constexpr double kI32Max = 2147483647.0;
inline constexpr double kAnySingle = std::numeric_limits<float>::max();
inline constexpr double kClockRange = 4611686018427387904.0;

// What may change a variable between the end of one game and the start of
// the next: StartGame gives it its value, so that nothing of the previous
// game or of the title screen survives in it (kNewGameSets); the title loop
// writes it (kTitleWrites); or nothing does, and it holds what the last game
// (or the program's start) left (kCarriedOver).
enum class Between { NewGameSets, TitleWrites, CarriedOver };
inline constexpr Between kNewGameSets = Between::NewGameSets, kTitleWrites = Between::TitleWrites,
                         kCarriedOver = Between::CarriedOver;

// X(name, type, slots, slots in the dump, lowest, highest, between games), in
// the order of the demo file and of the dump. A table of one slot is a single
// value; the bullet tables have 61 slots, of which the dump shows the 21 that
// can ever be in play.
#define ZORVA_GAME_VARIABLES(X)                                                                              \
  /* Ship and game end. */                                                                                   \
  X(PlayerX, double, 1, 1, 0, 288, kNewGameSets)              /* ship's left edge, whole numbers */          \
  X(PlayerY, std::int16_t, 1, 1, 0, 288, kNewGameSets)        /* ship's top edge, 288 */                     \
  X(PlayerDead, std::int16_t, 1, 1, 0, 1, kNewGameSets)       /* 1 once the ship is destroyed */             \
  X(PlayerBlastFrame, std::int16_t, 1, 1, 0, 7, kNewGameSets) /* 7 = explosion finished */                   \
  X(GameOverShown, std::int16_t, 1, 1, 0, 1, kNewGameSets)    /* 1 once GAME OVER is up */                   \
  X(Score, std::int32_t, 1, 1, 0, kI32Max, kNewGameSets)      /* points of the current game */               \
  X(HiScore, std::int32_t, 1, 1, 0, kI32Max, kCarriedOver)    /* best since the program started */           \
  /* Player shots. ShotY is parked at 320 when a shot is removed. */                                         \
  X(ShotX, std::int16_t, kShotSlots, kShotSlots, kI16Min, kI16Max, kCarriedOver)                             \
  X(ShotY, std::int16_t, kShotSlots, kShotSlots, kI16Min, kI16Max, kCarriedOver)                             \
  X(ShotActive, std::int16_t, kShotSlots, kShotSlots, 0, 1, kCarriedOver)                                    \
  /* Enemies: 0 alive, 1..6 exploding, 7 gone. */                                                            \
  X(EnemyX, std::int16_t, kEnemySlots, kEnemySlots, kI16Min, kI16Max, kNewGameSets)                          \
  X(EnemyY, std::int16_t, kEnemySlots, kEnemySlots, kI16Min, kI16Max, kNewGameSets)                          \
  X(EnemyState, std::int16_t, kEnemySlots, kEnemySlots, 0, 7, kNewGameSets)                                  \
  /* Sprite-sheet position of the cell drawn for each enemy state 0..6. */                                   \
  X(BlastSrcX, std::int16_t, kBlastEntries, kBlastEntries, kI16Min, kI16Max, kNewGameSets)                   \
  X(BlastSrcY, std::int16_t, kBlastEntries, kBlastEntries, kI16Min, kI16Max, kNewGameSets)                   \
  /* Formation march. */                                                                                     \
  X(MarchDir, std::int16_t, 1, 1, 0, 1, kNewGameSets)        /* 0 moving right, 1 moving left */             \
  X(MarchStep, std::int16_t, 1, 1, 0, 11, kNewGameSets)      /* steps since the last turn */                 \
  X(MarchDrop, std::int16_t, 1, 1, 0, 8, kNewGameSets)       /* downward move of this step, 0 or 8 */        \
  X(MarchInterval, std::int32_t, 1, 1, 0, 200, kNewGameSets) /* ms between formation steps */                \
  /* Enemy bullets; slots 0..BulletTop are in play. */                                                       \
  X(BulletActive, std::int16_t, kBulletSlots, kBulletSlotsInPlay, 0, 1, kCarriedOver)                        \
  X(BulletX, float, kBulletSlots, kBulletSlotsInPlay, -kAnySingle, kAnySingle, kCarriedOver)                 \
  X(BulletY, float, kBulletSlots, kBulletSlotsInPlay, -kAnySingle, kAnySingle, kCarriedOver)                 \
  X(BulletDX, float, kBulletSlots, kBulletSlotsInPlay, -kAnySingle, kAnySingle, kCarriedOver)                \
  X(BulletDY, float, kBulletSlots, kBulletSlotsInPlay, -kAnySingle, kAnySingle, kCarriedOver)                \
  X(BulletDrawX, std::int16_t, kBulletSlots, kBulletSlotsInPlay, kI16Min, kI16Max, kCarriedOver)             \
  X(BulletDrawY, std::int16_t, kBulletSlots, kBulletSlotsInPlay, kI16Min, kI16Max, kCarriedOver)             \
  /* Difficulty. */                                                                                          \
  X(BulletTop, std::int16_t, 1, 1, 0, 20, kNewGameSets)     /* highest bullet slot in play */                \
  X(BulletGrowth, float, 1, 1, 0, kAnySingle, kNewGameSets) /* +0.5 per cleared wave */                      \
  X(AimLevel, float, 1, 1, 0, 3, kNewGameSets)              /* +0.4 per cleared wave, at most 3 */           \
  X(KillCount, std::int16_t, 1, 1, 0, 24, kNewGameSets)     /* finished explosions of this wave */           \
  /* Timing: interval gates (next time, last poll) and durations, in ms. */                                  \
  X(MarchNext, std::int64_t, 1, 1, -kClockRange, kClockRange, kTitleWrites) /* formation step; */            \
  X(MarchLast, std::int64_t, 1, 1, -kClockRange, kClockRange, kTitleWrites) /* title blink */                \
  X(ShotNext, std::int64_t, 1, 1, -kClockRange, kClockRange, kCarriedOver)  /* fire button */                \
  X(ShotLast, std::int64_t, 1, 1, -kClockRange, kClockRange, kCarriedOver)                                   \
  X(BlastNext, std::int64_t, 1, 1, -kClockRange, kClockRange, kCarriedOver) /* explosion tick */             \
  X(BlastLast, std::int64_t, 1, 1, -kClockRange, kClockRange, kCarriedOver)                                  \
  X(FpsNext, std::int64_t, 1, 1, -kClockRange, kClockRange, kTitleWrites) /* frame rate */                   \
  X(FpsLast, std::int64_t, 1, 1, -kClockRange, kClockRange, kTitleWrites)                                    \
  X(GameOverKeyAt, std::int64_t, 1, 1, -kClockRange, kClockRange, kCarriedOver)                              \
  X(GameOverTimeoutAt, std::int64_t, 1, 1, -kClockRange, kClockRange, kCarriedOver)                          \
  X(GameOverLast, std::int64_t, 1, 1, -kClockRange, kClockRange, kCarriedOver)                               \
  X(WorkTime, std::int64_t, 1, 1, -kClockRange, kClockRange, kCarriedOver)  /* frame before pacing */        \
  X(FrameTime, std::int64_t, 1, 1, -kClockRange, kClockRange, kTitleWrites) /* last whole frame */           \
  X(Fps, std::int32_t, 1, 1, 0, 1000, kTitleWrites)                         /* frames per second as shown */ \
  /* Screen. */                                                                                              \
  X(ScrollY, std::int16_t, 1, 1, 0, 319, kTitleWrites)   /* starfield scroll offset */                       \
  X(TitleBlink, std::int16_t, 1, 1, -1, 0, kTitleWrites) /* the prompt shows while -1 */

// A variable of `slots` slots: the value itself for one, else a fixed table.
template <class T, int Slots>
struct SlotsOf {
  using type = std::array<T, Slots>;
};
template <class T>
struct SlotsOf<T, 1> {
  using type = T;
};

struct GameState {
#define ZORVA_MEMBER(name, T, slots, dumped, lowest, highest, between) SlotsOf<T, slots>::type name{};
  ZORVA_GAME_VARIABLES(ZORVA_MEMBER)
#undef ZORVA_MEMBER
  std::string AppPath;  // folder of the executable; not part of a game
};

// What the table says of one variable.
struct Variable {
  const char* name;
  double lowest, highest;  // every slot stays in lowest..highest
  int dumped;              // how many slots the dump shows
  Between between;         // what may change it between two games
};

// Calls visit(Variable, member) for every variable of `g` in table order; the
// member is the value itself or its std::array of slots.
template <class State, class Visit>
void EachVariable(State& g, Visit&& visit) {
#define ZORVA_VISIT(name, T, slots, dumped, lowest, highest, between) \
  visit(Variable{#name, lowest, highest, dumped, between}, g.name);
  ZORVA_GAME_VARIABLES(ZORVA_VISIT)
#undef ZORVA_VISIT
}

// Calls visit(Variable, member of a, the same member of b) for every variable,
// in table order.
template <class State, class Visit>
void EachVariable(State& a, State& b, Visit&& visit) {
#define ZORVA_VISIT_BOTH(name, T, slots, dumped, lowest, highest, between) \
  visit(Variable{#name, lowest, highest, dumped, between}, a.name, b.name);
  ZORVA_GAME_VARIABLES(ZORVA_VISIT_BOTH)
#undef ZORVA_VISIT_BOTH
}

// Calls each(slot) for the value or for every slot of a table, in order.
template <class Member, class Each>
void EachSlot(Member& m, Each&& each) {
  if constexpr (std::is_arithmetic_v<std::remove_const_t<Member>>) each(m);
  else
    for (auto& x : m) each(x);
}

// The game's state.
extern GameState G;

// Puts every variable back to its value at program start.
void ResetGameState();

}  // namespace zorva
