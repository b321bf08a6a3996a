// What the split engine's three windows share: fonts, placement and the
// program's icon. Texts and message boxes come from the kit's Qt backend.
#pragma once

#include "MessageBoxes.h"
#include "uBridge.h"

#include <QFont>
#include <QIcon>
#include <QString>
#include <QStringList>
#include <string>

class QWidget;

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
