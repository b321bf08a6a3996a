// Message boxes as the programs ask for them, free of any toolkit: the kinds
// of picture, the button sets and the answers, and the rules that decide
// which button a box offers first and what a box answers when it is closed
// without a button. A backend (qt/, win32/) shows the box.
#pragma once

#include <functional>
#include <string>

// Stop is the picture of Error under its older name; both show the same.
enum class MsgIcon { None, Information, Question, Warning, Error, Stop };
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MsgAnswer { Ok, Cancel, Yes, No };

// The button a box takes on Enter: its first one (Ok or Yes).
MsgAnswer DefaultAnswer(MsgButtons buttons);

// What a box answers when it is closed without a button (title-bar close,
// Escape), and for a box that can no longer be shown because the program is
// closing: its most careful button (Ok, No or Cancel).
MsgAnswer ClosedBoxAnswer(MsgButtons buttons);

// Shows a modal message box and returns the button pressed. An empty caption
// leaves the title to the system; "\r" in text breaks the line.
using MessageBoxFn = std::function<MsgAnswer(const std::string& text, const std::string& caption,
                                             MsgIcon icon, MsgButtons buttons)>;
