// The events of the window `Main`: start-up, shutdown and the WAIT menu item.
#pragma once

namespace zorva {

// Start-up: sizes and shows the window, prepares the canvas and the starfield
// buffer, remembers the program's folder, paints once and enters the title
// loop. Returns only by the ProgramEnded thrown when the window is closed.
void Form_Load();

// The part of start-up before the first paint: sizes the canvas and the
// starfield buffer, remembers the program's folder and shows the window.
void OpenMain();

// Shutdown: sends "close MIDI notify" and ends the program at once, from
// inside whichever loop is running (by throwing ProgramEnded).
[[noreturn]] void Form_Unload();

// OPTION -> WAIT: toggles the check mark, nothing else.
void MENU002_Click();

}  // namespace zorva
