// Closing a window from outside, as a window manager's close box does.
#pragma once

#include <string>

// Sends WM_DELETE_WINDOW to the window (a decimal id) on the display.
bool SendClose(const std::string& display, const std::string& windowId);
