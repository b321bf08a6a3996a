// The split engine's window side of IWindowBridge on Windows: it runs the
// worker's requests on the window thread (a message-only window of that
// thread) and answers them with the program's windows.
#pragma once

#include "WindowLoop.h"
#include "uBridge.h"

#include <string>

class TDisk;
class TErase;
class TGui;

class TWindowBridge : public IWindowBridge {
  public:
    // To be made on the window thread.
    TWindowBridge(TGui& gui, TDisk& disk, TErase& erase) : gui_(gui), disk_(disk), erase_(erase) {}

    void Synchronize(const std::function<void()>& fn) override { loop_.Synchronize(fn); }
    void Post(std::function<void()> fn) override { loop_.Post(std::move(fn)); }
    // Owned by the main window.
    MsgAnswer MessageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                         MsgButtons buttons) override;
    // The disk change dialog, with the statistics tick stopped while it is up.
    bool PromptForDisk(JobState& job) override;
    // The erase dialog, shown while it empties the target.
    void EraseTarget(JobState& job) override;
    void ShowCompareNotice() override;
    void ShowJoinNotice() override;

  private:
    TGui& gui_;
    TDisk& disk_;
    TErase& erase_;
    WindowLoop loop_;
};
