#include "flow/title.h"

#include "base/clock.h"
#include "base/window.h"
#include "flow/game.h"
#include "present/starfield.h"
#include "present/status.h"
#include "rules/state.h"

namespace zorva {

namespace {
// One pass of the PUSH SPACE KEY blink on the gate it shares with the formation.
void BlinkPrompt() {
  PollGate(G.MarchNext, G.MarchLast, kTitleBlinkMs, Rearm::BeforeAction,
           [] { G.TitleBlink = static_cast<std::int16_t>(~G.TitleBlink); });
}
}  // namespace

void TitleLoop() {
  MakeStarfield();
  GetAsyncKeyState(VK_SPACE);  // forget a press made before the title screen
  for (;;) {
    Main->PassBegins(Loop::Title);
    const std::int64_t passStart = timeGetTime();
    ScrollStarfield();
    BitBlt(Main->Crt, 30, 15, 263, 229, Main->Titlebmp, 0, 0, SRCPAINT);
    BlinkPrompt();
    if (G.TitleBlink != 0) BitBlt(Main->Crt, 38, 260, 263, 32, Main->Res, 0, 130, SRCPAINT);
    DrawStatusLine();
    DoEvents();
    if (GetAsyncKeyState(VK_SPACE) != 0) PlayGame();
    G.FrameTime = timeGetTime() - passStart;
    Main->PassEnds(false);
  }
}

}  // namespace zorva
