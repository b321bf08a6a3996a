// The build worker over the real component and cabinet engine: job after job
// from the list directive, spanned sets and their names, the end in order.
// Every cabinet is read back with cabextract.
#include "ShellTestUtil.h"
#include "vDirectives.h"
#include "vEncodeCab.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace fs = std::filesystem;
using shelltest::CrLf;
using testutil::ReadFile;
using testutil::WriteFile;

namespace {

class Worker : public shelltest::CabFolders {
  protected:
    void SetUp() override {
        CabFolders::SetUp();
        events.Bind(cab);
    }
    void List(const std::vector<std::string>& lines) {
        WriteFile(dir / "list.txt", CrLf(lines));
        ASSERT_TRUE(state.List.Open(dir / "list.txt"));
    }
    void LogMode() {
        state.LogMode = true;
        ASSERT_TRUE(state.LogFile.Open(dir / "build.log", plat::OpenMode::CreateAlways));
    }
    void Spanning(std::int32_t diskSize) {
        state.Spanning = true;
        cab.SetDiskSize(diskSize);
    }
    void ExpectEndedInOrder() {
        EXPECT_TRUE(state.Finished.load());
        EXPECT_FALSE(state.List.IsOpen());
        EXPECT_FALSE(state.LogFile.IsOpen());
    }

    TShellState state;
    shelltest::ScriptedBoxes boxes;
    TCabEvents events{state, boxes.Fn()};
    tvFwCAB cab;
    EncodeCab worker{cab, state, events};
};

TEST_F(Worker, CancelDuringTheBuildEndsItWithUserAbort) {
    Sources(1, 200000);
    List({out + "/pack", src + "/*", "$", out + "/later", src + "/*", "$", "$"});
    bool cancelled = false;
    cab.OnMinorStatus = [&](tvFwCAB& s, const std::string& name, int percent, bool& abort) {
        // The user presses Cancel while the first block is compressed.
        if (percent > 0 && !cancelled) state.Cancel = cancelled = true;
        events.CabMinorStatus(s, name, percent, abort);
    };
    worker.Execute();
    ExpectEndedInOrder();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Fatal Error:\rUser abort");
    // No further job was read.
    EXPECT_EQ(cab.CabFile(), out + "/pack.cab");
    EXPECT_FALSE(testutil::Exists(out + "/later.cab"));
}

TEST_F(Worker, AVeryLongCabinetNameIsQuotedShortened) {
    Sources(1, 100);
    const std::string name = out + "/" + std::string(1 << 20, 'n') + "z";
    List({name, src + "/*", "$", "$"});
    worker.Execute();
    ExpectEndedInOrder();
    ASSERT_EQ(boxes.shown.size(), 1u);
    const std::string& text = boxes.shown[0].text;
    EXPECT_LT(text.size(), 1000u);
    EXPECT_EQ(text.rfind("Fatal Error:\rCould not create cabinet file \"" + out + "/nnn", 0), 0u)
        << text.substr(0, 200);
    EXPECT_NE(text.find("n ... n"), std::string::npos);
    EXPECT_NE(text.find("nz.cab\": File name too long"), std::string::npos) << text.substr(0, 200);
}

TEST_F(Worker, AListThatCannotBeReadEndsInOrder) {
    LogMode();
    ASSERT_TRUE(state.List.Open("/proc/self/mem")); // opens, but every read fails
    worker.Execute();
    ExpectEndedInOrder();
    EXPECT_TRUE(state.List.Failed());
}

TEST_F(Worker, ClosingTheWindowMidBuildRemovesTheIncompleteCabinet) {
    Sources(3, 30000);
    Spanning(40000);
    WriteFile(out + "/backup2.cab", "older");
    List({out + "/backup", src + "/*", "$", "$"});
    // The window is closed while the overwrite question is up; the user had
    // already pressed Yes.
    boxes.answers = {MsgAnswer::Yes};
    boxes.onShow = [&] {
        state.Closing = true;
        state.Cancel = true;
        state.Gate.Release();
    };
    worker.Execute();
    ExpectEndedInOrder();
    EXPECT_EQ(boxes.shown.size(), 1u);
    EXPECT_FALSE(testutil::Exists(out + "/backup2.cab"));
    EXPECT_FALSE(testutil::Exists(out + "/backup3.cab"));
}

TEST_F(Worker, OnItsOwnThreadAPausedWorkerWaitsForResume) {
    Sources(1, 1000);
    List({out + "/pack", src + "/*", "$", "$"});
    state.Gate.Close();
    worker.Start();
    EXPECT_TRUE(shelltest::HeldAtGate(state.Gate, [&] { return state.Finished.load(); }));
    EXPECT_FALSE(state.Finished.load());
    state.Gate.Open();
    worker.WaitFor();
    ExpectEndedInOrder();
    ExpectHolds(out + "/pack.cab", files);
}

// The nice value of the worker's thread while it builds, with the given
// platform priority from the settings.
class WorkerPriority : public Worker, public ::testing::WithParamInterface<int> {};

TEST_P(WorkerPriority, TakenOnTheWorkersOwnThread) {
    Sources(1, 1000);
    List({out + "/pack", src + "/*", "$", "$"});
    state.WorkerPriority = GetParam();
    int nice = -100;
    cab.OnMajorStatus = [&](tvFwCAB& s, const std::string& name, int percent, bool& abort) {
        nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)));
        events.CabMajorStatus(s, name, percent, abort);
    };
    const int before = ::getpriority(PRIO_PROCESS, 0);
    worker.Start();
    worker.WaitFor();
    ExpectEndedInOrder();
    if (GetParam() == 0)
        EXPECT_EQ(nice, 0);
    else
        EXPECT_GT(nice, 0);
    if (GetParam() == InitialWorkerPriority) {
        EXPECT_EQ(nice, 19); // idle: the lowest there is
    }
    // The window's thread keeps its own.
    EXPECT_EQ(::getpriority(PRIO_PROCESS, 0), before);
}

INSTANTIATE_TEST_SUITE_P(Levels, WorkerPriority, ::testing::Values(-3, -1, 0));

} // namespace
