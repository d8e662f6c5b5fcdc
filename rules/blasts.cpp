#include "rules/blasts.h"

#include "base/clock.h"
#include "rules/state.h"

namespace zorva {

namespace {
constexpr std::int16_t kGone = 7;
constexpr std::int16_t kShipBlastDone = 7;

void BlastTick() {
  for (int i = 0; i < kEnemySlots; ++i) {
    if (G.EnemyState[i] == 0 || G.EnemyState[i] == kGone) continue;
    G.EnemyState[i] = static_cast<std::int16_t>(G.EnemyState[i] + 1);
    if (G.EnemyState[i] == kGone) G.KillCount = static_cast<std::int16_t>(G.KillCount + 1);
  }
  if (G.PlayerDead == 1 && G.PlayerBlastFrame != kShipBlastDone) {
    G.PlayerBlastFrame = static_cast<std::int16_t>(G.PlayerBlastFrame + 1);
  }
}
}  // namespace

void ResetWave() {
  // State 0 draws the enemy cell of the sheet's first row; states 1..6 the six
  // explosion frames of its second row, left to right.
  G.BlastSrcX[0] = 64;
  G.BlastSrcY[0] = 0;
  for (int j = 0; j < kBulletSlotsInPlay; ++j) G.BulletActive[j] = 0;
  for (int k = 0; k <= 5; ++k) {
    G.BlastSrcX[k + 1] = static_cast<std::int16_t>(32 * k);
    G.BlastSrcY[k + 1] = 32;
  }
  for (int i = 0; i < kEnemySlots; ++i) G.EnemyState[i] = 0;
}

void AnimateBlasts() { PollGate(G.BlastNext, G.BlastLast, kBlastIntervalMs, Rearm::BeforeAction, BlastTick); }

}  // namespace zorva
