#include "present/status.h"

#include "base/clock.h"
#include "base/runtime.h"
#include "base/window.h"
#include "rules/state.h"

namespace zorva {

std::string StatusText() {
  return "HISCORE" + std::string(" ") + Format(G.HiScore, 4) + "  SCORE" + " " + Format(G.Score, 4) + Space(25) +
         "FPS " + Format(G.Fps, 5);
}

void DrawStatusLine() {
  PollGate(
      G.FpsNext, G.FpsLast, kFpsIntervalMs, Rearm::BeforeAction,
      [] {
        // FrameTime is above 0 here, so the division is safe; a frame of more
        // than a second shows 0.
        G.Fps = static_cast<std::int32_t>(Int(1000.0 / static_cast<double>(G.FrameTime)));
      },
      G.FrameTime > 0);
  Main->Crt.CurrentX = 5;
  Main->Crt.CurrentY = 2;
  const std::string text = StatusText();
  Main->Crt.Print(text);
  Main->StatusPrinted(text);
}

}  // namespace zorva
