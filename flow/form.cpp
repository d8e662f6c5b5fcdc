#include "flow/form.h"

#include "base/window.h"
#include "flow/title.h"
#include "rules/state.h"

namespace zorva {

void Form_Load() {
  OpenMain();
  DoEvents();  // paint once
  TitleLoop();
}

void OpenMain() {
  // The canvas: 324 by 324 outside its 2-pixel frame, so 320 by 320 to draw
  // in; the starfield buffer takes the canvas's size as read back.
  Main->Crt.SetOuterSize(324, 324);
  Main->BG.SetOuterSize(static_cast<int>(Main->Crt.ReadWidth()), static_cast<int>(Main->Crt.ReadHeight()));
  G.AppPath = Main->ProgramFolder();
  // Size, centre, caption and show: the window appears only once its
  // surfaces are ready.
  Main->ShowMain();
}

void Form_Unload() {
  mciSendStringA("close MIDI notify");
  Main->End();
  throw ProgramEnded{0};
}

void MENU002_Click() { Main->SetWaitChecked(!Main->WaitChecked()); }

}  // namespace zorva
