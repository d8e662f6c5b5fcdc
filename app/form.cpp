#include "app/form.h"

#include "app/window.h"
#include "flow/title.h"
#include "rules/state.h"

namespace zorva {

void Form_Load() {
  Main->ShowMain();  // size, centre, caption, pixel units, show
  Main->Crt.SetOuterSize(324, 324);
  Main->BG.SetOuterSize(static_cast<int>(Main->Crt.ReadWidth()), static_cast<int>(Main->Crt.ReadHeight()));
  G.AppPath = Main->ExeFolder();
  DoEvents();
  TitleLoop();
}

void Form_Unload() {
  mciSendStringA("close MIDI notify");
  Main->End();
  throw ProgramEnded{0};
}

void MENU002_Click() { Main->SetWaitChecked(!Main->WaitChecked()); }

}  // namespace zorva
