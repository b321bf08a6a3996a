#include "WindowLoop.h"

#include <memory>
#include <mutex>

namespace {

const char* const LoopClass = "VelmoraWindowLoop";
// wParam: the std::function to run; the sender waits.
constexpr UINT WM_SYNCHRONIZE = WM_APP + 1;
// lParam: a heap std::function, run and freed by the window thread.
constexpr UINT WM_POSTED = WM_APP + 2;

std::once_flag loopClassOnce;

} // namespace

WindowLoop::WindowLoop() : thread_(GetCurrentThreadId()) {
    std::call_once(loopClassOnce, [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = &WindowLoop::WndProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = LoopClass;
        RegisterClassA(&wc);
    });
    hwnd_ = CreateWindowExA(0, LoopClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            GetModuleHandleA(nullptr), nullptr);
}

WindowLoop::~WindowLoop() {
    // Calls posted but not yet run are dropped with the window.
    MSG msg;
    while (PeekMessageA(&msg, hwnd_, WM_POSTED, WM_POSTED, PM_REMOVE))
        delete reinterpret_cast<std::function<void()>*>(msg.lParam);
    DestroyWindow(hwnd_);
}

LRESULT CALLBACK WindowLoop::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_SYNCHRONIZE:
        (*reinterpret_cast<const std::function<void()>*>(wp))();
        return 0;
    case WM_POSTED: {
        std::unique_ptr<std::function<void()>> fn(reinterpret_cast<std::function<void()>*>(lp));
        (*fn)();
        return 0;
    }
    default:
        return DefWindowProcA(hwnd, msg, wp, lp);
    }
}

void WindowLoop::Synchronize(const std::function<void()>& fn) {
    if (OnWindowThread()) {
        fn();
        return;
    }
    // A sent message is taken by the window thread in any message loop it
    // runs, modal loops and message boxes included; the sender waits.
    SendMessageA(hwnd_, WM_SYNCHRONIZE, reinterpret_cast<WPARAM>(&fn), 0);
}

void WindowLoop::Post(std::function<void()> fn) {
    auto* call = new std::function<void()>(std::move(fn));
    if (!PostMessageA(hwnd_, WM_POSTED, 0, reinterpret_cast<LPARAM>(call))) delete call;
}

void DispatchWindowMessage(MSG& msg) {
    HWND active = GetActiveWindow();
    if (active && IsDialogMessageA(active, &msg)) return;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
}

int RunMessageLoop() {
    MSG msg{};
    for (;;) {
        const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) return static_cast<int>(msg.wParam);
        if (got < 0) return -1;
        DispatchWindowMessage(msg);
    }
}

void ProcessMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Left for the loop that runs around this work.
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        DispatchWindowMessage(msg);
    }
}
