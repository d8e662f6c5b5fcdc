#include "rules/formation.h"

#include "base/clock.h"
#include "rules/fire.h"
#include "rules/sound.h"
#include "rules/state.h"

namespace zorva {

namespace {
constexpr int kColumns = 6;
constexpr int kRows = 4;
constexpr std::int16_t kStepsPerSweep = 10;
constexpr std::int16_t kSideStep = 6;
constexpr std::int16_t kTurnDrop = 8;
constexpr std::int16_t kShipLine = 288;  // the ship's top edge

void StepFormation() {
  G.MarchStep = static_cast<std::int16_t>(G.MarchStep + 1);
  std::int16_t sideStep = 0;
  if (G.MarchStep <= kStepsPerSweep) {
    sideStep = kSideStep;
    G.MarchDrop = 0;
  } else {
    // The turn: no sideways move, a drop, and the new direction from the
    // next step on.
    G.MarchStep = 0;
    G.MarchDrop = kTurnDrop;
    G.MarchDir = G.MarchDir == 1 ? 0 : 1;
  }

  for (int i = 0; i < kEnemySlots; ++i) {
    if (G.EnemyState[i] != 0) continue;  // hit enemies stay where they were hit
    G.EnemyX[i] = static_cast<std::int16_t>(G.MarchDir == 0 ? G.EnemyX[i] + sideStep : G.EnemyX[i] - sideStep);
    // Once the ship is lost the block stops dropping, from the very enemy
    // that reached the line on: the ones after it in this step stay up.
    if (G.PlayerDead == 0) G.EnemyY[i] = static_cast<std::int16_t>(G.EnemyY[i] + G.MarchDrop);
    if (G.EnemyY[i] >= kShipLine) {
      G.PlayerDead = 1;
      PlaySoundEffect();
    }
  }
}
}  // namespace

void PlaceFormation() {
  for (int row = 0; row < kRows; ++row) {
    for (int column = 0; column < kColumns; ++column) {
      const int slot = row * kColumns + column;
      G.EnemyX[slot] = static_cast<std::int16_t>(10 + 10 * column + 32 * column);
      G.EnemyY[slot] = static_cast<std::int16_t>(16 + 35 * row);
    }
  }
}

void MarchFormation() {
  // The gate is re-armed after the step and before the enemies fire, so that
  // bullets leave from the enemies' new places.
  if (PollGate(G.MarchNext, G.MarchLast, G.MarchInterval, Rearm::AfterAction, StepFormation)) EnemyFire();
}

}  // namespace zorva
