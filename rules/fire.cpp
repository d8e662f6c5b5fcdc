#include "rules/fire.h"

#include <algorithm>
#include <cmath>

#include "base/rnd.h"
#include "base/runtime.h"
#include "rules/state.h"

namespace zorva {

namespace {
constexpr std::int16_t kMuzzleDrop = 22;  // a bullet leaves 22 pixels below the enemy's top edge
constexpr float kAimedKind = 2;

// Bullet speed in pixels per frame, 2..5. Sums and products before Int are
// taken in double precision so that the speed never reaches 6.
float DrawSpeed() { return static_cast<float>(Int(static_cast<double>(Rnd()) * 4 + 2)); }

void Launch(int i, int j) {
  // Kind 1..5 at AimLevel 0, 1..2 at AimLevel 3; only kind 2 aims.
  const float kind = static_cast<float>(Int((5 - static_cast<double>(G.AimLevel)) * static_cast<double>(Rnd()) + 1));
  if (kind != kAimedKind) {
    G.BulletActive[j] = 1;
    G.BulletX[j] = G.EnemyX[i];
    G.BulletY[j] = static_cast<float>(G.EnemyY[i] + kMuzzleDrop);
    G.BulletDY[j] = DrawSpeed();
    G.BulletDX[j] = 0;
    return;
  }
  G.BulletActive[j] = 1;
  const float speed = DrawSpeed();
  G.BulletX[j] = G.EnemyX[i];
  G.BulletY[j] = static_cast<float>(G.EnemyY[i] + kMuzzleDrop);
  // Aimed from the enemy's top-left corner at the ship's; the bullet flies
  // parallel to that line and does not home in afterwards.
  const double dx = G.PlayerX - G.EnemyX[i];
  const int dy = G.PlayerY - G.EnemyY[i];
  const double distance = std::sqrt(dx * dx + static_cast<double>(dy) * dy);
  if (distance == 0) {
    // An enemy standing exactly on the ship has no direction to aim in: the
    // bullet falls straight at the speed drawn.
    G.BulletDX[j] = 0;
    G.BulletDY[j] = speed;
    return;
  }
  G.BulletDX[j] = static_cast<float>(dx * speed / distance);
  G.BulletDY[j] = static_cast<float>(dy * static_cast<double>(speed) / distance);
}
}  // namespace

void EnemyFire() {
  bool fired = false;
  const int top = std::min<int>(G.BulletTop, kBulletSlots - 1);
  // The one downward scan of the game: the bottom row first, right to left.
  for (int i = kEnemySlots - 1; i >= 0; --i) {
    if (G.EnemyState[i] != 0) continue;
    // Every live enemy rolls, also after this step's bullet has left.
    const float roll = static_cast<float>(Int(static_cast<double>(Rnd()) * 20 + 1));
    for (int j = 0; j <= top; ++j) {
      if (roll == 1 && G.BulletActive[j] == 0 && !fired) {
        Launch(i, j);
        fired = true;
      }
    }
  }
}

}  // namespace zorva
