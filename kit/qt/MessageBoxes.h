// The kit's message boxes shown with Qt. The box offers the kit's default
// button first and answers the kit's closed-box answer on Escape or close.
#pragma once

#include "MsgBox.h"

#include <QString>
#include <string>

class QMessageBox;
class QWidget;

// The 8-bit texts of the programs as the windows show them.
QString Local(const std::string& s);

// A message box; "\r" in text breaks the line. owner may be null. The caller
// shows it modally (exec) or not (show) and owns it.
QMessageBox* MakeMessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                            MsgIcon icon, MsgButtons buttons);
// The answer of a finished box from its result code; a result that is no
// button of the box is the closed-box answer.
MsgAnswer AnswerOfResult(int result, MsgButtons buttons);
// The result code that finishes a box with the given answer (QDialog::done).
int ResultOf(MsgAnswer answer);
// Shows a box modally and returns its answer.
MsgAnswer ShowMessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                         MsgIcon icon, MsgButtons buttons);
