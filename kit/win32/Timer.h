// TTimer: SetTimer with a handler, on the thread that starts it. Its ticks are
// messages of that thread, so they come while the thread's message loop (or a
// modal loop, or a message box) runs. An interval of 0 does not tick.
#pragma once

#include <windows.h>

#include <functional>

class TTimer {
  public:
    explicit TTimer(UINT intervalMs = 1000, std::function<void()> onTimer = {})
        : OnTimer(std::move(onTimer)), interval_(intervalMs) {}
    ~TTimer() { Stop(); }
    TTimer(const TTimer&) = delete;
    TTimer& operator=(const TTimer&) = delete;

    UINT Interval() const { return interval_; }
    // A running timer starts counting the new interval at once.
    void SetInterval(UINT ms);
    void Start();
    void Stop();
    bool Enabled() const { return id_ != 0; }

    std::function<void()> OnTimer;

  private:
    static void CALLBACK Proc(HWND, UINT, UINT_PTR id, DWORD);

    UINT interval_;
    UINT_PTR id_ = 0;
};
