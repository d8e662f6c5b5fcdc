#include "present/sprites.h"

#include "base/runtime.h"
#include "base/window.h"
#include "rules/state.h"

namespace zorva {

void DrawPlayer() { BitBlt(Main->Crt, CInt32(G.PlayerX), G.PlayerY, 32, 32, Main->Chr, 0, 0, SRCCOPY); }

void DrawPlayerBlast() {
  if (G.PlayerBlastFrame == 6 || G.PlayerBlastFrame == 7) return;
  BitBlt(Main->Crt, CInt32(G.PlayerX), G.PlayerY, 32, 32, Main->Chr, 32 * G.PlayerBlastFrame, 32, SRCCOPY);
}

void DrawEnemies() {
  for (int i = 0; i < kEnemySlots; ++i) {
    const int s = G.EnemyState[i];
    if (s == 7) continue;
    if (s < 0 || s >= kBlastEntries) continue;  // never happens; keeps the table read in bounds
    BitBlt(Main->Crt, G.EnemyX[i], G.EnemyY[i], 32, 32, Main->Chr, G.BlastSrcX[s], G.BlastSrcY[s], SRCPAINT);
  }
}

void DrawGameOver() {
  if (G.GameOverShown == 1) BitBlt(Main->Crt, 85, 110, 160, 84, Main->Res, 0, 46, SRCPAINT);
}

}  // namespace zorva
