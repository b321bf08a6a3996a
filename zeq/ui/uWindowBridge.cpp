#include "uWindowBridge.h"

#include "uDisk.h"
#include "uErase.h"
#include "uForms.h"
#include "uGui.h"

MsgAnswer TWindowBridge::MessageBox(const std::string& text, const std::string& caption,
                                    MsgIcon icon, MsgButtons buttons) {
    return ShowMessageBox(&gui_, text, caption, icon, buttons);
}

bool TWindowBridge::PromptForDisk(JobState&) {
    gui_.Stats->stop();
    if (!disk_.Prompt()) return false; // the worker ends the program with exit code 1
    gui_.Stats->start();
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
