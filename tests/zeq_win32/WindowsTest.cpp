// The split engine's Win32 windows in-process: their frames, client sizes and
// controls, the statistics tick, the toggles routed through WM_COMMAND, the
// disk dialog's modal prompt with its automatic check and its abort question
// answered as a person would, and the erase dialog emptying a real folder.
// The windows first: <windows.h> renames a few names (MessageBox, SetJob) for
// everything after it, the job helpers included.
#include "uDisk.h"
#include "uErase.h"
#include "uGui.h"

#include "TestUtil.h"
#include "WorkerJob.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;
using testutil::TempDir;
using testutil::WriteFile;
using zeqtest::SetJob;

namespace {

// Windows cannot be made without a display driver (Wine without X).
bool CanShowWindows() {
    HWND probe = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    if (!probe) return false;
    DestroyWindow(probe);
    return true;
}

// A window side for a worker that is never asked anything.
struct QuietBridge : IWindowBridge {
    void Synchronize(const std::function<void()>& fn) override { fn(); }
    void Post(std::function<void()> fn) override { fn(); }
    MsgAnswer MessageBox(const std::string&, const std::string&, MsgIcon, MsgButtons) override {
        return MsgAnswer::Ok;
    }
    bool PromptForDisk(JobState&) override { return false; }
    void EraseTarget(JobState&) override {}
    void ShowCompareNotice() override {}
    void ShowJoinNotice() override {}
};

SIZE ClientSize(HWND window) {
    RECT r{};
    GetClientRect(window, &r);
    return {r.right, r.bottom};
}

// A control's rectangle in its parent's client coordinates.
RECT PlaceOf(HWND control) {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

void ExpectPlace(HWND control, int x, int y, int w, int h) {
    const RECT r = PlaceOf(control);
    EXPECT_EQ(r.left, x);
    EXPECT_EQ(r.top, y);
    EXPECT_EQ(r.right - r.left, w);
    EXPECT_EQ(r.bottom - r.top, h);
}

DWORD StyleOf(HWND window) {
    return static_cast<DWORD>(GetWindowLongPtrA(window, GWL_STYLE));
}

class MainWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!CanShowWindows()) GTEST_SKIP() << "no display driver";
        SetJob(job, &JobSettings::TargetPath, "E:");
        SetJob(job, &JobSettings::BufferSize, 65536);
        gui = std::make_unique<TGui>(job);
        gui->FreeSpace = [](const std::string& p) { return p == "E:" ? 1048576 : -7; };
        gui->TotalSpace = [](const std::string& p) { return p == "E:" ? 1457152 : -7; };
        gui->Quit = [this] { ++quits; };
    }
    JobState job;
    std::unique_ptr<TGui> gui;
    int quits = 0;
};

TEST_F(MainWindow, FixedFrameWithIconAndTheDetailsBelowTheCollapsedClientArea) {
    HWND h = gui->Handle();
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(StyleOf(h) & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX),
              DWORD(WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX));
    EXPECT_EQ(StyleOf(h) & (WS_MAXIMIZEBOX | WS_THICKFRAME), 0u);
    EXPECT_EQ(ClientSize(h).cx, 365);
    EXPECT_EQ(ClientSize(h).cy, 151);
    EXPECT_EQ(WindowText(h), "Zeq Split Engine: ");
    EXPECT_NE(SendMessageA(h, WM_GETICON, ICON_BIG, 0), 0);

    ExpectPlace(gui->Progress, 8, 110, 273, 13);
    ExpectPlace(gui->Action, 288, 112, 73, 25);
    ExpectPlace(gui->More, 328, 138, 33, 13);
    EXPECT_EQ(WindowText(gui->Notice), "Splitting into pies...");
    EXPECT_EQ(WindowText(gui->Action), "Pause");
    EXPECT_EQ(WindowText(gui->More), "More");
    for (HWND w : {gui->Bevel1, gui->Label3D1, gui->Stat1, gui->Label3D2, gui->Stat2})
        EXPECT_GE(PlaceOf(w).top, 152);
    EXPECT_FALSE(IsWindowEnabled(gui->Label3D1));
    EXPECT_EQ(WindowText(gui->Label3D2), "Ondrel Family");
    EXPECT_EQ(gui->avi->CommonAVI(), aviCopyFile);
    EXPECT_TRUE(gui->avi->Active());
    EXPECT_TRUE(gui->Stats.Enabled());
    EXPECT_EQ(gui->Stats.Interval(), 3141u);
}

TEST_F(MainWindow, TickShowsTheFiguresAndTheTickAfterFinishedEndsTheProgram) {
    job.SourceSize.Set(300001);
    job.SourceDone.Set(200001);
    job.PieDone.Set(100001);
    job.BufferFill.Set(100000);
    job.CompareFill.Set(-29999);
    job.CurrentPie.Set("E:\\movie.002");
    gui->StatsTimer();
    EXPECT_EQ(SendMessageA(gui->Progress, PBM_GETRANGE, FALSE, 0), 300001);
    EXPECT_EQ(SendMessageA(gui->Progress, PBM_GETPOS, 0, 0), 150000);
    EXPECT_EQ(gui->FileName->FileName(), "E:\\movie.002");
    EXPECT_EQ(WindowText(gui->Stat1), "70001 bytes in memory of alloted 65536 bytes.");
    EXPECT_EQ(WindowText(gui->Stat2), "1048576 bytes remain free on target location (71%).");
    EXPECT_GT(PlaceOf(gui->Stat2).right, 96 + 100); // sized to its new text
    EXPECT_EQ(quits, 0);

    job.Finished = true;
    gui->StatsTimer();
    EXPECT_EQ(quits, 1);
    SendMessageA(gui->Handle(), WM_CLOSE, 0, 0); // closing the window ends the program too
    EXPECT_EQ(quits, 2);
}

TEST_F(MainWindow, PauseAndDetailsToggleByTheirCaptionsThroughTheirButtons) {
    QuietBridge bridge;
    Zeq worker(job, bridge); // never started: only its gate is used
    gui->Show();
    SendMessageA(gui->Action, BM_CLICK, 0, 0);
    EXPECT_EQ(WindowText(gui->Action), "Paused");
    EXPECT_EQ(SendMessageA(gui->Action, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_FALSE(gui->avi->Active());
    EXPECT_TRUE(worker.Paused());
    gui->ShowJoinNotice(); // a phase change while paused keeps the clip still
    EXPECT_EQ(WindowText(gui->Notice), "Making pies self uniting...");
    EXPECT_EQ(gui->avi->CommonAVI(), aviFindComputer);
    EXPECT_FALSE(gui->avi->Active());
    SendMessageA(gui->Action, BM_CLICK, 0, 0);
    EXPECT_EQ(WindowText(gui->Action), "Pause");
    EXPECT_EQ(SendMessageA(gui->Action, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_TRUE(gui->avi->Active());
    EXPECT_FALSE(worker.Paused());

    SendMessageA(gui->More, BM_CLICK, 0, 0);
    EXPECT_EQ(WindowText(gui->More), "Less");
    EXPECT_EQ(ClientSize(gui->Handle()).cy, 191);
    SendMessageA(gui->More, BM_CLICK, 0, 0);
    EXPECT_EQ(WindowText(gui->More), "More");
    EXPECT_EQ(ClientSize(gui->Handle()).cy, 151);
    gui->Hide();
}

class DiskDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!CanShowWindows()) GTEST_SKIP() << "no display driver";
        SetJob(job, &JobSettings::TargetPath, dir.path());
        job.CurrentPie.Set(dir / "movie.002");
        job.RequiredSpace.Set(100);
        erase = std::make_unique<TErase>(job);
        disk = std::make_unique<TDisk>(job, *erase);
        disk->Beep = [this] { ++beeps; };
    }
    bool Shows(HWND control) const { return (StyleOf(control) & WS_VISIBLE) != 0; }

    TempDir dir{"zeqwindisk"};
    JobState job;
    std::unique_ptr<TErase> erase;
    std::unique_ptr<TDisk> disk;
    int beeps = 0;
};

TEST_F(DiskDialog, NoTitleBarButtonsAndTheWayOfCheckingFollowsTheJob) {
    HWND h = disk->Handle();
    EXPECT_EQ(WindowText(h), "Velmora Zeq - Change Disk");
    EXPECT_EQ(StyleOf(h) & WS_CAPTION, DWORD(WS_CAPTION));
    EXPECT_EQ(StyleOf(h) & WS_SYSMENU, 0u);
    EXPECT_EQ(ClientSize(h).cx, 375);
    EXPECT_EQ(ClientSize(h).cy, 118);
    EXPECT_EQ(WindowText(disk->OK), "Check !");
    EXPECT_EQ(WindowText(disk->Cancel), "Cancel...");
    EXPECT_EQ(GetDlgCtrlID(disk->OK), IDOK);
    EXPECT_EQ(GetDlgCtrlID(disk->Cancel), IDCANCEL);

    SetJob(job, &JobSettings::CheckInterval, 0);
    disk->Prepare();
    EXPECT_EQ(WindowText(disk->diskPrompt),
              "Please insert a new disk into the following location:");
    EXPECT_EQ(disk->filePrompt->FileName(), dir.path());
    EXPECT_TRUE(Shows(disk->OK));
    EXPECT_FALSE(disk->Check.Enabled());

    job.WritingPies = false;
    SetJob(job, &JobSettings::CheckInterval, 250);
    disk->Prepare();
    EXPECT_EQ(WindowText(disk->diskPrompt), "Please insert the disk that contains the file:");
    EXPECT_EQ(disk->filePrompt->FileName(), dir / "movie.002");
    EXPECT_FALSE(Shows(disk->OK));
    EXPECT_TRUE(disk->Check.Enabled());
    EXPECT_EQ(disk->Check.Interval(), 250u);
    disk->Check.Stop();
}

TEST_F(DiskDialog, ModalPromptEndsWithTheAutomaticCheckThatFindsTheDisk) {
    SetJob(job, &JobSettings::CheckInterval, 1);
    int queries = 0;
    // The drive reads empty for three checks; then a disk with room is in.
    disk->FreeSpace = [&](const std::string&) { return ++queries < 4 ? -1 : 100; };
    EXPECT_TRUE(disk->Prompt());
    EXPECT_GE(queries, 4);
    EXPECT_EQ(beeps, 1);
    EXPECT_FALSE(IsWindowVisible(disk->Handle()));
    EXPECT_FALSE(disk->Check.Enabled());
}

// Waits for the abort question of the dialog owner and presses button on it.
bool Answer(HWND owner, int button, bool& topmost) {
    for (int i = 0; i < 3000; ++i) {
        HWND box = FindWindowA("#32770", "Velmora Zeq");
        if (box && IsWindowVisible(box) && GetWindow(box, GW_OWNER) == owner) {
            topmost = (GetWindowLongPtrA(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
            PostMessageA(GetDlgItem(box, button), BM_CLICK, 0, 0);
            // Gone before the next question is looked for.
            for (int j = 0; j < 3000 && IsWindow(box) && IsWindowVisible(box); ++j)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

TEST_F(DiskDialog, AbortAskedByCancelAndByCloseAnsweredNoThenYes) {
    SetJob(job, &JobSettings::CheckInterval, 0);
    disk->FreeSpace = [](const std::string&) { return -1; };
    HWND h = disk->Handle();
    bool answeredNo = false, answeredYes = false, topmost = false;
    std::thread person([&] {
        answeredNo = Answer(h, IDNO, topmost);
        PostMessageA(h, WM_CLOSE, 0, 0); // Alt+F4 asks again
        answeredYes = Answer(h, IDYES, topmost);
    });
    PostMessageA(h, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                 reinterpret_cast<LPARAM>(disk->Cancel));
    const bool ok = disk->Prompt();
    person.join();
    EXPECT_TRUE(answeredNo);
    EXPECT_TRUE(answeredYes);
    EXPECT_TRUE(topmost); // above the erase dialog
    EXPECT_FALSE(ok);
    EXPECT_TRUE(disk->Aborted());
}

TEST(EraseDialog, TopmostWithoutButtonsAndEmptiesTheTargetWhileShown) {
    if (!CanShowWindows()) GTEST_SKIP() << "no display driver";
    TempDir dir("zeqwinerase");
    const std::string target = dir / "target";
    fs::create_directories(target + "\\sub\\deeper");
    WriteFile(target + "\\a.bin", "a");
    WriteFile(target + "\\sub\\b.bin", "b");
    WriteFile(target + "\\sub\\deeper\\c.bin", "c");
    JobState job;
    SetJob(job, &JobSettings::TargetPath, target);
    SetJob(job, &JobSettings::EraseOption, 1);
    TErase erase(job);
    HWND h = erase.Handle();
    EXPECT_EQ(WindowText(h), "Velmora Zeq - Erase");
    EXPECT_EQ(StyleOf(h) & WS_SYSMENU, 0u);
    EXPECT_NE(GetWindowLongPtrA(h, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    EXPECT_EQ(ClientSize(h).cx, 330);
    EXPECT_EQ(ClientSize(h).cy, 122);
    EXPECT_EQ(WindowText(erase.Label1), "Erasing files:");
    EXPECT_TRUE(erase.Timer1.Enabled());
    EXPECT_EQ(erase.Timer1.Interval(), 1000u);

    int shownAtEachFile = 0, files = 0;
    erase.EraseTarget([&] {
        ++files;
        if (IsWindowVisible(h)) ++shownAtEachFile;
        return false;
    });
    EXPECT_EQ(files, 3);
    EXPECT_EQ(shownAtEachFile, 3);
    EXPECT_FALSE(IsWindowVisible(h));
    EXPECT_TRUE(fs::is_directory(target));
    EXPECT_TRUE(fs::is_empty(target));
    EXPECT_EQ(erase.CurrentErase().rfind(target, 0), 0u);
    erase.Timer1Timer();
    EXPECT_EQ(erase.tDisk->FileName(), erase.CurrentErase());
}

} // namespace
