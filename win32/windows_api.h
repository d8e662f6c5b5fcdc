// The Windows API for the window's code. Included before any of the game's
// headers: the game keeps the classic names of the calls and keys it makes
// (RGB, VK_LEFT, SRCCOPY, ...), which the system defines as macros; those are undone
// here, and the game's own definitions (the same values) take their place.
#pragma once

#include <windows.h>
// After windows.h, which they need.
#include <mmsystem.h>
#include <xinput.h>

#undef RGB
#undef VK_SPACE
#undef VK_LEFT
#undef VK_RIGHT
#undef VK_DOWN
#undef VK_ESCAPE
#undef VK_BACK
#undef VK_PRIOR
#undef VK_NEXT
#undef VK_END
#undef VK_HOME
#undef VK_UP
#undef VK_OEM_COMMA
#undef VK_OEM_PERIOD
#undef VK_OEM_4
#undef VK_OEM_6
#undef SRCCOPY
#undef SRCPAINT
#undef SND_ASYNC
#undef SND_NODEFAULT
