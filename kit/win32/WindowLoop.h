// The way to the window thread over a Win32 message loop: a hidden
// message-only window of the window thread receives the calls of other
// threads. Synchronize sends (the caller waits until the call has run, also
// while the window thread is inside a modal loop or a message box); Post posts.
#pragma once

#include "WindowThread.h"

#include <windows.h>

class WindowLoop : public IWindowThread {
  public:
    // To be made on the window thread; calls run on the thread that made it.
    WindowLoop();
    ~WindowLoop() override;
    WindowLoop(const WindowLoop&) = delete;
    WindowLoop& operator=(const WindowLoop&) = delete;

    void Synchronize(const std::function<void()>& fn) override;
    void Post(std::function<void()> fn) override;

    bool OnWindowThread() const { return GetCurrentThreadId() == thread_; }

  private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

    HWND hwnd_ = nullptr;
    DWORD thread_ = 0;
};

// The thread's message loop until WM_QUIT; returns the quit code. Dialog keys
// (Tab, Enter, Escape) go to the active top-level window of this thread.
int RunMessageLoop();
// Hands one message on as the loops above do: dialog keys to the active
// top-level window of this thread, the rest translated and dispatched.
void DispatchWindowMessage(MSG& msg);
// Handles the messages waiting now and returns (for long work on the window
// thread that must keep the windows live). Leaves a WM_QUIT for the loop.
void ProcessMessages();
