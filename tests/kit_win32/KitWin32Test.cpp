// The Win32 backend of the kit where it can go wrong without the programs'
// own tests noticing: the MessageBoxA flags and results of each kind of box,
// boxes closed from another thread, calls from a worker that must reach the
// window thread also while it shows a box or a modal form, and WM_QUIT that
// a nested loop meets.
#include "Forms.h"
#include "MessageBoxes.h"
#include "Timer.h"
#include "WindowLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

const MsgButtons AllButtons[] = {MsgButtons::Ok, MsgButtons::OkCancel, MsgButtons::YesNo,
                                 MsgButtons::YesNoCancel};

// Windows cannot be made without a display driver (Wine without X).
bool CanShowWindows() {
    HWND probe = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    if (!probe) return false;
    DestroyWindow(probe);
    return true;
}

// Closes the boxes the given thread shows as soon as one is up; gives up
// after a generous wait. Returns how many it closed.
int CloseBoxesOf(DWORD thread) {
    for (int i = 0; i < 3000; ++i) {
        if (const int closed = CloseThreadMessageBoxes(thread)) return closed;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 0;
}

// Empties this thread's queue, WM_QUIT included, so that a test does not
// leave messages to the next.
void DrainMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
}

TEST(MessageBoxKinds, FlagsGiveTheButtonsTheIconAndTheFirstButtonAsDefault) {
    EXPECT_EQ(MessageBoxFlags(MsgIcon::None, MsgButtons::Ok), UINT(MB_OK | MB_DEFBUTTON1));
    EXPECT_EQ(MessageBoxFlags(MsgIcon::Information, MsgButtons::OkCancel),
              UINT(MB_OKCANCEL | MB_ICONINFORMATION));
    EXPECT_EQ(MessageBoxFlags(MsgIcon::Question, MsgButtons::YesNo),
              UINT(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(MessageBoxFlags(MsgIcon::Question, MsgButtons::YesNoCancel),
              UINT(MB_YESNOCANCEL | MB_ICONQUESTION));
    EXPECT_EQ(MessageBoxFlags(MsgIcon::Warning, MsgButtons::Ok), UINT(MB_ICONWARNING));
    EXPECT_EQ(MessageBoxFlags(MsgIcon::Error, MsgButtons::Ok), UINT(MB_ICONERROR));
    EXPECT_EQ(MessageBoxFlags(MsgIcon::Stop, MsgButtons::YesNo), UINT(MB_YESNO | MB_ICONHAND));
}

TEST(MessageBoxKinds, ResultsMapToAnswersAndBack) {
    for (MsgAnswer a : {MsgAnswer::Ok, MsgAnswer::Cancel, MsgAnswer::Yes, MsgAnswer::No})
        EXPECT_EQ(AnswerOfResult(ResultOf(a), MsgButtons::YesNoCancel),
                  a == MsgAnswer::Ok ? MsgAnswer::Cancel : a);
    EXPECT_EQ(AnswerOfResult(IDOK, MsgButtons::OkCancel), MsgAnswer::Ok);
    EXPECT_EQ(AnswerOfResult(IDYES, MsgButtons::YesNo), MsgAnswer::Yes);
    // A failed box (0) or a result that is no button of the box is the
    // closed-box answer, never a button the user did not have.
    for (MsgButtons b : AllButtons) {
        EXPECT_EQ(AnswerOfResult(0, b), ClosedBoxAnswer(b));
        EXPECT_EQ(AnswerOfResult(IDABORT, b), ClosedBoxAnswer(b));
    }
    EXPECT_EQ(AnswerOfResult(IDCANCEL, MsgButtons::YesNo), MsgAnswer::No);
    EXPECT_EQ(AnswerOfResult(IDCANCEL, MsgButtons::Ok), MsgAnswer::Ok);
}

TEST(MessageBoxKinds, ABoxClosedFromAnotherThreadAnswersItsClosedBoxAnswer) {
    if (!CanShowWindows()) GTEST_SKIP() << "no display for windows";
    const DWORD self = GetCurrentThreadId();
    for (MsgButtons b : AllButtons) {
        std::atomic<int> closed{0};
        std::thread closer([&] { closed = CloseBoxesOf(self); });
        const MsgAnswer answer =
            ShowMessageBox(nullptr, "Line one\rLine two", "Kit test", MsgIcon::Question, b);
        closer.join();
        EXPECT_EQ(closed, 1);
        EXPECT_EQ(answer, ClosedBoxAnswer(b));
    }
}

TEST(WindowLoopCalls, SynchronizeRunsOnTheWindowThreadAlsoInsideAMessageBox) {
    if (!CanShowWindows()) GTEST_SKIP() << "no display for windows";
    WindowLoop loop;
    const DWORD self = GetCurrentThreadId();
    std::atomic<DWORD> ranOn{0};
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        // The window thread is in the box's own loop when this comes.
        while (!FindWindowA("#32770", "Kit test sync"))
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        loop.Synchronize([&] { ranOn = GetCurrentThreadId(); });
        returned = true;
        CloseBoxesOf(self);
    });
    ShowMessageBox(nullptr, "Waiting", "Kit test sync", MsgIcon::None, MsgButtons::Ok);
    worker.join();
    EXPECT_TRUE(returned);
    EXPECT_EQ(ranOn, self);

    // On the window thread itself the call runs at once.
    bool direct = false;
    loop.Synchronize([&] { direct = true; });
    EXPECT_TRUE(direct);
}

TEST(WindowLoopCalls, PostedCallsRunInOrderAndProcessMessagesLeavesWmQuit) {
    WindowLoop loop;
    std::vector<int> order;
    std::thread worker([&] {
        for (int i = 0; i < 3; ++i)
            loop.Post([&order, i] { order.push_back(i); });
    });
    worker.join();
    EXPECT_TRUE(order.empty()); // posted, not run yet
    PostQuitMessage(7);
    loop.Post([&order] { order.push_back(3); });
    ProcessMessages();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3}));
    // The quit is still there for the outer loop, with its code; a lost one
    // would leave the loop to a late quit of another code.
    TTimer lateQuit(10000, [] { PostQuitMessage(99); });
    lateQuit.Start();
    EXPECT_EQ(RunMessageLoop(), 7);
    lateQuit.Stop();
    DrainMessages();
}

class TestForm : public TForm {};

TEST(ModalForms, EndModalFromAWorkerEndsTheRunAndTheOtherWindowsComeBack) {
    if (!CanShowWindows()) GTEST_SKIP() << "no display for windows";
    WindowLoop loop;
    TestForm main, dialog;
    ASSERT_TRUE(main.Create("Main", WS_OVERLAPPEDWINDOW, 0, 200, 100));
    ASSERT_TRUE(dialog.Create("Dialog", WS_CAPTION, 0, 150, 80, main.Handle()));
    main.Show();
    RECT client{};
    GetClientRect(dialog.Handle(), &client);
    EXPECT_EQ(client.right, 150);
    EXPECT_EQ(client.bottom, 80);

    std::atomic<bool> mainDisabled{false};
    std::thread worker([&] {
        while (!IsWindowVisible(dialog.Handle()))
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        // A worker ends the modal run through a synchronised call, which the
        // modal loop receives as a sent message.
        loop.Synchronize([&] {
            mainDisabled = !IsWindowEnabled(main.Handle());
            dialog.EndModal(IDOK);
        });
    });
    const int result = dialog.ShowModal();
    worker.join();
    EXPECT_EQ(result, IDOK);
    EXPECT_TRUE(mainDisabled);
    EXPECT_TRUE(IsWindowEnabled(main.Handle()));
    EXPECT_FALSE(dialog.Visible());
    EXPECT_FALSE(dialog.InModal());
    DrainMessages();
}

TEST(ModalForms, AQuitDuringAModalRunEndsItAndReachesTheOuterLoop) {
    if (!CanShowWindows()) GTEST_SKIP() << "no display for windows";
    TestForm dialog;
    ASSERT_TRUE(dialog.Create("Dialog", WS_CAPTION, 0, 150, 80));
    int ticks = 0;
    TTimer quit(10, [&] {
        ++ticks;
        PostQuitMessage(5);
    });
    quit.Start();
    // A run that would not end on the quit is ended late with another result.
    TTimer lateEnd(10000, [&] { dialog.EndModal(-1); });
    lateEnd.Start();
    EXPECT_NE(dialog.ShowModal(), -1);
    quit.Stop();
    lateEnd.Stop();
    EXPECT_GE(ticks, 1);
    EXPECT_FALSE(dialog.InModal());
    TTimer lateQuit(10000, [] { PostQuitMessage(99); });
    lateQuit.Start();
    EXPECT_EQ(RunMessageLoop(), 5);
    lateQuit.Stop();
    DrainMessages();
}

TEST(Timers, AHandlerMayDestroyItsOwnTimer) {
    auto* timer = new TTimer(10);
    int ticks = 0;
    timer->OnTimer = [&] {
        ++ticks;
        delete timer;
        timer = nullptr;
        PostQuitMessage(0);
    };
    timer->Start();
    EXPECT_EQ(RunMessageLoop(), 0);
    EXPECT_EQ(ticks, 1);
    EXPECT_EQ(timer, nullptr);
    DrainMessages();
}

TEST(Timers, AZeroIntervalDoesNotTickAndANewIntervalRestarts) {
    int ticks = 0;
    TTimer timer(0, [&] { ++ticks; });
    timer.Start();
    EXPECT_FALSE(timer.Enabled());
    timer.SetInterval(10);
    EXPECT_FALSE(timer.Enabled()); // a stopped timer stays stopped
    timer.Start();
    EXPECT_TRUE(timer.Enabled());
    timer.OnTimer = [&] {
        if (++ticks == 2) PostQuitMessage(0);
    };
    timer.SetInterval(20); // running: counts the new interval from now
    EXPECT_TRUE(timer.Enabled());
    EXPECT_EQ(RunMessageLoop(), 0);
    EXPECT_EQ(ticks, 2);
    timer.Stop();
    EXPECT_FALSE(timer.Enabled());
    DrainMessages();
}

} // namespace
