// The main window offscreen: its layout, the statistics tick from a given job
// state, pause and details toggles, the phase notices, its creation from the
// job files, and the window bridge's prompt around the statistics tick.
#include "TestUtil.h"
#include "WorkerJob.h"
#include "uDisk.h"
#include "uErase.h"
#include "uForms.h"
#include "uGui.h"
#include "uWindowBridge.h"

#include <gtest/gtest.h>

#include <QTimer>
#include <filesystem>

using testutil::TempDir;
using testutil::WriteFile;

using zeqtest::SetJob;

namespace {

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

TEST(MainWindowFigures, CaptionProgressAndTexts) {
    EXPECT_EQ(MainCaption("", "Holiday"), "Zeq Split Engine: Holiday");
    EXPECT_EQ(MainCaption("Copy ", "Holiday"), "Copy Holiday");

    int max = -1, pos = -1;
    ProgressFigures(0, 0, 0, max, pos); // before the source is open
    EXPECT_EQ(max, 0);
    EXPECT_EQ(pos, 0);
    ProgressFigures(10, 5, 5, max, pos); // each count halved before the sum
    EXPECT_EQ(pos, 4);
    ProgressFigures(6000000000u, 6000000000u, 6000000000u, max, pos);
    EXPECT_EQ(pos, max); // a full bar stays full when scaled to fit
    EXPECT_LE(max, INT_MAX);

    EXPECT_EQ(MemoryText(70000, 65536), "70000 bytes in memory of alloted 65536 bytes.");
    EXPECT_EQ(FreeSpaceText(1024 * 1024, 1423 * 1024),
              "1048576 bytes remain free on target location (71%).");
    EXPECT_EQ(FreeSpaceText(1535, 2047), "1535 bytes remain free on target location (100%).");
    EXPECT_EQ(FreeSpaceText(-1, -1), "-1 bytes remain free on target location (?%).");
    EXPECT_EQ(FreeSpaceText(0, 0), "0 bytes remain free on target location (?%).");
    EXPECT_EQ(FreeSpaceText(500, 1000), "500 bytes remain free on target location (50%).");
}

// The icon drawn from its steps: a pie on a dish in a 32 x 32 square whose
// corners stay transparent, with the slice set apart up and right.
TEST(MainWindowFigures, IconIsThePieOnItsDish) {
    const QImage icon = ZeqIcon().pixmap(32, 32).toImage();
    ASSERT_EQ(icon.size(), QSize(32, 32));
    for (QPoint corner : {QPoint(0, 0), QPoint(31, 0), QPoint(0, 31), QPoint(31, 31)})
        EXPECT_EQ(qAlpha(icon.pixel(corner)), 0) << corner.x() << "," << corner.y();
    const QColor body = icon.pixelColor(8, 17), slice = icon.pixelColor(24, 10);
    EXPECT_EQ(body.alpha(), 255);
    EXPECT_GT(body.red(), body.blue()); // the crust, not the dish
    EXPECT_EQ(slice.alpha(), 255);
    EXPECT_GT(slice.green(), body.green()); // the lighter slice
}

class MainWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        SetJob(job, &JobSettings::TargetPath, "/media/disk");
        SetJob(job, &JobSettings::BufferSize, 65536);
        gui.FreeSpace = [](const std::string& p) { return p == "/media/disk" ? 1048576 : -7; };
        gui.TotalSpace = [](const std::string& p) { return p == "/media/disk" ? 1457152 : -7; };
        gui.Quit = [this] { ++quits; };
    }
    JobState job;
    TGui gui{job};
    int quits = 0;
};

TEST_F(MainWindow, StartsCollapsedWithTheSplittingPhase) {
    EXPECT_EQ(gui.size(), QSize(365, 151));
    EXPECT_EQ(gui.windowTitle().toStdString(), "Zeq Split Engine: ");
    EXPECT_EQ(gui.Notice->text().toStdString(), "Splitting into pies...");
    EXPECT_EQ(gui.avi->CommonAVI(), aviCopyFile);
    EXPECT_EQ(gui.avi->StopFrame(), 26);
    EXPECT_TRUE(gui.avi->Active());
    EXPECT_EQ(gui.Action->text().toStdString(), "Pause");
    EXPECT_EQ(gui.More->text().toStdString(), "More");
    EXPECT_TRUE(gui.Stats->isActive());
    EXPECT_EQ(gui.Stats->interval(), 3141);
    // The details panel lies below the collapsed client area.
    for (QWidget* w : {static_cast<QWidget*>(gui.Bevel1), static_cast<QWidget*>(gui.Label3D1),
                       static_cast<QWidget*>(gui.Stat1), static_cast<QWidget*>(gui.Label3D2),
                       static_cast<QWidget*>(gui.Stat2)})
        EXPECT_GE(w->y(), 152);
    EXPECT_FALSE(gui.Label3D1->isEnabled());
}

TEST_F(MainWindow, TickShowsTheFiguresAndTheTickAfterFinishedEndsTheProgram) {
    job.SourceSize.Set(300001);
    job.SourceDone.Set(200001);
    job.PieDone.Set(100001);
    job.BufferFill.Set(100000);
    job.CompareFill.Set(-30000 + 1);
    job.CurrentPie.Set("/media/disk/movie.002");
    gui.StatsTimer();
    EXPECT_EQ(gui.Progress->maximum(), 300001);
    EXPECT_EQ(gui.Progress->value(), 150000);
    EXPECT_EQ(gui.FileName->FileName().toStdString(), "/media/disk/movie.002");
    EXPECT_EQ(gui.Stat1->text().toStdString(), "70001 bytes in memory of alloted 65536 bytes.");
    EXPECT_EQ(gui.Stat2->text().toStdString(),
              "1048576 bytes remain free on target location (71%).");
    EXPECT_EQ(quits, 0);

    job.PieDone.Set(300001);
    job.SourceDone.Set(300001);
    job.Finished = true;
    gui.StatsTimer();
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(gui.Progress->value(), 300000); // the last figures are shown
}

TEST_F(MainWindow, PauseAndDetailsToggleByTheirCaptions) {
    QuietBridge bridge;
    Zeq worker(job, bridge); // never started: only its gate is used
    gui.Action->click();
    EXPECT_EQ(gui.Action->text().toStdString(), "Paused");
    EXPECT_TRUE(gui.Action->isChecked());
    EXPECT_FALSE(gui.avi->Active());
    EXPECT_TRUE(worker.Paused());
    gui.ShowCompareNotice(); // a phase change while paused keeps the clip still
    EXPECT_EQ(gui.avi->CommonAVI(), aviFindFile);
    EXPECT_FALSE(gui.avi->Active());
    gui.Action->click();
    EXPECT_EQ(gui.Action->text().toStdString(), "Pause");
    EXPECT_FALSE(gui.Action->isChecked());
    EXPECT_TRUE(gui.avi->Active());
    EXPECT_FALSE(worker.Paused());

    gui.More->click();
    EXPECT_EQ(gui.More->text().toStdString(), "Less");
    EXPECT_EQ(gui.size(), QSize(365, 191));
    gui.More->click();
    EXPECT_EQ(gui.More->text().toStdString(), "More");
    EXPECT_EQ(gui.size(), QSize(365, 151));
}

TEST_F(MainWindow, PhaseNoticesSwitchTextAndClip) {
    gui.ShowCompareNotice();
    EXPECT_EQ(gui.Notice->text().toStdString(), "Comparing pies against original file...");
    EXPECT_EQ(gui.avi->CommonAVI(), aviFindFile);
    EXPECT_TRUE(gui.avi->Active());
    gui.ShowJoinNotice();
    EXPECT_EQ(gui.Notice->text().toStdString(), "Making pies self uniting...");
    EXPECT_EQ(gui.avi->CommonAVI(), aviFindComputer);
    EXPECT_TRUE(gui.avi->Active());
}

TEST_F(MainWindow, CreationLoadsTheJobAndRunsTheWorker) {
    TempDir dir("zeqgui");
    QuietBridge bridge;
    std::string error;
    EXPECT_FALSE(gui.FormCreate("", dir.path() + "/", bridge, error)); // no job files
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(job.Worker, nullptr);

    std::filesystem::create_directories(dir / "target");
    WriteFile(dir / "movie.avi", "0123456789");
    WriteFile(dir / "pienames.txt", "0\r\n\\.*\r\n");
    WriteFile(dir / "piesizes.txt", "4\r\n");
    WriteFile(dir / "piesplit.txt", "Holiday\r\n" + (dir / "movie.avi") + "\r\n" +
                                        (dir / "target") +
                                        "\r\n0\r\n64\r\n999\r\n0\r\n0\r\n0\r\n0\r\n\r\n");
    ASSERT_TRUE(gui.FormCreate("Copy ", dir.path() + "/", bridge, error)) << error;
    EXPECT_EQ(gui.windowTitle().toStdString(), "Copy Holiday");
    EXPECT_EQ(gui.MainFileName->FileName().toStdString(), dir / "movie.avi");
    gui.WaitWorker();
    EXPECT_TRUE(job.Finished);
    EXPECT_EQ(testutil::ReadFile(dir / "target/movie.3"), "89");
}

TEST_F(MainWindow, BridgePromptStopsTheTickWhileTheDialogIsUp) {
    TErase erase(job);
    TDisk disk(job, erase);
    TWindowBridge bridge(gui, disk, erase);
    disk.Beep = [] {};
    job.RequiredSpace.Set(1);
    SetJob(job, &JobSettings::CheckInterval, 1);
    disk.FreeSpace = [](const std::string&) { return 1; };
    bool tickDuringPrompt = true;
    disk.AskAbort = [&] {
        tickDuringPrompt = gui.Stats->isActive();
        return false;
    };
    QTimer::singleShot(0, &disk, [&] { disk.Cancel->click(); });
    EXPECT_TRUE(bridge.PromptForDisk(job));
    EXPECT_FALSE(tickDuringPrompt);
    EXPECT_TRUE(gui.Stats->isActive());

    disk.FreeSpace = [](const std::string&) { return -1; };
    disk.AskAbort = [] { return true; };
    QTimer::singleShot(0, &disk, [&] { disk.Cancel->click(); });
    EXPECT_FALSE(bridge.PromptForDisk(job));
    EXPECT_FALSE(gui.Stats->isActive()); // the worker ends the program now
}

} // namespace
