// The kit's message boxes shown with MessageBoxA. The flags follow the kit's
// kinds: MB_OK, MB_OKCANCEL, MB_YESNO or MB_YESNOCANCEL, and MB_ICONINFORMATION,
// MB_ICONQUESTION, MB_ICONWARNING, MB_ICONERROR or MB_ICONHAND (Stop); the
// first button is the default one. "\r" in a text breaks the line.
#pragma once

#include "MsgBox.h"

#include <windows.h>

#include <string>

// The MessageBoxA flags of a box of these kinds.
UINT MessageBoxFlags(MsgIcon icon, MsgButtons buttons);
// The kit's answer of a MessageBoxA result; a result that is no button of the
// box is the closed-box answer.
MsgAnswer AnswerOfResult(int result, MsgButtons buttons);
// The MessageBoxA result (IDOK, IDCANCEL, IDYES, IDNO) that stands for answer.
int ResultOf(MsgAnswer answer);
// A modal box owned by owner (may be null: owned by the application), shown
// on the calling thread, with the given extra flags (MB_TOPMOST, MB_TASKMODAL...).
MsgAnswer ShowMessageBox(HWND owner, const std::string& text, const std::string& caption,
                         MsgIcon icon, MsgButtons buttons, UINT extraFlags = 0);
// Closes the message boxes that thread threadId shows now, each with its
// closed-box answer (the button it would answer on Escape). Returns how many.
int CloseThreadMessageBoxes(DWORD threadId);
