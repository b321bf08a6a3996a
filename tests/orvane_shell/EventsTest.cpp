// The answers of the progress window's handlers to the component's events, in
// log mode and with scripted message boxes.
#include "ShellTestUtil.h"
#include "vCabEvents.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

using shelltest::CrLf;
using shelltest::ScriptedBoxes;
using testutil::ReadFile;
using testutil::TempDir;
using testutil::WriteFile;

namespace {

class Events : public ::testing::Test {
  protected:
    void SetUp() override {
        state.BaseCabName = dir / "backup.cab";
        cab.SetCabFile(dir / "backup1.cab");
        cab.SetDiskSize(40000);
    }
    void LogTo(const std::string& path) {
        state.LogMode = true;
        ASSERT_TRUE(state.LogFile.Open(path, plat::OpenMode::CreateAlways));
    }
    std::string LogText() {
        state.LogFile.Close();
        return ReadFile(log);
    }
    // Runs the next-cabinet handler for cabinet number cabNo on disk diskNo.
    struct Next {
        std::string name = "backup1.cab", disk = "";
        int diskNo = 1;
        bool abort = false;
    };
    Next NextCabinet(int cabNo, int diskNo = 1) {
        Next n;
        n.diskNo = diskNo;
        events.CabMessageNotify(cab, n.name, n.disk, cabNo, n.diskNo, n.abort);
        return n;
    }
    int Error(int errId, const std::string& text, int preset) {
        int action = preset;
        events.CabErrorNotify(cab, errId, 5, text, action);
        return action;
    }

    TempDir dir{"orvevents"};
    std::string log = dir / "build.log";
    TShellState state;
    ScriptedBoxes boxes;
    TCabEvents events{state, boxes.Fn()};
    tvFwCAB cab;
};

// ---- status ----------------------------------------------------------------------

TEST_F(Events, StatusStoresProgressAndAnswersTheCancelFlag) {
    bool abort = true;
    events.CabMajorStatus(cab, "/out/pack.cab", 40, abort);
    EXPECT_FALSE(abort);
    EXPECT_EQ(state.CurrentCab.Get(), "/out/pack.cab");
    EXPECT_EQ(state.MajorPercent.load(), 40);
    events.CabMinorStatus(cab, "/src/a.txt", 70, abort);
    EXPECT_FALSE(abort);
    EXPECT_EQ(state.CurrentFile.Get(), "/src/a.txt");
    EXPECT_EQ(state.MinorPercent.load(), 70);

    state.Cancel = true;
    events.CabMinorStatus(cab, "/src/b.txt", 10, abort);
    EXPECT_TRUE(abort);
    abort = false;
    events.CabMajorStatus(cab, "/out/pack.cab", 50, abort);
    EXPECT_TRUE(abort);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(Events, APausedBuildWaitsAtTheNextBlockUntilResumed) {
    state.Gate.Close();
    bool abort = true;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        events.CabMinorStatus(cab, "/src/big.bin", 30, abort);
        done = true;
    });
    // The worker reaches the gate and waits there.
    EXPECT_TRUE(shelltest::HeldAtGate(state.Gate, [&] { return done.load(); }));
    // Progress up to the pause is there for the window.
    EXPECT_EQ(state.MinorPercent.load(), 30);
    state.Gate.Open();
    worker.join();
    EXPECT_FALSE(abort);
    EXPECT_EQ(state.Gate.Waiting(), 0);
}

TEST_F(Events, CancelWhilePausedIsAnsweredOnceReleased) {
    state.Gate.Close();
    bool abort = false;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        events.CabMajorStatus(cab, "/out/pack.cab", 5, abort);
        done = true;
    });
    EXPECT_TRUE(shelltest::HeldAtGate(state.Gate, [&] { return done.load(); }));
    state.Cancel = true;
    state.Gate.Release();
    worker.join();
    EXPECT_TRUE(abort);
    EXPECT_FALSE(state.Gate.IsClosed());
}

// ---- next cabinet ---------------------------------------------------------------

TEST_F(Events, NextCabinetIsNumberedAfterTheBaseAndOnTheNextDisk) {
    Next n = NextCabinet(2);
    EXPECT_EQ(n.name, "backup2.cab");
    EXPECT_EQ(n.diskNo, 2);
    EXPECT_EQ(n.disk, "Diskette 2");
    EXPECT_FALSE(n.abort);
    cab.SetCabFile(dir / "backup2.cab");
    n = NextCabinet(3, 2);
    EXPECT_EQ(n.name, "backup3.cab");
    EXPECT_EQ(n.disk, "Diskette 3");
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(Events, NextCabinetNameUsesTheStemOfTheBase) {
    state.BaseCabName = dir / "old.cab.new.cab";
    EXPECT_EQ(NextCabinet(12).name, "old.new.cab12.cab");
}

TEST_F(Events, ExistingFollowOnIsKeptOnNoAndDeletedOnYesBothOnTheSameDisk) {
    WriteFile(dir / "backup2.cab", "mine");
    boxes.answers = {MsgAnswer::No, MsgAnswer::Yes};
    Next n = NextCabinet(2);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text,
              "Cabinet \"" + (dir / "backup2.cab") + "\" already exists. Overwrite?");
    EXPECT_EQ(boxes.shown[0].caption, "Velmora Cab");
    EXPECT_EQ(boxes.shown[0].icon, MsgIcon::Question);
    EXPECT_EQ(boxes.shown[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(ReadFile(dir / "backup2.cab"), "mine");
    EXPECT_EQ(n.name, "backup2.cab");
    EXPECT_EQ(n.diskNo, 1);
    EXPECT_EQ(n.disk, "");
    EXPECT_FALSE(n.abort);
    n = NextCabinet(2);
    EXPECT_FALSE(testutil::Exists(dir / "backup2.cab"));
    EXPECT_EQ(n.diskNo, 1);
    EXPECT_EQ(n.disk, "");
    EXPECT_FALSE(n.abort);
}

TEST_F(Events, ExistingFollowOnInLogModeIsDeletedWithoutAQuestion) {
    LogTo(log);
    WriteFile(dir / "backup3.cab", "mine");
    Next n = NextCabinet(3, 2);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_FALSE(testutil::Exists(dir / "backup3.cab"));
    EXPECT_EQ(n.diskNo, 2);
    EXPECT_FALSE(n.abort);
    EXPECT_EQ(LogText(), "");
}

TEST_F(Events, TooLittleSpacePromptsForANewDiskUntilCancelled) {
    cab.SetCabFile(dir / "gone/backup1.cab"); // a folder that cannot be queried
    boxes.answers = {MsgAnswer::Ok, MsgAnswer::Ok, MsgAnswer::Cancel};
    Next n = NextCabinet(2);
    ASSERT_EQ(boxes.shown.size(), 3u);
    EXPECT_EQ(boxes.shown[0].text, "Please insert a new disk to continue");
    EXPECT_EQ(boxes.shown[0].caption, "Velmora Cab");
    EXPECT_EQ(boxes.shown[0].icon, MsgIcon::Information);
    EXPECT_EQ(boxes.shown[0].buttons, MsgButtons::OkCancel);
    EXPECT_TRUE(n.abort);
    EXPECT_EQ(n.diskNo, 1);
}

TEST_F(Events, TooLittleSpaceInLogModeIsLoggedAndAborts) {
    LogTo(log);
    cab.SetCabFile(dir / "gone/backup1.cab");
    Next n = NextCabinet(2);
    EXPECT_TRUE(n.abort);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(LogText(), "Insufficient space on target path\r\n");
    // The abort that follows was not the user's: nothing more is logged.
    EXPECT_EQ(Error(ceUserAbort, "User abort", 0), -1);
    EXPECT_EQ(LogText(), "Insufficient space on target path\r\n");
}

// Needs a file system of a known size that nobody else writes to.
class EventsOnSmallDisk : public Events {
  protected:
    void SetUp() override {
        Events::SetUp();
        mnt = dir / "disk";
        std::filesystem::create_directory(mnt);
        if (testutil::Run({"mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", mnt}).exitCode != 0)
            GTEST_SKIP() << "cannot mount a tmpfs here";
        mounted = true;
        cab.SetCabFile(mnt + "/backup1.cab");
    }
    void TearDown() override {
        if (mounted) testutil::Run({"umount", mnt});
    }
    std::string mnt;
    bool mounted = false;
};

TEST_F(EventsOnSmallDisk, FreeSpaceEqualToTheDiskSizeIsEnough) {
    const std::int64_t free = plat::VolumeFree(mnt);
    ASSERT_GT(free, 0);
    cab.SetDiskSize(static_cast<std::int32_t>(free));
    EXPECT_FALSE(NextCabinet(2).abort);
    EXPECT_TRUE(boxes.shown.empty());
    cab.SetDiskSize(static_cast<std::int32_t>(free + 1));
    EXPECT_TRUE(NextCabinet(3).abort); // prompted, and the script gives Cancel
    EXPECT_EQ(boxes.shown.size(), 1u);
}

TEST_F(EventsOnSmallDisk, AFollowOnThatCannotBeDeletedAborts) {
    WriteFile(mnt + "/backup2.cab", "mine");
    ASSERT_EQ(testutil::Run({"mount", "-o", "remount,ro", mnt}).exitCode, 0);
    LogTo(log);
    Next n = NextCabinet(2);
    EXPECT_TRUE(n.abort);
    EXPECT_EQ(n.diskNo, 1);
    EXPECT_EQ(ReadFile(mnt + "/backup2.cab"), "mine");
    // The abort it causes is told by its reason, not as the user's.
    EXPECT_EQ(Error(ceUserAbort, "User abort", 0), -1);
    EXPECT_EQ(LogText(), "Cabinet \"" + mnt +
                             "/backup2.cab\" could not be deleted: Read-only file system\r\n");
}

// ---- errors ------------------------------------------------------------------------

TEST_F(Events, ExistingTargetIsKeptOnNoAndDeletedOnYes) {
    WriteFile(cab.CabFile(), "mine");
    boxes.answers = {MsgAnswer::No, MsgAnswer::Yes, MsgAnswer::Yes};
    EXPECT_EQ(Error(ceCabExists, "Cabinet already exists", -1), -1);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Cabinet \"" + cab.CabFile() + "\" already exists. Overwrite?");
    EXPECT_EQ(boxes.shown[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(ReadFile(cab.CabFile()), "mine");
    EXPECT_EQ(Error(ceCabExists, "Cabinet already exists", -1), 1);
    EXPECT_FALSE(testutil::Exists(cab.CabFile()));
    // A file that cannot be deleted (it is gone already) ends the build.
    EXPECT_EQ(Error(ceCabExists, "Cabinet already exists", -1), -1);
}

TEST_F(Events, ExistingTargetInLogModeIsDeletedWithoutAQuestion) {
    LogTo(log);
    WriteFile(cab.CabFile(), "mine");
    EXPECT_EQ(Error(ceCabExists, "Cabinet already exists", -1), 1);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_FALSE(testutil::Exists(cab.CabFile()));
    EXPECT_EQ(LogText(), "");
}

TEST_F(Events, CabFailureAsksRetrySkipOrAbort) {
    boxes.answers = {MsgAnswer::Yes, MsgAnswer::No, MsgAnswer::Cancel};
    EXPECT_EQ(Error(ceCabFailure, "Failure reading file to be stored in cabinet", 0), 1);
    EXPECT_EQ(Error(ceCabFailure, "Failure reading file to be stored in cabinet", 0), 0);
    EXPECT_EQ(Error(ceCabFailure, "Failure reading file to be stored in cabinet", 0), -1);
    ASSERT_EQ(boxes.shown.size(), 3u);
    EXPECT_EQ(boxes.shown[0].text,
              "Error:\rFailure reading file to be stored in cabinet\r\rRetry?");
    EXPECT_EQ(boxes.shown[0].caption, "Velmora Cab");
    EXPECT_EQ(boxes.shown[0].icon, MsgIcon::Question);
    EXPECT_EQ(boxes.shown[0].buttons, MsgButtons::YesNoCancel);
}

TEST_F(Events, ErrorsInLogModeAreLoggedAndSkipOrEndTheBuild) {
    LogTo(log);
    EXPECT_EQ(Error(ceCabFailure, "Failure opening file to be stored in cabinet", -1), 0);
    EXPECT_EQ(Error(ceUserAbort, "User abort", 0), -1);
    EXPECT_EQ(Error(ceCreateFailure, "Could not create a temporary file", 1), -1);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(LogText(), CrLf({"Failure opening file to be stored in cabinet", "User abort",
                               "Could not create a temporary file"}));
}

TEST_F(Events, OtherErrorsAreFatal) {
    EXPECT_EQ(Error(ceUserAbort, "User abort", 0), -1);
    EXPECT_EQ(Error(ceCreateFailure, "Could not create a temporary file", 1), -1);
    EXPECT_EQ(Error(999, "Unknown error!", 1), -1);
    ASSERT_EQ(boxes.shown.size(), 3u);
    EXPECT_EQ(boxes.shown[0].text, "Fatal Error:\rUser abort");
    EXPECT_EQ(boxes.shown[0].caption, "Velmora Cab");
    EXPECT_EQ(boxes.shown[0].icon, MsgIcon::Error);
    EXPECT_EQ(boxes.shown[0].buttons, MsgButtons::Ok);
    EXPECT_EQ(boxes.shown[1].text, "Fatal Error:\rCould not create a temporary file");
}

TEST_F(Events, LogModeWithoutALogFileShowsTheLinesInstead) {
    state.LogMode = true; // the log file could not be created
    cab.SetCabFile(dir / "gone/backup1.cab");
    EXPECT_EQ(Error(ceCabFailure, "Failure opening file to be stored in cabinet", -1), 0);
    EXPECT_TRUE(NextCabinet(2).abort);
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[0].text, "Failure opening file to be stored in cabinet");
    EXPECT_EQ(boxes.shown[0].caption, "Velmora Cab");
    EXPECT_EQ(boxes.shown[0].buttons, MsgButtons::Ok);
    EXPECT_EQ(boxes.shown[1].text, "Insufficient space on target path");
    // Still log mode otherwise: an existing target goes without a question.
    WriteFile(dir / "pack.cab", "x");
    cab.SetCabFile(dir / "pack.cab");
    EXPECT_EQ(Error(ceCabExists, "Cabinet already exists", -1), 1);
    EXPECT_EQ(boxes.shown.size(), 2u);
}

TEST_F(Events, NoBoxIsShownOnceTheWindowIsClosing) {
    state.Closing = true;
    WriteFile(cab.CabFile(), "mine");
    EXPECT_EQ(Error(ceCabExists, "Cabinet already exists", -1), -1);
    EXPECT_EQ(ReadFile(cab.CabFile()), "mine");
    EXPECT_EQ(Error(ceCabFailure, "Could not create cabinet file", 0), -1);
    EXPECT_EQ(Error(ceUserAbort, "User abort", 0), -1);
    cab.SetCabFile(dir / "gone/backup1.cab");
    EXPECT_TRUE(NextCabinet(2).abort);
    EXPECT_TRUE(boxes.shown.empty());
}

// ---- what an aborted build leaves -------------------------------------------------

TEST_F(Events, IncompleteCabinetIsTheOneThisBuildStartedAndOnlyAfterAnAbort) {
    events.BuildStarting();
    bool abort = false;
    events.CabMajorStatus(cab, cab.CabFile(), 0, abort);
    EXPECT_EQ(events.IncompleteCabinet(), ""); // not aborted
    NextCabinet(2);
    state.Cancel = true;
    events.CabMinorStatus(cab, "/src/a.txt", 3, abort);
    EXPECT_EQ(events.IncompleteCabinet(), dir / "backup2.cab");
}

TEST_F(Events, AFileThatWasThereBeforeIsNeverIncomplete) {
    events.BuildStarting();
    WriteFile(cab.CabFile(), "mine");
    bool abort = false;
    state.Cancel = true;
    events.CabMajorStatus(cab, cab.CabFile(), 0, abort);
    EXPECT_TRUE(abort);
    EXPECT_EQ(events.IncompleteCabinet(), "");
    // Nor is a follow-on that the user would not let go.
    events.BuildStarting();
    state.Cancel = false;
    WriteFile(dir / "backup2.cab", "mine too");
    boxes.answers = {MsgAnswer::No};
    NextCabinet(2);
    state.Cancel = true;
    events.CabMinorStatus(cab, "/src/a.txt", 3, abort);
    EXPECT_EQ(events.IncompleteCabinet(), "");
}

} // namespace
