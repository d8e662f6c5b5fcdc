#include "flow/waves.h"

#include <algorithm>

#include "base/runtime.h"
#include "rules/blasts.h"
#include "rules/formation.h"
#include "rules/state.h"

namespace zorva {

namespace {
bool NothingInFlight() {
  const auto busy = [](std::int16_t active) { return active != 0; };
  const bool bulletsClear = std::none_of(G.BulletActive.begin(), G.BulletActive.begin() + kBulletSlotsInPlay, busy);
  const bool shotsClear = std::none_of(G.ShotActive.begin(), G.ShotActive.end(), busy);
  return bulletsClear && shotsClear;
}
}  // namespace

void CheckWave() {
  if (G.KillCount <= 23) return;
  if (!NothingInFlight()) return;
  ResetWave();
  G.KillCount = 0;
  PlaceFormation();
  G.MarchStep = 0;
  G.MarchDrop = 0;
  G.MarchDir = 0;
  G.MarchInterval -= 10;
  if (G.MarchInterval <= 0) G.MarchInterval = 0;
  G.AimLevel = static_cast<float>(static_cast<double>(G.AimLevel) + 0.4);
  if (G.AimLevel >= 3) G.AimLevel = 3;
  G.BulletGrowth = static_cast<float>(static_cast<double>(G.BulletGrowth) + 0.5);
  const int top = IntTo16(G.BulletGrowth) + 3;
  G.BulletTop = static_cast<std::int16_t>(top >= 20 ? 20 : top);
}

}  // namespace zorva
