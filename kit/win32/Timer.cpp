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
    if (Enabled()) return;
    id_ = SetTimer(nullptr, 0, interval_, &TTimer::Proc);
    if (id_ == 0) return;
    std::lock_guard<std::mutex> lock(timersLock);
    Timers()[{GetCurrentThreadId(), id_}] = this;
}

void TTimer::Stop() {
    if (!Enabled()) return;
    KillTimer(nullptr, id_);
    {
        std::lock_guard<std::mutex> lock(timersLock);
        Timers().erase({GetCurrentThreadId(), id_});
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
