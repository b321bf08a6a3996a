#include "FileLbl.h"

#include "Forms.h"
#include "Platform.h"

namespace {

const char* const FileLabelClass = "VelmoraFileLabel";

// The label whose fitting resizes it now: the size message that resize
// brings must not start another fit.
thread_local const TFileLabel* fitting = nullptr;

} // namespace

TFileLabel::TFileLabel(HWND parent, int x, int y, int width, int height, TDirection direction,
                       HFONT font)
    : font_(font), textColor_(GetSysColor(COLOR_WINDOWTEXT)), direction_(direction) {
    path_.separator = std::string(1, plat::PathSep);
    path_.Parse();
    RegisterWindowClass(FileLabelClass, &TFileLabel::WndProc);
    CreateWindowExA(0, FileLabelClass, "", WS_CHILD | WS_VISIBLE, x, y, width, height, parent,
                    nullptr, GetModuleHandleA(nullptr), this);
}

TFileLabel::~TFileLabel() {
    if (!hwnd_) return;
    DestroyObjectWindow(hwnd_);
}

void TFileLabel::SetFileName(const std::string& value) {
    if (value == path_.fileName) return;
    path_.fileName = value;
    path_.Parse();
    Fit();
}

void TFileLabel::SetSeparator(const std::string& value) {
    if (value == path_.separator) return;
    path_.separator = value;
    path_.Parse();
    Fit();
}

void TFileLabel::SetDirection(TDirection value) {
    if (value == direction_) return;
    direction_ = value;
    Fit();
}

void TFileLabel::SetAutoSize(bool value) {
    if (value == autoSize_) return;
    autoSize_ = value;
    if (autoSize_) Fit();
}

void TFileLabel::SetFont(HFONT font) {
    font_ = font;
    Fit();
    if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
}

void TFileLabel::SetTextColor(COLORREF color) {
    textColor_ = color;
    if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
}

int TFileLabel::Measure(const std::string& text) const {
    if (!hwnd_ || text.empty()) return 0;
    HDC dc = GetDC(hwnd_);
    HGDIOBJ old = SelectObject(dc, font_ ? font_ : GetStockObject(DEFAULT_GUI_FONT));
    SIZE size{};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(hwnd_, dc);
    return size.cx;
}

void TFileLabel::Fit() {
    if (!hwnd_ || fitting == this) return;
    const TFileLabel* outer = fitting;
    fitting = this;
    RECT client{};
    GetClientRect(hwnd_, &client);
    const int height = client.bottom;
    std::string shown = FitLabel(
        path_, direction_, client.right, autoSize_,
        [this](const std::string& s) { return Measure(s); },
        [this, height](int textWidth) {
            SetWindowPos(hwnd_, nullptr, 0, 0, textWidth, height,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            RECT now{};
            GetClientRect(hwnd_, &now);
            return int(now.right);
        });
    fitting = outer;
    if (shown == caption_) return;
    caption_ = std::move(shown);
    // The window text follows, for whatever reads windows' texts.
    SetWindowTextA(hwnd_, caption_.c_str());
    InvalidateRect(hwnd_, nullptr, FALSE);
}

void TFileLabel::Paint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd_, &ps);
    RECT client{};
    GetClientRect(hwnd_, &client);
    // The label has no background of its own: the parent's button face shows.
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    HGDIOBJ old = SelectObject(dc, font_ ? font_ : GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, IsWindowEnabled(hwnd_) ? textColor_ : GetSysColor(COLOR_GRAYTEXT));
    DrawTextA(dc, caption_.c_str(), static_cast<int>(caption_.size()), &client,
              DT_SINGLELINE | DT_LEFT | DT_TOP | DT_NOPREFIX);
    SelectObject(dc, old);
    EndPaint(hwnd_, &ps);
}

LRESULT CALLBACK TFileLabel::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* label = static_cast<TFileLabel*>(WindowObject(hwnd, msg, lp));
    if (label && msg == WM_NCCREATE) label->hwnd_ = hwnd;
    if (label) {
        switch (msg) {
        case WM_SIZE:
            label->Fit();
            return 0;
        case WM_SETFONT:
            label->SetFont(reinterpret_cast<HFONT>(wp));
            return 0;
        case WM_GETFONT:
            return reinterpret_cast<LRESULT>(label->font_);
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            label->Paint();
            return 0;
        case WM_NCDESTROY:
            label->hwnd_ = nullptr;
            SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
            break;
        default:
            break;
        }
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}
