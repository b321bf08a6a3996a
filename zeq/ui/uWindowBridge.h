// The split engine's window side of IWindowBridge: it runs the worker's
// requests on the window thread and answers them with the program's windows.
#pragma once

#include "uBridge.h"

#include <string>

class QWidget;
class TGui;

// A modal message box; "\r" in text breaks the line. owner may be null.
MsgAnswer ShowMessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                         MsgIcon icon, MsgButtons buttons);

class TWindowBridge : public IWindowBridge {
  public:
    explicit TWindowBridge(TGui& gui) : gui_(gui) {}

    void Synchronize(const std::function<void()>& fn) override;
    MsgAnswer MessageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                         MsgButtons buttons) override;
    // For now a plain box that checks again each time OK is pressed; the disk
    // change dialog takes its place here.
    bool PromptForDisk(JobState& job) override;
    // For now the erase runs without a dialog of its own; the erase dialog
    // takes its place here.
    void EraseTarget(JobState& job) override;
    void ShowCompareNotice() override;
    void ShowJoinNotice() override;

  private:
    TGui& gui_;
};
