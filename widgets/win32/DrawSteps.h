// Replays the toolkit-free drawing steps with GDI.
#pragma once

#include "Drawing.h"

#include <windows.h>

#include <vector>

inline COLORREF ToColorRef(TColor c) {
    return RGB(c.r, c.g, c.b);
}
inline TColor ToColor(COLORREF c) {
    return {GetRValue(c), GetGValue(c), GetBValue(c), 255};
}

// Draws the steps in order onto dc, each under its own transform (the DC's
// graphics mode is made advanced for that and left so). Transparent colours
// (alpha 0) draw nothing.
void DrawSteps(HDC dc, const std::vector<TDrawStep>& steps);
