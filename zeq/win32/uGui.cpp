#include "uGui.h"

#include "uForms.h"
#include "uUtils.h"

#include <commctrl.h>

namespace {

constexpr DWORD GuiStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

bool TextIs(HWND control, const char* text) {
    return WindowText(control) == text;
}

} // namespace

TGui::TGui(JobState& job)
    : Stats(3141, [this] { StatsTimer(); }), FreeSpace(TargetFree), TotalSpace(TargetTotal),
      Quit([] { PostQuitMessage(0); }), job_(job) {
    if (!Create(guitext::DefaultCaption, GuiStyle, 0, ClientWidth, CollapsedHeight, nullptr,
                ZeqIcon()))
        return;
    HWND form = Handle();
    HFONT font = VerdanaFont();

    // Its width follows the text it shows; it starts with no text and so no
    // width, and a piece's path then shows as its file name.
    FileName = std::make_unique<TFileLabel>(form, 8, 3, 0, 13, drFromLeft, font);
    FileName->SetAutoSize(true);

    avi = std::make_unique<TAnimate>(form, 8, 24, 272, 60, aviCopyFile);
    avi->Play(0, 26, 0);

    Notice = AddLabel(form, guitext::SplitNotice, 8, 88, font, IdNotice);

    Progress = AddControl(form, PROGRESS_CLASSA, "", 0, 8, 110, 273, 13, IdProgress, nullptr);
    SendMessageA(Progress, PBM_SETRANGE32, 0, 100);
    SendMessageA(Progress, PBM_SETPOS, 0, 0);

    // A check box drawn as a push button stays down while it is checked; the
    // handler sets its state, so the button never toggles by itself.
    Action = AddControl(form, "BUTTON", guitext::Pause, BS_CHECKBOX | BS_PUSHLIKE | WS_TABSTOP, 288,
                        112, 73, 25, IdAction, font);
    AddHint(Action, guitext::PauseHint);

    MainFileName = std::make_unique<TFileLabel>(form, 8, 128, 273, 17, drFromLeft, font);
    MainFileName->SetAutoSize(false);

    More = AddControl(form, "BUTTON", guitext::More, BS_OWNERDRAW | WS_TABSTOP, 328, 138, 33, 13,
                      IdMore, font);
    SetWindowSubclass(More, &TGui::MoreProc, 0, reinterpret_cast<DWORD_PTR>(this));
    AddHint(More, guitext::MoreHint);

    // An etched line along the top edge of the panel's 353 x 6 area.
    Bevel1 = AddControl(form, "STATIC", "", SS_ETCHEDHORZ, 8, 152, 353, 2, IdBevel1, nullptr);

    Label3D1 =
        AddControl(form, "STATIC", guitext::Maker, SS_OWNERDRAW, 9, 159, 71, 13, IdLabel3D1, font);
    EnableWindow(Label3D1, FALSE);
    Stat1 = AddLabel(form, "", 96, 158, NarrowFont(), IdStat1);

    Label3D2 =
        AddControl(form, "STATIC", guitext::Family, SS_OWNERDRAW, 9, 175, 80, 13, IdLabel3D2, font);
    EnableWindow(Label3D2, FALSE);
    Stat2 = AddLabel(form, "", 96, 174, NarrowFont(), IdStat2);

    Stats.Start();
}

TGui::~TGui() {
    Stats.Stop();
    if (More) RemoveWindowSubclass(More, &TGui::MoreProc, 0);
}

bool TGui::FormCreate(const std::string& captionArg, const std::string& folder,
                      IWindowBridge& bridge, std::string& error) {
    SetWindowTextStr(Handle(), MainCaption(captionArg, ""));
    error.clear(); // LoadJob expects an empty error text
    if (!LoadJob(folder, job_, error)) return false;
    SetWindowTextStr(Handle(), MainCaption(captionArg, job_.Settings().JobTitle));
    MainFileName->SetFileName(job_.Settings().SourcePath);
    worker_ = std::make_unique<Zeq>(job_, bridge);
    worker_->Start();
    return true;
}

void TGui::StatsTimer() {
    const TStatsFigures f = StatsFigures(job_, FreeSpace, TotalSpace);
    SendMessageA(Progress, PBM_SETRANGE32, 0, f.maximum);
    SendMessageA(Progress, PBM_SETPOS, static_cast<WPARAM>(f.position), 0);
    FileName->SetFileName(f.currentPie);
    SetWindowTextStr(Stat1, f.memory);
    SizeLabelToText(Stat1);
    SetWindowTextStr(Stat2, f.freeSpace);
    SizeLabelToText(Stat2);
    if (f.finished) Quit();
}

void TGui::ActionClick() {
    Zeq* worker = job_.Worker;
    if (TextIs(Action, guitext::Pause)) {
        avi->Stop();
        SetWindowTextStr(Action, guitext::Paused);
        SendMessageA(Action, BM_SETCHECK, BST_CHECKED, 0);
        // The worker stops at its next safe point, between two reads or writes,
        // never while it holds something this thread may need.
        if (worker) worker->Pause();
    } else {
        if (worker) worker->Resume();
        SendMessageA(Action, BM_SETCHECK, BST_UNCHECKED, 0);
        SetWindowTextStr(Action, guitext::Pause);
        avi->SetActive(true);
    }
}

void TGui::MoreClick() {
    if (TextIs(More, guitext::More)) {
        SetWindowTextStr(More, guitext::Less);
        SetClientSize(Handle(), ClientWidth, ExpandedHeight);
    } else {
        SetWindowTextStr(More, guitext::More);
        SetClientSize(Handle(), ClientWidth, CollapsedHeight);
    }
    InvalidateRect(More, nullptr, TRUE);
}

void TGui::ShowPhase(const char* notice, TCommonAVI clip) {
    SetWindowTextStr(Notice, notice);
    SizeLabelToText(Notice);
    avi->SetCommonAVI(clip);
    // A paused job keeps its clip still until it is resumed.
    avi->SetActive(TextIs(Action, guitext::Pause));
}

void TGui::ShowCompareNotice() {
    ShowPhase(guitext::CompareNotice, aviFindFile);
}

void TGui::ShowJoinNotice() {
    ShowPhase(guitext::JoinNotice, aviFindComputer);
}

void TGui::WaitWorker() {
    if (worker_) worker_->Wait();
}

void TGui::DrawMore(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    const RECT r = item.rcItem;
    const bool down = (item.itemState & ODS_SELECTED) != 0;
    FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
    // Flat: a frame only while the mouse is over it or it is pressed.
    if (down || moreHot_) {
        HPEN light = CreatePen(PS_SOLID, 1, RGB(255, 255, 255));
        HPEN dark = CreatePen(PS_SOLID, 1, RGB(0, 0, 0));
        HGDIOBJ old = SelectObject(dc, down ? dark : light);
        MoveToEx(dc, r.left, r.bottom - 1, nullptr);
        LineTo(dc, r.left, r.top);
        LineTo(dc, r.right - 1, r.top);
        SelectObject(dc, down ? light : dark);
        LineTo(dc, r.right - 1, r.bottom - 1);
        LineTo(dc, r.left - 1, r.bottom - 1);
        SelectObject(dc, old);
        DeleteObject(light);
        DeleteObject(dark);
    }
    const int shift = down ? 1 : 0;
    const COLORREF ink = IsWindowEnabled(item.hwndItem) ? RGB(0, 0, 0) : RGB(128, 128, 128);
    HGDIOBJ oldFont = SelectObject(dc, VerdanaFont());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, ink);
    RECT text{r.left + 1 + shift, r.top + shift, r.right - 7 + shift, r.bottom + shift};
    const std::string caption = WindowText(item.hwndItem);
    DrawTextA(dc, caption.c_str(), static_cast<int>(caption.size()), &text,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, oldFont);
    // The mark: a small triangle pointing down, right of the text.
    const int x = r.right - 7 + shift, y = (r.top + r.bottom) / 2 - 1 + shift;
    HPEN pen = CreatePen(PS_SOLID, 1, ink);
    HBRUSH brush = CreateSolidBrush(ink);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    const POINT mark[3] = {{x, y}, {x + 4, y}, {x + 2, y + 2}};
    Polygon(dc, mark, 3);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(pen);
    DeleteObject(brush);
}

void TGui::DrawLabel3D(const DRAWITEMSTRUCT& item, bool raised) {
    // The text in the light and the shadow edge colours, one pixel up and left
    // and one pixel down and right, and the text itself between them, greyed
    // when the label is disabled.
    HDC dc = item.hDC;
    const RECT r = item.rcItem;
    FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
    const std::string text = WindowText(item.hwndItem);
    HGDIOBJ oldFont = SelectObject(dc, VerdanaFont());
    SetBkMode(dc, TRANSPARENT);
    const UINT flags = DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;
    auto draw = [&](int dx, int dy, COLORREF colour) {
        RECT at{r.left + 1 + dx, r.top + 1 + dy, r.right - 1 + dx, r.bottom - 1 + dy};
        SetTextColor(dc, colour);
        DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &at, flags);
    };
    const COLORREF light = GetSysColor(COLOR_3DHILIGHT), shadow = GetSysColor(COLOR_3DSHADOW);
    draw(-1, -1, raised ? light : shadow);
    draw(1, 1, raised ? shadow : light);
    draw(0, 0, GetSysColor(IsWindowEnabled(item.hwndItem) ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
    SelectObject(dc, oldFont);
}

LRESULT CALLBACK TGui::MoreProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                DWORD_PTR data) {
    auto* gui = reinterpret_cast<TGui*>(data);
    if (msg == WM_MOUSEMOVE && !gui->moreHot_) {
        gui->moreHot_ = true;
        TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, hwnd, 0};
        TrackMouseEvent(&track);
        InvalidateRect(hwnd, nullptr, FALSE);
    } else if (msg == WM_MOUSELEAVE) {
        gui->moreHot_ = false;
        InvalidateRect(hwnd, nullptr, FALSE);
    }
    return DefSubclassProc(hwnd, msg, wp, lp);
}

LRESULT TGui::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_COMMAND:
        if (HIWORD(wp) == BN_CLICKED && LOWORD(wp) == IdAction) {
            ActionClick();
            return 0;
        }
        // A quick second press of a drawn button comes as a double click.
        if ((HIWORD(wp) == BN_CLICKED || HIWORD(wp) == BN_DOUBLECLICKED) && LOWORD(wp) == IdMore) {
            MoreClick();
            return 0;
        }
        break;
    case WM_DRAWITEM: {
        const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
        if (item.CtlID == IdMore) {
            DrawMore(item);
            return TRUE;
        }
        if (item.CtlID == IdLabel3D1 || item.CtlID == IdLabel3D2) {
            DrawLabel3D(item, item.CtlID == IdLabel3D2);
            return TRUE;
        }
        break;
    }
    case WM_ACTIVATE:
        // The keyboard goes to the pause button unless a control has it already.
        if (LOWORD(wp) != WA_INACTIVE && !IsChild(Handle(), GetFocus())) {
            SetFocus(Action);
            return 0;
        }
        break;
    case WM_CLOSE:
        // The main window: closing it ends the program, whatever else is shown.
        Quit();
        return 0;
    default:
        break;
    }
    return TForm::HandleMessage(msg, wp, lp);
}
