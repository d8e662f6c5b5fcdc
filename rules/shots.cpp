#include "rules/shots.h"

#include <algorithm>
#include <limits>

#include "base/runtime.h"
#include "base/window.h"
#include "rules/sound.h"
#include "rules/state.h"

namespace zorva {

namespace {
constexpr int kShotSpeed = 6;
constexpr std::int16_t kShotParked = 320;  // ShotY of a removed shot
constexpr int kBulletGone = 320;           // drawn y at which a bullet leaves
constexpr int kShotCellX = 32, kShotCellY = 0;
constexpr int kBulletCellX = 96, kBulletCellY = 0;
constexpr int kCell = 32;

// Moves, draws and tests each shot in flight, lowest slot first, so that when
// two shots reach one enemy in the same frame the lower slot takes it.
void ShotPass() {
  for (int i = 0; i < kShotSlots; ++i) {
    if (G.ShotActive[i] != 1) continue;
    G.ShotY[i] = static_cast<std::int16_t>(G.ShotY[i] - kShotSpeed);
    BitBlt(Main->Crt, G.ShotX[i], G.ShotY[i], kCell, kCell, Main->Chr, kShotCellX, kShotCellY, SRCPAINT);
    const int hit = ShotHitsEnemy(G.ShotX[i], G.ShotY[i]);
    if (G.ShotY[i] <= 0 || hit == 1) {
      G.ShotActive[i] = 0;
      G.ShotY[i] = kShotParked;
    }
  }
}

// A whole-pixel position that no longer fits in 16 bits: only a bullet that
// never descends gets there, long after the ship is lost.
bool OutOfRange(double v) {
  return v < std::numeric_limits<std::int16_t>::min() || v > std::numeric_limits<std::int16_t>::max();
}

// Moves, draws and tests each bullet in flight in slots 0..BulletTop.
void BulletPass() {
  const int top = std::min<int>(G.BulletTop, kBulletSlots - 1);
  for (int i = 0; i <= top; ++i) {
    if (G.BulletActive[i] != 1) continue;
    G.BulletY[i] = G.BulletY[i] + G.BulletDY[i];
    G.BulletX[i] = G.BulletX[i] + G.BulletDX[i];
    // Int rounds down, below zero too: -0.25 is drawn at -1.
    const double drawY = Int(G.BulletY[i]);
    const double drawX = Int(G.BulletX[i]);
    if (OutOfRange(drawY) || OutOfRange(drawX)) {
      G.BulletActive[i] = 0;
      continue;
    }
    G.BulletDrawY[i] = static_cast<std::int16_t>(drawY);
    G.BulletDrawX[i] = static_cast<std::int16_t>(drawX);
    BitBlt(Main->Crt, G.BulletDrawX[i], G.BulletDrawY[i], kCell, kCell, Main->Chr, kBulletCellX, kBulletCellY,
           SRCPAINT);
    const int hit = BulletHitsPlayer(G.BulletDrawX[i], G.BulletDrawY[i]);
    if (G.BulletDrawY[i] >= kBulletGone || hit == 1) G.BulletActive[i] = 0;
  }
}
}  // namespace

void UpdateShotsAndBullets() {
  ShotPass();
  BulletPass();
}

int ShotHitsEnemy(std::int16_t x, std::int16_t y) {
  int result = 0;
  for (int j = 0; j < kEnemySlots; ++j) {
    if (G.EnemyState[j] != 0) continue;  // explosions and gone enemies let shots through
    const int ex = G.EnemyX[j], ey = G.EnemyY[j];
    if (ex - 16 < x && x < ex + 16 && ey < y && y < ey + 32) {
      G.EnemyState[j] = 1;
      result = 1;
      PlaySoundEffect();
      // Held in 32 bits, the score has room for every game anyone can play;
      // it stops at the top rather than wrap.
      if (G.Score <= std::numeric_limits<std::int32_t>::max() - kPointsPerEnemy) G.Score += kPointsPerEnemy;
      if (G.Score >= G.HiScore) G.HiScore = G.Score;
    }
  }
  return result;
}

int BulletHitsPlayer(std::int16_t x, std::int16_t y) {
  int result = 0;
  if (G.PlayerX - 16 < x && x < G.PlayerX + 16 && G.PlayerY - 16 < y && y < G.PlayerY + 16 && G.PlayerDead == 0) {
    G.PlayerDead = 1;
    PlaySoundEffect();
    result = 1;
  }
  return result;
}

}  // namespace zorva
