#include "uDisk.h"

#include "MessageBoxes.h"
#include "uErase.h"
#include "uForms.h"

namespace {

// The dialog whose abort question is up, for the hook that watches its answer.
TDisk* asking = nullptr;
HHOOK answerHook = nullptr;

} // namespace

TDisk::TDisk(JobState& job, TErase& erase)
    : TDiskRules(job), Check(0, [this] { CheckTimer(); }),
      Beep([] { MessageBeep(MB_ICONEXCLAMATION); }), erase_(erase) {
    // A caption without any title-bar button: no system menu, no close box.
    if (!Create(disktext::Caption, WS_POPUP | WS_CAPTION, 0, 375, 118)) return;
    HWND form = Handle();
    HFONT font = DialogFont();

    Animate1 = std::make_unique<TAnimate>(form, 8, 8, 80, 50, aviFindFolder);
    Animate1->Play(0, 29, 0);

    diskPrompt = AddLabel(form, disktext::NewDiskPrompt, 16, 64, font, IdDiskPrompt);

    filePrompt = std::make_unique<TFileLabel>(form, 16, 82, 265, 17, drFromLeft, font);
    filePrompt->SetAutoSize(false);

    // First and second in the tab order.
    OK = AddControl(form, "BUTTON", disktext::CheckButton, BS_DEFPUSHBUTTON | WS_TABSTOP, 294, 48,
                    75, 25, IdOK, font);
    Cancel = AddControl(form, "BUTTON", disktext::CancelButton, BS_PUSHBUTTON | WS_TABSTOP, 294, 80,
                        75, 25, IdCancel, font);
}

TDisk::~TDisk() {
    Check.Stop();
}

void TDisk::Prepare() {
    BeginPrompt();
    SetWindowTextStr(diskPrompt, PromptText());
    SizeLabelToText(diskPrompt);
    filePrompt->SetFileName(PromptPath());
    if (CheckMs() == 0) {
        Check.Stop();
        ShowWindow(OK, SW_SHOW);
    } else {
        ShowWindow(OK, SW_HIDE);
        StartCheckTimer();
    }
}

bool TDisk::Prompt() {
    Prepare();
    const int result = ShowModal();
    Check.Stop();
    return result == IDOK && Succeeded() && !Aborted();
}

void TDisk::StopCheckTimer() {
    Check.Stop();
}

void TDisk::StartCheckTimer() {
    Check.SetInterval(static_cast<UINT>(CheckMs()));
    Check.Start();
}

void TDisk::EnableCheckButton(bool enabled) {
    EnableWindow(OK, enabled ? TRUE : FALSE);
}

void TDisk::EraseTarget(const std::function<bool()>& stop) {
    erase_.EraseTarget(stop);
}

void TDisk::CloseDialog(bool ok) {
    EndModal(ok ? IDOK : IDCANCEL);
}

LRESULT CALLBACK TDisk::WatchAnswer(int code, WPARAM wp, LPARAM lp) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lp);
    if (code == HC_ACTION && asking && GetWindow(call->hwnd, GW_OWNER) == asking->Handle()) {
        // Above the erase dialog, which stays on top while it works: the box
        // is made topmost as it starts, where the system does not do so for
        // MB_TOPMOST itself.
        if (call->message == WM_INITDIALOG)
            SetWindowPos(call->hwnd, HWND_TOPMOST, 0, 0, 0, 0,
                         SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        // The Yes of the box, seen as the box is told of it, before the box
        // returns: an erase running inside a check meanwhile stops at once.
        if (call->message == WM_COMMAND && LOWORD(call->wParam) == IDYES &&
            HIWORD(call->wParam) == BN_CLICKED)
            asking->AbortConfirmed();
    }
    return CallNextHookEx(answerHook, code, wp, lp);
}

bool TDisk::AskAbortQuestion() {
    asking = this;
    answerHook =
        SetWindowsHookExA(WH_CALLWNDPROC, &TDisk::WatchAnswer, nullptr, GetCurrentThreadId());
    // Owned by the dialog, which it disables while it is up, and above the
    // erase dialog.
    const MsgAnswer answer = ShowMessageBox(Handle(), disktext::AbortQuestion, disktext::AbortTitle,
                                            MsgIcon::Stop, MsgButtons::YesNo, MB_TOPMOST);
    if (answerHook) UnhookWindowsHookEx(answerHook);
    answerHook = nullptr;
    asking = nullptr;
    return answer == MsgAnswer::Yes;
}

LRESULT TDisk::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_SHOWWINDOW:
        if (lp == 0) { // shown or hidden by ShowWindow, not with its owner
            if (wp) {
                Shown();
                if (Beep) Beep();
            } else {
                Hidden();
            }
        }
        break;
    case WM_COMMAND:
        if (HIWORD(wp) == BN_CLICKED) {
            // Enter reaches "Check !" only while it is there to be pressed.
            if (LOWORD(wp) == IdOK) {
                if (IsWindowVisible(OK) && IsWindowEnabled(OK)) CheckTimer();
                return 0;
            }
            if (LOWORD(wp) == IdCancel) {
                CancelClick();
                return 0;
            }
        }
        break;
    case WM_ACTIVATE:
        // The keyboard goes to the first button there is to press.
        if (LOWORD(wp) != WA_INACTIVE && !IsChild(Handle(), GetFocus())) {
            SetFocus(IsWindowVisible(OK) && IsWindowEnabled(OK) ? OK : Cancel);
            return 0;
        }
        break;
    case WM_CLOSE:
        // Alt+F4 asks the abort question too.
        CancelClick();
        return 0;
    default:
        break;
    }
    return TForm::HandleMessage(msg, wp, lp);
}
