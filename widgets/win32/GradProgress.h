// TGradProgress: a progress bar drawn as a colour gradient, in blocks with
// gaps or smooth, inside an optional bevel, with an optional percentage text,
// as a child window of its own class. Its properties and pixels follow the
// toolkit-free rules of TGradBar; this control shows those pixels (through an
// off-screen bitmap, so it does not flicker) and draws the percentage text in
// its font. Row 0 and column 0 are never painted: the parent shows there.
#pragma once

#include "GradProgressRules.h"

#include <windows.h>

#include <cstdint>
#include <functional>

// The desktop colours GetSysColor reports (COLOR_ACTIVECAPTION,
// COLOR_GRADIENTACTIVECAPTION, COLOR_HIGHLIGHT, COLOR_MENU, COLOR_BTNHIGHLIGHT,
// COLOR_BTNSHADOW; SPI_GETGRADIENTCAPTIONS).
TSystemColors Win32SystemColors();

class TGradProgress {
  public:
    TGradProgress(HWND parent, int x, int y, int width, int height);
    ~TGradProgress();
    TGradProgress(const TGradProgress&) = delete;
    TGradProgress& operator=(const TGradProgress&) = delete;

    HWND Handle() const { return hwnd_; }

    bool UseSystemColors() const { return bar_.UseSystemColors(); }
    void SetUseSystemColors(bool value) { bar_.SetUseSystemColors(value); }
    bool Smooth() const { return bar_.Smooth(); }
    void SetSmooth(bool value) { bar_.SetSmooth(value); }
    bool RelativeGradient() const { return bar_.RelativeGradient(); }
    void SetRelativeGradient(bool value) { bar_.SetRelativeGradient(value); }
    TBevelStyle BevelStyle() const { return bar_.BevelStyle(); }
    void SetBevelStyle(TBevelStyle value);
    std::uint8_t BevelWidth() const { return bar_.BevelWidth(); }
    void SetBevelWidth(std::uint8_t value);
    COLORREF StartColor() const;
    void SetStartColor(COLORREF value);
    COLORREF EndColor() const;
    void SetEndColor(COLORREF value);
    int Position() const { return bar_.Position(); }
    void SetPosition(int value);
    int MaxValue() const { return bar_.MaxValue(); }
    void SetMaxValue(int value);
    int Step() const { return bar_.Step(); }
    void SetStep(int value) { bar_.SetStep(value); }
    bool ShowPercent() const { return bar_.ShowPercent(); }
    void SetShowPercent(bool value);
    COLORREF BackColor() const;
    void SetBackColor(COLORREF value);
    void Stepit();

    // The percentage text's font (not owned) and colour.
    void SetFont(HFONT font, COLORREF color);
    // Where the system colours come from; by default Win32SystemColors.
    void SetSystemColorSource(std::function<TSystemColors()> source);

  private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    void Changed(bool repaint);
    void Paint(HDC dc);

    HWND hwnd_ = nullptr;
    int width_, height_;
    TGradBar bar_;
    HFONT font_ = nullptr;
    COLORREF fontColor_ = RGB(255, 255, 255);
    std::function<TSystemColors()> systemColorSource_;
};
