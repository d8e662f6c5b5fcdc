#include "flow/title.h"

#include "app/window.h"

namespace zorva {

void TitleLoop() {
  for (;;) DoEvents();
}

}  // namespace zorva
