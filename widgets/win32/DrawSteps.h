// Replays the toolkit-free drawing steps with GDI.
#pragma once

#include "Drawing.h"

#include <windows.h>

#include <cstdint>
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

// An off-screen 32-bit picture (top-down, pixels 0x00RRGGBB) selected into a
// memory DC compatible with reference, which the drawing code may also reach
// pixel by pixel.
class TDibSurface {
  public:
    TDibSurface(HDC reference, int width, int height);
    ~TDibSurface();
    TDibSurface(const TDibSurface&) = delete;
    TDibSurface& operator=(const TDibSurface&) = delete;

    bool Valid() const { return bits_ != nullptr; }
    HDC Dc() const { return dc_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    // The pixels, after GdiFlush so that GDI's drawing has landed in them.
    std::uint32_t* Pixels();
    void Fill(COLORREF color);

  private:
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
    std::uint32_t* bits_ = nullptr;
    int width_ = 0, height_ = 0;
};
