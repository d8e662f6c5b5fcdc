// Enemy fire.
#pragma once

namespace zorva {

// At the end of each formation step: every live enemy, from slot 23 down,
// rolls 1 in 20; the first that rolls a 1 while a bullet slot in 0..BulletTop
// is free launches one bullet, straight down or aimed at the ship.
void EnemyFire();

}  // namespace zorva
