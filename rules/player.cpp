#include "rules/player.h"

#include "base/clock.h"
#include "base/runtime.h"
#include "base/window.h"
#include "rules/state.h"

namespace zorva {

namespace {
constexpr double kPlayerStep = 8;
constexpr double kPlayerLeftEdge = 0;
constexpr double kPlayerRightEdge = 288;  // 320 - 32
constexpr std::int16_t kKillsPerWave = 24;
}  // namespace

void MovePlayer() {
  // The right step is finished, clamp included, before the left one starts:
  // with both keys held at the right edge the ship ends 8 pixels inside it.
  if (GetAsyncKeyState(VK_RIGHT) != 0) {
    G.PlayerX = G.PlayerX + kPlayerStep;
    if (G.PlayerX >= kPlayerRightEdge) G.PlayerX = kPlayerRightEdge;
  }
  if (GetAsyncKeyState(VK_LEFT) != 0) {
    G.PlayerX = G.PlayerX - kPlayerStep;
    if (G.PlayerX <= kPlayerLeftEdge) G.PlayerX = kPlayerLeftEdge;
  }

  FireShot();

  // Forget presses made before this point: the next frame sees a key only if
  // it is held then or was pressed after these polls.
  GetAsyncKeyState(VK_LEFT);
  GetAsyncKeyState(VK_RIGHT);
  GetAsyncKeyState(VK_SPACE);
}

void FireShot() {
  PollGate(G.ShotNext, G.ShotLast, kFireIntervalMs, Rearm::AfterAction, [] {
    // SPACE is polled at every opening, even when no shot may be launched.
    const bool space = GetAsyncKeyState(VK_SPACE) != 0;
    if (G.KillCount < kKillsPerWave && space) {
      bool launched = false;
      for (int i = 0; i < kShotSlots; ++i) {
        if (G.ShotActive[i] == 0 && !launched) {
          G.ShotX[i] = CInt16(G.PlayerX);
          G.ShotY[i] = G.PlayerY;
          G.ShotActive[i] = 1;
          launched = true;
        }
      }
    }
    // The gate is re-armed after the attempt, whether or not a shot left.
  });
}

}  // namespace zorva
