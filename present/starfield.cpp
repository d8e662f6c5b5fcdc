#include "present/starfield.h"

#include "base/rnd.h"
#include "base/runtime.h"
#include "base/window.h"
#include "rules/state.h"

namespace zorva {

void MakeStarfield() {
  Main->BG.Cls();
  for (int star = 0; star < kStars; ++star) {
    const float r1 = Rnd();
    const float r2 = Rnd();
    const float r3 = Rnd();
    const float x = static_cast<float>(Int(static_cast<double>(r1) * 320 + 1));
    const std::int16_t y = IntTo16(static_cast<double>(r2) * 320 + 1);
    const auto colour = static_cast<Colour>(Int(static_cast<double>(r3) * 16777215.0 + 1));
    // Stars at 320 fall just outside the drawing area and are dropped.
    Main->BG.PSet(static_cast<int>(x), y, colour);
  }
}

void ScrollStarfield() {
  const int s = G.ScrollY;
  BitBlt(Main->Crt, 0, s, 320, 320 - s, Main->BG, 0, 0, SRCCOPY);
  BitBlt(Main->Crt, 0, 0, 320, s, Main->BG, 0, 320 - s, SRCCOPY);
  G.ScrollY = static_cast<std::int16_t>(s + 1 == 320 ? 0 : s + 1);
}

}  // namespace zorva
