// State that the cabinet builder's window thread and its build worker share,
// and the message-box service through which the worker's handlers ask the user.
// No Qt: the window provides the service, tests provide a scripted one.
#pragma once

#include "Platform.h"
#include "vDirectiveReader.h"
#include "vUtils.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

inline constexpr const char* AppTitle = "Velmora Cab";

enum TMsgButtons { mbOk, mbOkCancel, mbYesNo, mbYesNoCancel };
enum TMsgIcon { miNone, miInformation, miQuestion, miWarning, miError };
enum TMsgAnswer { idOk, idCancel, idYes, idNo };

// Shows a modal message box and returns the button pressed. An empty caption
// leaves the title to the system. "\r" in text breaks the line.
using TMessageBoxFn = std::function<TMsgAnswer(const std::string& text, const std::string& caption,
                                               TMsgIcon icon, TMsgButtons buttons)>;

// The answer that lets a build stop: given for a box that can no longer be
// shown because the program is closing.
TMsgAnswer StoppingAnswer(TMsgButtons buttons);

// A text written by one thread and read by another: a reader never sees a
// half-written value.
class TSharedText {
  public:
    void Set(const std::string& v) {
        std::lock_guard<std::mutex> lock(m_);
        text_ = v;
    }
    std::string Get() const {
        std::lock_guard<std::mutex> lock(m_);
        return text_;
    }

  private:
    mutable std::mutex m_;
    std::string text_;
};

// Where a paused build waits. The worker passes the gate at its safe points
// (each compressed block, each file, each follow-on cabinet, each job); while
// the gate is closed it waits there, holding nothing the window thread needs.
class TPauseGate {
  public:
    void Close();   // pause
    void Open();    // resume
    void Release(); // opens for good: the program is closing
    bool IsClosed() const;
    void Pass();
    // Threads waiting at the gate now.
    int Waiting() const;

  private:
    mutable std::mutex m_;
    std::condition_variable cv_;
    bool closed_ = false;
    bool released_ = false;
    int waiting_ = 0;
};

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
    TSharedText CurrentCab;
    TSharedText CurrentFile;
    std::string BaseCabName; // worker only: the list's cabinet path of a spanned set
    TPauseGate Gate;
};
