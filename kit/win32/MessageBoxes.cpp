#include "MessageBoxes.h"

namespace {

UINT IconFlag(MsgIcon icon) {
    switch (icon) {
    case MsgIcon::None:
        break;
    case MsgIcon::Information:
        return MB_ICONINFORMATION;
    case MsgIcon::Question:
        return MB_ICONQUESTION;
    case MsgIcon::Warning:
        return MB_ICONWARNING;
    case MsgIcon::Error:
        return MB_ICONERROR;
    case MsgIcon::Stop:
        return MB_ICONHAND;
    }
    return 0;
}

UINT ButtonsFlag(MsgButtons buttons) {
    switch (buttons) {
    case MsgButtons::Ok:
        break;
    case MsgButtons::OkCancel:
        return MB_OKCANCEL;
    case MsgButtons::YesNo:
        return MB_YESNO;
    case MsgButtons::YesNoCancel:
        return MB_YESNOCANCEL;
    }
    return MB_OK;
}

bool HasButton(MsgButtons buttons, MsgAnswer answer) {
    switch (buttons) {
    case MsgButtons::Ok:
        return answer == MsgAnswer::Ok;
    case MsgButtons::OkCancel:
        return answer == MsgAnswer::Ok || answer == MsgAnswer::Cancel;
    case MsgButtons::YesNo:
        return answer == MsgAnswer::Yes || answer == MsgAnswer::No;
    case MsgButtons::YesNoCancel:
        return answer != MsgAnswer::Ok;
    }
    return false;
}

} // namespace

UINT MessageBoxFlags(MsgIcon icon, MsgButtons buttons) {
    // The default button is the first (Ok or Yes), as DefaultAnswer gives.
    return IconFlag(icon) | ButtonsFlag(buttons) | MB_DEFBUTTON1;
}

MsgAnswer AnswerOfResult(int result, MsgButtons buttons) {
    MsgAnswer answer;
    switch (result) {
    case IDOK:
        answer = MsgAnswer::Ok;
        break;
    case IDCANCEL:
        answer = MsgAnswer::Cancel;
        break;
    case IDYES:
        answer = MsgAnswer::Yes;
        break;
    case IDNO:
        answer = MsgAnswer::No;
        break;
    default:
        return ClosedBoxAnswer(buttons);
    }
    // A box closed by the system (Escape on a box without Cancel, for one)
    // may report a button it does not have.
    return HasButton(buttons, answer) ? answer : ClosedBoxAnswer(buttons);
}

int ResultOf(MsgAnswer answer) {
    switch (answer) {
    case MsgAnswer::Ok:
        break;
    case MsgAnswer::Cancel:
        return IDCANCEL;
    case MsgAnswer::Yes:
        return IDYES;
    case MsgAnswer::No:
        return IDNO;
    }
    return IDOK;
}

MsgAnswer ShowMessageBox(HWND owner, const std::string& text, const std::string& caption,
                         MsgIcon icon, MsgButtons buttons, UINT extraFlags) {
    // MessageBoxA breaks the line at a lone "\r" itself.
    const int result = MessageBoxA(owner, text.c_str(), caption.empty() ? nullptr : caption.c_str(),
                                   MessageBoxFlags(icon, buttons) | extraFlags);
    return AnswerOfResult(result, buttons);
}

namespace {

// The closed-box answer of a message box, told by the buttons it has; 0
// for a box whose buttons are not there yet.
int ClosedResultOf(HWND box) {
    const bool yes = GetDlgItem(box, IDYES) != nullptr;
    const bool cancel = GetDlgItem(box, IDCANCEL) != nullptr;
    if (!yes && !cancel && !GetDlgItem(box, IDOK)) return 0;
    MsgButtons buttons;
    if (yes)
        buttons = cancel ? MsgButtons::YesNoCancel : MsgButtons::YesNo;
    else
        buttons = cancel ? MsgButtons::OkCancel : MsgButtons::Ok;
    return ResultOf(ClosedBoxAnswer(buttons));
}

BOOL CALLBACK CloseBox(HWND hwnd, LPARAM lp) {
    char cls[16] = {};
    if (GetClassNameA(hwnd, cls, sizeof cls) == 0 || lstrcmpA(cls, "#32770") != 0) return TRUE;
    // A box still being built (not shown yet) is left alone: its buttons, and
    // so its answer, are not known before it shows.
    if (!IsWindowVisible(hwnd)) return TRUE;
    const int result = ClosedResultOf(hwnd);
    if (result == 0) return TRUE;
    auto* closed = reinterpret_cast<int*>(lp);
    SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(result, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(hwnd, result)));
    ++*closed;
    return TRUE;
}

} // namespace

int CloseThreadMessageBoxes(DWORD threadId) {
    int closed = 0;
    EnumThreadWindows(threadId, CloseBox, reinterpret_cast<LPARAM>(&closed));
    return closed;
}
