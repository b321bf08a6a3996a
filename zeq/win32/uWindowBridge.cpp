#include "uWindowBridge.h"

#include "MessageBoxes.h"
#include "uDisk.h"
#include "uErase.h"
#include "uGui.h"

MsgAnswer TWindowBridge::MessageBox(const std::string& text, const std::string& caption,
                                    MsgIcon icon, MsgButtons buttons) {
    return ShowMessageBox(gui_.Handle(), text, caption, icon, buttons);
}

bool TWindowBridge::PromptForDisk(JobState&) {
    gui_.Stats.Stop();
    if (!disk_.Prompt()) return false; // the worker ends the program with exit code 1
    gui_.Stats.Start();
    return true;
}

void TWindowBridge::EraseTarget(JobState&) {
    erase_.EraseTarget();
}

void TWindowBridge::ShowCompareNotice() {
    gui_.ShowCompareNotice();
}

void TWindowBridge::ShowJoinNotice() {
    gui_.ShowJoinNotice();
}
