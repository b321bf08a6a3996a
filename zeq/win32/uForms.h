// What the split engine's three Win32 windows share: their fonts and the
// program's icon.
#pragma once

#include <windows.h>

// The faces the windows are laid out for, 11 pixels high, or the nearest face
// the system has. Made once and kept for the life of the process.
HFONT VerdanaFont(); // the main window
HFONT NarrowFont();  // the figures of the details panel (Arial Narrow)
HFONT DialogFont();  // the dialogs (MS Sans Serif)

// The program's icon, 32 by 32 pixels, drawn from the icon's steps.
HICON ZeqIcon();
