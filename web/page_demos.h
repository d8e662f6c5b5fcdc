// Demos in the page: every game of a visit recorded in the desktop's file
// format, and demo files or links played back and verified. The page's
// script (demos.js) packs and unpacks the compressed stream with the
// browser's own deflate; the program sees the records unpacked.
#pragma once

#include "web/web_window.h"

namespace zorva {

// Runs the game on `window` for as long as the page is open: each run starts
// as the program does and is recorded; a demo the page hands over ends the
// run (its game in progress recorded as closed), is played back at its pace
// and verified, and a new run starts at the title screen. A challenge the
// page asks for ends the run (or the playback) alike, and the new run's
// games all start from the challenge's seed.
[[noreturn]] void RunPage(WebWindow& window);

// Whether what runs must end for the page: it has handed over a demo that
// is not yet being played, or asked for a challenge run.
bool DemoWaiting();

}  // namespace zorva
