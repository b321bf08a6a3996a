// EncodeCab, the build worker: on a thread of its own it reads one job block
// of the list directive after the other and lets the component build each
// cabinet or cabinet set, then closes the directive and the log and raises the
// finished flag, however the jobs went.
#pragma once

#include "vCabEvents.h"
#include "vFwCAB.h"
#include "vShared.h"

#include <thread>

// Told for a job whose cabinet line names no file; the job is left out.
inline constexpr const char* NoCabinetNamed = "No cabinet file is named in the list directive";

class EncodeCab {
  public:
    EncodeCab(tvFwCAB& cab, TShellState& state, TCabEvents& events)
        : cab_(cab), state_(state), events_(events) {}
    ~EncodeCab() { WaitFor(); }
    EncodeCab(const EncodeCab&) = delete;
    EncodeCab& operator=(const EncodeCab&) = delete;

    // Starts the thread, which first takes the priority of the settings.
    void Start();
    bool Started() const { return thread_.joinable(); }
    // Waits for the thread's end (it has ended once the finished flag is set).
    void WaitFor();

    // The thread body; runs on the calling thread when called directly.
    void Execute();

  private:
    void RemoveIncompleteCabinet();

    tvFwCAB& cab_;
    TShellState& state_;
    TCabEvents& events_;
    std::thread thread_;
};
