#include "GradProgress.h"

#include "DrawSteps.h"
#include "Forms.h"

namespace {

const char* const GradProgressClass = "VelmoraGradProgress";

TColor SysColor(int index) {
    return ToColor(GetSysColor(index));
}

// The bar's own font when none is given: 10 points (13 pixels), plain.
HFONT DefaultBarFont() {
    static HFONT font = MakeFont("MS Sans Serif", 13);
    return font;
}

} // namespace

TSystemColors Win32SystemColors() {
    TSystemColors colors;
    BOOL gradient = FALSE;
    colors.gradientCaptions =
        SystemParametersInfoA(SPI_GETGRADIENTCAPTIONS, 0, &gradient, 0) && gradient;
    colors.activeCaption = SysColor(COLOR_ACTIVECAPTION);
    colors.gradientActiveCaption = SysColor(COLOR_GRADIENTACTIVECAPTION);
    colors.highlight = SysColor(COLOR_HIGHLIGHT);
    colors.menu = SysColor(COLOR_MENU);
    colors.buttonHighlight = SysColor(COLOR_BTNHIGHLIGHT);
    colors.buttonShadow = SysColor(COLOR_BTNSHADOW);
    return colors;
}

TGradProgress::TGradProgress(HWND parent, int x, int y, int width, int height)
    : width_(width), height_(height) {
    bar_.SetBackColor(SysColor(COLOR_BTNFACE));
    RegisterWindowClass(GradProgressClass, &TGradProgress::WndProc);
    CreateWindowExA(0, GradProgressClass, "", WS_CHILD | WS_VISIBLE, x, y, width, height, parent,
                    nullptr, GetModuleHandleA(nullptr), this);
}

TGradProgress::~TGradProgress() {
    if (!hwnd_) return;
    DestroyObjectWindow(hwnd_);
}

void TGradProgress::Changed(bool repaint) {
    if (!repaint || !hwnd_) return;
    // Painted at once, as the property asked.
    if (IsWindowVisible(hwnd_)) {
        HDC dc = GetDC(hwnd_);
        Paint(dc);
        ReleaseDC(hwnd_, dc);
    } else {
        InvalidateRect(hwnd_, nullptr, FALSE);
    }
}

void TGradProgress::SetBevelStyle(TBevelStyle value) {
    Changed(bar_.SetBevelStyle(value));
}

void TGradProgress::SetBevelWidth(std::uint8_t value) {
    Changed(bar_.SetBevelWidth(value, width_));
}

COLORREF TGradProgress::StartColor() const {
    return ToColorRef(bar_.StartColor());
}

void TGradProgress::SetStartColor(COLORREF value) {
    Changed(bar_.SetStartColor(ToColor(value)));
}

COLORREF TGradProgress::EndColor() const {
    return ToColorRef(bar_.EndColor());
}

void TGradProgress::SetEndColor(COLORREF value) {
    Changed(bar_.SetEndColor(ToColor(value)));
}

void TGradProgress::SetPosition(int value) {
    Changed(bar_.SetPosition(value));
}

void TGradProgress::SetMaxValue(int value) {
    Changed(bar_.SetMaxValue(value));
}

void TGradProgress::SetShowPercent(bool value) {
    Changed(bar_.SetShowPercent(value));
}

COLORREF TGradProgress::BackColor() const {
    return ToColorRef(bar_.BackColor());
}

void TGradProgress::SetBackColor(COLORREF value) {
    Changed(bar_.SetBackColor(ToColor(value)));
}

void TGradProgress::Stepit() {
    Changed(bar_.Stepit());
}

void TGradProgress::SetFont(HFONT font, COLORREF color) {
    font_ = font;
    fontColor_ = color;
    Changed(bar_.ShowPercent());
}

void TGradProgress::SetSystemColorSource(std::function<TSystemColors()> source) {
    systemColorSource_ = std::move(source);
}

void TGradProgress::Paint(HDC dc) {
    const TGradBarImage bar = bar_.Render(
        width_, height_, systemColorSource_ ? systemColorSource_() : Win32SystemColors());
    TDibSurface surface(dc, width_, height_);
    if (!surface.Valid()) return;
    // What the bar leaves transparent shows the parent's button face.
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const std::uint32_t facePixel = std::uint32_t(GetRValue(face)) << 16 |
                                    std::uint32_t(GetGValue(face)) << 8 | GetBValue(face);
    std::uint32_t* pixels = surface.Pixels();
    for (std::size_t i = 0; i < bar.pixels.data.size(); ++i) {
        const std::uint32_t p = bar.pixels.data[i];
        pixels[i] = (p >> 24) == 0 ? facePixel : (p & 0xFFFFFF);
    }
    if (!bar.percentText.empty()) {
        HDC mem = surface.Dc();
        RECT inside{bar.insideLeft, bar.insideTop, bar.insideLeft + bar.insideWidth,
                    bar.insideTop + bar.insideHeight};
        const int saved = SaveDC(mem);
        IntersectClipRect(mem, inside.left, inside.top, inside.right, inside.bottom);
        SelectObject(mem, font_ ? font_ : DefaultBarFont());
        SetBkMode(mem, TRANSPARENT);
        SetTextColor(mem, fontColor_);
        DrawTextA(mem, bar.percentText.c_str(), static_cast<int>(bar.percentText.size()), &inside,
                  DT_SINGLELINE | DT_VCENTER | DT_CENTER | DT_NOPREFIX);
        RestoreDC(mem, saved);
    }
    BitBlt(dc, 0, 0, width_, height_, surface.Dc(), 0, 0, SRCCOPY);
}

LRESULT CALLBACK TGradProgress::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* bar = static_cast<TGradProgress*>(WindowObject(hwnd, msg, lp));
    if (bar && msg == WM_NCCREATE) bar->hwnd_ = hwnd;
    if (bar) {
        switch (msg) {
        case WM_SIZE:
            bar->width_ = LOWORD(lp);
            bar->height_ = HIWORD(lp);
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            bar->Paint(dc);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_NCDESTROY:
            bar->hwnd_ = nullptr;
            SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
            break;
        default:
            break;
        }
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}
