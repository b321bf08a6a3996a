// The split engine's only way to the window thread. The worker never touches a
// window itself: it asks the window side to run a function on its own thread
// and waits for it (Synchronize), and inside such a call it uses the services
// below. The program implements this with its windows; tests with a script.
#pragma once

#include "MsgBox.h"
#include "WindowThread.h"

#include <string>

struct JobState;

class IWindowBridge : public IWindowThread {
  public:
    // The services below are called on the window thread only (inside Synchronize).

    // A modal message box. Line breaks in text are single carriage returns ("\r").
    virtual MsgAnswer MessageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                                 MsgButtons buttons) = 0;

    // Asks for a disk and returns true once it is there, false when the user
    // gave up. With job.WritingPies a disk is wanted in job.TargetPath with at
    // least job.RequiredSpace free bytes (erased first as job.EraseOption asks);
    // otherwise the disk that holds the file job.CurrentPie.
    virtual bool PromptForDisk(JobState& job) = 0;

    // Empties job.TargetPath as job.EraseOption asks (EraseFolder), showing
    // what it is doing.
    virtual void EraseTarget(JobState& job) = 0;

    // Phase notices of the main window.
    virtual void ShowCompareNotice() = 0;
    virtual void ShowJoinNotice() = 0;
};
