#include "Timer.h"

#include <map>
#include <mutex>
#include <utility>

namespace {

// Thread timers are told apart by their thread and the id SetTimer gave.
using TimerKey = std::pair<DWORD, UINT_PTR>;

std::mutex timersLock;
std::map<TimerKey, TTimer*>& Timers() {
    static std::map<TimerKey, TTimer*> timers;
    return timers;
}

} // namespace

void TTimer::SetInterval(UINT ms) {
    interval_ = ms;
    if (Enabled()) {
        Stop();
        Start();
    }
}

void TTimer::Start() {
    // An interval of 0 runs nothing, as a form's timer with interval 0.
    if (Enabled() || interval_ == 0) return;
    id_ = SetTimer(nullptr, 0, interval_, &TTimer::Proc);
    if (id_ == 0) return;
    std::lock_guard<std::mutex> lock(timersLock);
    Timers()[{GetCurrentThreadId(), id_}] = this;
}

void TTimer::Stop() {
    if (!Enabled()) return;
    KillTimer(nullptr, id_);
    {
        // Forgotten by its object, not by the thread: a timer stopped (or
        // destroyed) on another thread than its own is never called again.
        std::lock_guard<std::mutex> lock(timersLock);
        std::erase_if(Timers(), [this](const auto& entry) { return entry.second == this; });
    }
    id_ = 0;
}

void CALLBACK TTimer::Proc(HWND, UINT, UINT_PTR id, DWORD) {
    std::function<void()> handler;
    {
        std::lock_guard<std::mutex> lock(timersLock);
        const auto it = Timers().find({GetCurrentThreadId(), id});
        if (it == Timers().end()) return;
        handler = it->second->OnTimer;
    }
    // A copy: the handler may stop or destroy its own timer.
    if (handler) handler();
}
