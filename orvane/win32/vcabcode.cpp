#include "vcabcode.h"

#include "DrawSteps.h"
#include "MessageBoxes.h"
#include "vDirectives.h"
#include "vPictures.h"

#include <commctrl.h>

namespace {

constexpr int CancelId = 101, PauseId = 102; // clear of IDOK and IDCANCEL (Enter, Escape)
constexpr COLORREF Silver = RGB(192, 192, 192), White = RGB(255, 255, 255);

void SetUpBar(TGradProgress& bar, HFONT font) {
    bar.SetUseSystemColors(true);
    bar.SetSmooth(false);
    bar.SetRelativeGradient(false);
    bar.SetBevelStyle(bsLowered);
    bar.SetBevelWidth(1);
    bar.SetStartColor(2107544); // RGB(152, 40, 32)
    bar.SetEndColor(Silver);
    bar.SetPosition(0);
    bar.SetMaxValue(100);
    bar.SetStep(1);
    bar.SetShowPercent(false);
    bar.SetBackColor(GetSysColor(COLOR_BTNFACE));
    bar.SetFont(font, White);
}

// A disabled button's picture: each colour as a grey of its lightness, kept
// light enough to read as unavailable on the button face.
void Grey(std::vector<TDrawStep>& steps) {
    const auto grey = [](TColor& c) {
        const int lightness = (c.r * 3 + c.g * 6 + c.b) / 10;
        const auto v = std::uint8_t(96 + lightness * 104 / 255);
        c.r = c.g = c.b = v;
    };
    for (TDrawStep& s : steps) {
        grey(s.pen.color);
        grey(s.brush);
    }
}

} // namespace

TCabEncode::TCabEncode(const std::vector<std::string>& args, TShellState& state)
    : state_(state), events_(state,
                             [this](const std::string& text, const std::string& caption,
                                    MsgIcon icon, MsgButtons buttons) {
                                 return WorkerMessageBox(text, caption, icon, buttons);
                             }),
      worker_(Cab, state, events_) {
    Create(AppTitle, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0, 368, 136);
    const HWND form = Handle();
    font_ = MakeFont("MS Sans Serif", 11);
    barFont_ = MakeFont("MS Sans Serif", 13);

    anim = std::make_unique<TAnimate>(form, 8, 16, 272, 60, aviCopyFiles);
    anim->Play(0, 33, 0);

    const std::string separator(1, plat::PathSep);
    Target = std::make_unique<TFileLabel>(form, 8, 80, 273, 17, drFromLeft, font_);
    Target->SetSeparator(separator);
    Major = std::make_unique<TGradProgress>(form, 8, 100, 273, 13);
    SetUpBar(*Major, barFont_);
    Source = std::make_unique<TFileLabel>(form, 8, 116, 185, 17, drFromLeft, font_);
    Source->SetSeparator(separator);
    Minor = std::make_unique<TGradProgress>(form, 200, 116, 78, 6);
    SetUpBar(*Minor, barFont_);

    // Flat buttons with a picture before the caption, drawn by the window.
    Cancel = AddControl(form, "BUTTON", "Cancel", BS_OWNERDRAW | WS_TABSTOP, 288, 77, 73, 22,
                        CancelId, font_);
    pause = AddControl(form, "BUTTON", "Pause", BS_OWNERDRAW | WS_TABSTOP, 288, 101, 73, 22,
                       PauseId, font_);
    for (HWND button : {Cancel, pause})
        SetWindowSubclass(button, &TCabEncode::ButtonProc, 0, reinterpret_cast<DWORD_PTR>(this));

    Timer.OnTimer = [this] { TimerTimer(); };
    boxCloser_.OnTimer = [this] {
        CloseWorkerBoxes();
        if (state_.Finished.load()) boxCloser_.Stop();
    };

    SetWindowDefaults(Cab);
    events_.Bind(Cab);

    FormCreate(args);
    // Not earlier: the boxes of the start-up run a modal loop, in which a
    // tick would start the worker before the checks are through.
    Timer.Start();
}

TCabEncode::~TCabEncode() {
    Timer.Stop();
    boxCloser_.Stop();
    // The worker ends before the component and the handlers it uses.
    worker_.WaitFor();
    anim.reset();
    Target.reset();
    Major.reset();
    Source.reset();
    Minor.reset();
    if (Cancel) DestroyWindow(Cancel);
    if (pause) DestroyWindow(pause);
    DeleteObject(font_);
    DeleteObject(barFont_);
}

void TCabEncode::FormCreate(const std::vector<std::string>& args) {
    const MessageBoxFn box = [](const std::string& text, const std::string& caption, MsgIcon icon,
                                MsgButtons buttons) {
        return ShowMessageBox(nullptr, text, caption, icon, buttons);
    };
    if (StartUpOrExit(args, Cab, state_, box)) TimerTimer();
}

void TCabEncode::TimerTimer() {
    Major->SetPosition(state_.MajorPercent.load(std::memory_order_relaxed));
    Minor->SetPosition(state_.MinorPercent.load(std::memory_order_relaxed));
    Source->SetFileName(state_.CurrentFile.Get());
    Target->SetFileName(state_.CurrentCab.Get());
    if (state_.Finished.load()) {
        PostQuitMessage(0);
        return;
    }
    if (startPending_) {
        startPending_ = false;
        worker_.Start();
    }
}

void TCabEncode::pauseClick() {
    if (WindowText(pause) == "Pause") {
        if (GetFocus() == Cancel) SetFocus(pause);
        EnableWindow(Cancel, FALSE);
        anim->Stop();
        state_.Gate.Close();
        SetWindowTextStr(pause, "Resume");
    } else {
        // A build already cancelling keeps its "Wait..." button disabled.
        EnableWindow(Cancel, !state_.Cancel.load());
        anim->Play(0, 33, 0);
        state_.Gate.Open();
        SetWindowTextStr(pause, "Pause");
    }
    InvalidateRect(pause, nullptr, TRUE);
}

void TCabEncode::CancelClick() {
    SetWindowTextStr(Cancel, "Wait...");
    if (GetFocus() == Cancel) SetFocus(pause);
    EnableWindow(Cancel, FALSE);
    InvalidateRect(Cancel, nullptr, TRUE);
    state_.Cancel = true;
}

LRESULT TCabEncode::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_COMMAND:
        // An owner-drawn button reports a quick second click as a double click.
        if (HIWORD(wp) == BN_CLICKED || HIWORD(wp) == BN_DOUBLECLICKED) {
            if (LOWORD(wp) == CancelId) CancelClick();
            if (LOWORD(wp) == PauseId) pauseClick();
        }
        return 0;
    case WM_DRAWITEM: {
        const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
        if (item.CtlType != ODT_BUTTON) break;
        DrawButton(item);
        return TRUE;
    }
    case WM_CLOSE:
        if (!worker_.Started() || state_.Finished.load()) {
            Hide();
            PostQuitMessage(0);
        } else {
            CloseDuringBuild();
        }
        return 0;
    }
    return TForm::HandleMessage(msg, wp, lp);
}

void TCabEncode::CloseDuringBuild() {
    // The build stops at its next safe point, without asking anything more,
    // removes the cabinet it left incomplete and closes the log; the timer
    // then ends the program.
    Hide();
    state_.Closing = true;
    state_.Cancel = true;
    state_.Gate.Release();
    CloseWorkerBoxes();
    // A box the worker was just putting up is closed on the next tick.
    boxCloser_.Start();
}

void TCabEncode::CloseWorkerBoxes() {
    if (const DWORD thread = boxThread_.load()) CloseThreadMessageBoxes(thread);
}

MsgAnswer TCabEncode::WorkerMessageBox(const std::string& text, const std::string& caption,
                                       MsgIcon icon, MsgButtons buttons) {
    // Recorded before the check, so that a close coming in between finds the box.
    boxThread_.store(GetCurrentThreadId());
    if (state_.Closing.load()) return ClosedBoxAnswer(buttons);
    return ShowMessageBox(nullptr, text, caption, icon, buttons, MB_SETFOREGROUND);
}

void TCabEncode::DrawButton(const DRAWITEMSTRUCT& item) {
    const HDC dc = item.hDC;
    const RECT rc = item.rcItem;
    const bool pressed = item.itemState & ODS_SELECTED;
    const bool disabled = item.itemState & ODS_DISABLED;
    const int shift = pressed ? 1 : 0;
    FillRect(dc, &rc, GetSysColorBrush(COLOR_BTNFACE));
    // Flat: an edge only under the mouse, sunken while pressed.
    if (pressed || (item.hwndItem == hot_ && !disabled)) {
        RECT edge = rc;
        DrawEdge(dc, &edge, pressed ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
    }

    const bool scissors = item.hwndItem == Cancel;
    const int size = scissors ? ScissorsSize : BellSize;
    const std::string text = WindowText(item.hwndItem);
    const HGDIOBJ oldFont = SelectObject(dc, font_);
    SIZE extent{};
    GetTextExtentPoint32A(dc, text.c_str(), int(text.size()), &extent);
    constexpr int Gap = 4; // between picture and caption
    const int width = rc.right - rc.left, height = rc.bottom - rc.top;
    const int left = rc.left + (width - (size + Gap + extent.cx)) / 2 + shift;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(disabled ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
    TextOutA(dc, left + size + Gap, rc.top + (height - extent.cy) / 2 + shift, text.c_str(),
             int(text.size()));
    SelectObject(dc, oldFont);
    if ((item.itemState & ODS_FOCUS) && !(item.itemState & ODS_NOFOCUSRECT)) {
        RECT focus = rc;
        InflateRect(&focus, -2, -2);
        DrawFocusRect(dc, &focus);
    }

    TStepRecorder r;
    r.Translate({double(left), double(rc.top + (height - size) / 2 + shift)});
    if (scissors)
        DrawScissors(r);
    else
        DrawBell(r);
    std::vector<TDrawStep> steps = r.Take();
    if (disabled) Grey(steps);
    const int saved = SaveDC(dc);
    DrawSteps(dc, steps);
    RestoreDC(dc, saved);
}

LRESULT CALLBACK TCabEncode::ButtonProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                        DWORD_PTR data) {
    auto* self = reinterpret_cast<TCabEncode*>(data);
    switch (msg) {
    case WM_MOUSEMOVE:
        if (self->hot_ != hwnd) {
            if (self->hot_) InvalidateRect(self->hot_, nullptr, TRUE);
            self->hot_ = hwnd;
            TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, hwnd, 0};
            TrackMouseEvent(&track);
            InvalidateRect(hwnd, nullptr, TRUE);
        }
        break;
    case WM_MOUSELEAVE:
        if (self->hot_ == hwnd) {
            self->hot_ = nullptr;
            InvalidateRect(hwnd, nullptr, TRUE);
        }
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(hwnd, &TCabEncode::ButtonProc, 0);
        break;
    }
    return DefSubclassProc(hwnd, msg, wp, lp);
}
