#include "flow/game.h"

#include "base/clock.h"
#include "base/rnd.h"
#include "base/window.h"
#include "flow/waves.h"
#include "present/sprites.h"
#include "present/starfield.h"
#include "present/status.h"
#include "rules/blasts.h"
#include "rules/formation.h"
#include "rules/player.h"
#include "rules/shots.h"
#include "rules/state.h"

namespace zorva {

namespace {

void StartGame() {
  Randomize(Main->TimerSeed());
  Main->Crt.FontSize = 9;
  G.PlayerX = static_cast<double>(Main->Crt.ReadWidth()) / 2 - 16;
  G.PlayerY = 288;
  G.Score = 0;
  G.KillCount = 0;
  G.BulletGrowth = 0;
  G.AimLevel = 0;
  G.PlayerDead = 0;
  G.PlayerBlastFrame = 0;
  G.GameOverShown = 0;
  PlaceFormation();
  ResetWave();
  G.MarchStep = 0;
  G.MarchDrop = 0;
  G.MarchDir = 0;
  G.MarchInterval = kFirstMarchIntervalMs;
  G.BulletTop = 4;
  // Forget every press made before the game.
  for (int vk : {VK_LEFT, VK_RIGHT, VK_SPACE, VK_DOWN, VK_ESCAPE}) GetAsyncKeyState(vk);
  MakeStarfield();
}

// The frame's work while the ship is lost: the explosion, then the GAME OVER
// screen. Returns true when the end test ends the game.
bool DeathSequence() {
  if (G.PlayerBlastFrame == 7 && G.GameOverShown == 0) {
    G.GameOverShown = 1;
    G.GameOverKeyAt = timeGetTime() + kGameOverKeyMs;
    G.GameOverTimeoutAt = timeGetTime() + kGameOverTimeoutMs;
  }
  // SPACE is polled on every frame, so a press during the first two seconds
  // is used up by these polls.
  const bool space = GetAsyncKeyState(VK_SPACE) != 0;
  if (G.PlayerBlastFrame == 7 &&
      ((G.GameOverKeyAt < G.GameOverLast && space) || G.GameOverTimeoutAt < G.GameOverLast)) {
    return true;
  }
  G.GameOverLast = timeGetTime();
  DrawPlayerBlast();
  DrawGameOver();
  return false;
}

void EndGame() {
  Wait(1000);
  G.Fps = 0;
  G.PlayerDead = 0;
  G.PlayerBlastFrame = 0;
  G.GameOverShown = 0;
  Main->Crt.Cls();
  Wait(1000);
}

}  // namespace

void PlayGame() {
  StartGame();
  ResumeGame();
}

void ResumeGame() {
  for (;;) {
    Main->PassBegins(Loop::Game);
    const std::int64_t frameStart = timeGetTime();
    ScrollStarfield();
    if (G.PlayerDead == 1) {
      if (DeathSequence()) {
        Main->PassEnds(true);
        break;
      }
    } else {
      DrawPlayer();
      MovePlayer();
    }
    AnimateBlasts();
    DrawEnemies();
    UpdateShotsAndBullets();
    MarchFormation();
    DrawStatusLine();
    DoEvents();
    CheckWave();
    G.WorkTime = timeGetTime() - frameStart;
    // The check mark is read after the event pump, so a click served in this
    // frame already governs its pacing.
    if (G.WorkTime < 30 && Main->WaitChecked()) Wait(30 - G.WorkTime);
    G.FrameTime = timeGetTime() - frameStart;
    Main->PassEnds(false);
  }
  EndGame();
  Main->GameEnds();
}

}  // namespace zorva
