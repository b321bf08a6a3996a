// State that the cabinet builder's window thread and its build worker share.
// No Qt: the message boxes through which the worker's handlers ask the user
// are the kit's; the window shows them, tests answer from a script.
#pragma once

#include "MsgBox.h"
#include "PauseGate.h"
#include "Platform.h"
#include "Shared.h"
#include "vDirectiveReader.h"
#include "vUtils.h"

#include <atomic>
#include <string>

inline constexpr const char* AppTitle = "Velmora Cab";

struct TShellState {
    // ---- start-up state, from the directives -------------------------------
    TDirectiveReader List;                      // the list directive, open for the worker
    bool LogMode = false;                       // settings line 9 named a log file
    plat::File LogFile;                         // open when it could be created
    bool Spanning = false;                      // settings line 7
    int WorkerPriority = InitialWorkerPriority; // platform level, settings line 4

    // ---- between the window and the worker ---------------------------------
    std::atomic<bool> Cancel{false};   // set by the window, read by the worker
    std::atomic<bool> Closing{false};  // the window was closed during the build
    std::atomic<bool> Finished{false}; // set once by the worker at its end
    std::atomic<int> MajorPercent{0};
    std::atomic<int> MinorPercent{0};
    SharedText CurrentCab;
    SharedText CurrentFile;
    std::string BaseCabName; // worker only: the list's cabinet path of a spanned set
    PauseGate Gate;
};
