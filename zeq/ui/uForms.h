// What the split engine's three windows share: text conversion, fonts,
// placement, the program's icon and its message boxes.
#pragma once

#include "uBridge.h"

#include <QFont>
#include <QIcon>
#include <QString>
#include <QStringList>
#include <string>

class QMessageBox;
class QWidget;

// The 8-bit texts of the job as the windows show them.
QString Local(const std::string& s);

// A font of the given pixel height: the first family of the list that the
// system has, else the nearest one it offers.
QFont WindowFont(const QStringList& families, int pixelHeight);
// The faces the windows are laid out for, with look-alikes of free systems.
QFont VerdanaFont(); // Verdana, 11 pixels: the main window
QFont NarrowFont();  // Arial Narrow, 11 pixels: the figures of the details panel
QFont DialogFont();  // MS Sans Serif, 11 pixels: the dialogs

// Gives a top-level window a fixed client size and centres it on its screen.
void PlaceCentred(QWidget* window, int clientWidth, int clientHeight);

// The program's icon: a pie with one slice taken out, 32 by 32 pixels.
QIcon ZeqIcon();

// A message box of the program; "\r" in text breaks the line. owner may be null.
QMessageBox* MakeMessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                            MsgIcon icon, MsgButtons buttons);
// The answer of a closed box from the button that closed it.
MsgAnswer AnswerOf(int result, MsgButtons buttons);
// Shows a box modally and returns its answer.
MsgAnswer ShowMessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                         MsgIcon icon, MsgButtons buttons);
