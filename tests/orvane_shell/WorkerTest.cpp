// The build worker over the real component and cabinet engine: job after job
// from the list directive, spanned sets and their names, the end in order.
// Every cabinet is read back with cabextract.
#include "ShellTestUtil.h"
#include "vDirectives.h"
#include "vEncodeCab.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sys/fsuid.h>
#include <unistd.h>

namespace fs = std::filesystem;
using shelltest::CabExtract;
using shelltest::CrLf;
using shelltest::ReadCabHeader;
using testutil::ReadFile;
using testutil::TempDir;
using testutil::WriteFile;

namespace {

class Worker : public ::testing::Test {
  protected:
    void SetUp() override {
        src = dir / "src";
        out = dir / "out";
        fs::create_directories(src);
        fs::create_directories(out);
        events.Bind(cab);
    }
    // Source files of random bytes, which do not compress.
    void Sources(int count, std::size_t size) {
        for (int i = 0; i < count; ++i)
            files["f" + std::to_string(i) + ".bin"] =
                testutil::RandomBytes(size, static_cast<std::uint32_t>(i + 1));
        for (const auto& [name, bytes] : files)
            WriteFile(src + "/" + name, bytes);
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
    // Extracts the cabinet (and the rest of its set) and compares every file.
    void ExpectHolds(const std::string& cabPath,
                     const std::map<std::string, std::string>& expected) {
        const std::string x = dir / ("x" + std::to_string(++extractions));
        fs::create_directories(x);
        testutil::RunResult r = CabExtract(cabPath, x);
        EXPECT_EQ(r.exitCode, 0) << r.output;
        std::size_t found = 0;
        for (const auto& e : fs::directory_iterator(x)) {
            (void)e;
            ++found;
        }
        EXPECT_EQ(found, expected.size());
        for (const auto& [name, bytes] : expected)
            EXPECT_TRUE(ReadFile(x + "/" + name) == bytes) << name;
    }
    std::vector<std::string> Cabinets() {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(out))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    void ExpectEndedInOrder() {
        EXPECT_TRUE(state.Finished.load());
        EXPECT_FALSE(state.List.IsOpen());
        EXPECT_FALSE(state.LogFile.IsOpen());
    }

    TempDir dir{"orvworker"};
    std::string src, out;
    std::map<std::string, std::string> files;
    TShellState state;
    shelltest::ScriptedBoxes boxes;
    TCabEvents events{state, boxes.Fn()};
    tvFwCAB cab;
    EncodeCab worker{cab, state, events};
    int extractions = 0;
};

TEST_F(Worker, OneCabinetInLogMode) {
    Sources(3, 20000);
    LogMode();
    List({out + "/pack", src + "/*", "$", "$"});
    worker.Execute();
    ExpectEndedInOrder();
    EXPECT_EQ(Cabinets(), (std::vector<std::string>{"pack.cab"}));
    ExpectHolds(out + "/pack.cab", files);
    EXPECT_EQ(ReadFile(dir / "build.log"), "");
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(state.MajorPercent.load(), 100);
    EXPECT_EQ(state.CurrentCab.Get(), out + "/pack.cab");
}

TEST_F(Worker, SpannedSetOfThreeWithNumberedNamesAndDisks) {
    Sources(3, 30000);
    LogMode();
    Spanning(40000);
    List({out + "/backup.cab", "$", src + "/*.bin", "$"});
    worker.Execute();
    ExpectEndedInOrder();
    ASSERT_EQ(Cabinets(), (std::vector<std::string>{"backup1.cab", "backup2.cab", "backup3.cab"}));
    shelltest::CabHeader h1 = ReadCabHeader(out + "/backup1.cab");
    shelltest::CabHeader h2 = ReadCabHeader(out + "/backup2.cab");
    shelltest::CabHeader h3 = ReadCabHeader(out + "/backup3.cab");
    ASSERT_TRUE(h1.valid && h2.valid && h3.valid);
    EXPECT_EQ(h1.iCabinet, 0);
    EXPECT_EQ(h2.iCabinet, 1);
    EXPECT_EQ(h3.iCabinet, 2);
    EXPECT_EQ(h1.setId, h2.setId);
    EXPECT_EQ(h2.setId, h3.setId);
    EXPECT_EQ(h1.nextCabinet, "backup2.cab");
    EXPECT_EQ(h1.nextDisk, "Diskette 2");
    EXPECT_EQ(h2.prevCabinet, "backup1.cab");
    EXPECT_EQ(h2.prevDisk, "");
    EXPECT_EQ(h2.nextCabinet, "backup3.cab");
    EXPECT_EQ(h2.nextDisk, "Diskette 3");
    EXPECT_EQ(h3.prevCabinet, "backup2.cab");
    EXPECT_EQ(h3.prevDisk, "Diskette 2");
    EXPECT_EQ(h3.nextCabinet, "");
    for (const std::string& c : Cabinets())
        EXPECT_LE(fs::file_size(out + "/" + c), 40000u) << c;
    ExpectHolds(out + "/backup1.cab", files);
    EXPECT_EQ(ReadFile(dir / "build.log"), "");
}

TEST_F(Worker, SecondJobAlsoPacksTheFirstJobsSpecifications) {
    Sources(2, 1000);
    fs::create_directories(src + "/more");
    WriteFile(src + "/more/extra.txt", "extra");
    List({out + "/one", "$", src + "/*.bin", "$", out + "/two", "$", src + "/more/*.txt", "$"});
    worker.Execute();
    ExpectEndedInOrder();
    EXPECT_EQ(Cabinets(), (std::vector<std::string>{"one.cab", "two.cab"}));
    ExpectHolds(out + "/one.cab", files);
    files["extra.txt"] = "extra";
    ExpectHolds(out + "/two.cab", files);
}

TEST_F(Worker, ExistingTargetIsDeletedInLogMode) {
    Sources(2, 5000);
    LogMode();
    WriteFile(out + "/pack.cab", "an older cabinet");
    List({out + "/pack.cab", src + "/*", "$", "$"});
    worker.Execute();
    ExpectHolds(out + "/pack.cab", files);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(ReadFile(dir / "build.log"), "");
}

TEST_F(Worker, SourceFileThatCannotBeOpenedIsLoggedAndLeftOut) {
    Sources(3, 5000);
    LogMode();
    List({out + "/pack", "$", src + "/*.bin", "$"});
    fs::permissions(src + "/f1.bin", fs::perms::none);
    files.erase("f1.bin");
    // The super-user opens any file: this thread checks file access as an
    // ordinary user while the worker runs.
    const bool root = ::geteuid() == 0;
    if (root) {
        for (const std::string& d : {dir.path(), src, out})
            fs::permissions(d, fs::perms::all);
        ::setfsuid(65534);
        ASSERT_EQ(::setfsuid(static_cast<uid_t>(-1)), 65534);
    }
    worker.Execute();
    if (root) ::setfsuid(0);
    ExpectEndedInOrder();
    EXPECT_EQ(ReadFile(dir / "build.log"), "Failure opening file to be stored in cabinet\r\n");
    ExpectHolds(out + "/pack.cab", files);
    EXPECT_EQ(state.MajorPercent.load(), 100); // the file left out counts as done
}

TEST_F(Worker, CancelledBeforeTheStartBuildsNothing) {
    Sources(1, 100);
    List({out + "/pack", src + "/*", "$", "$"});
    state.Cancel = true;
    worker.Execute();
    ExpectEndedInOrder();
    EXPECT_TRUE(Cabinets().empty());
    EXPECT_TRUE(boxes.shown.empty());
}

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

TEST_F(Worker, AnEmptyListEndsAtOnce) {
    List({});
    worker.Execute();
    ExpectEndedInOrder();
    EXPECT_TRUE(Cabinets().empty());
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
    boxes.answers = {idYes};
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

TEST_F(Worker, ClosingTheWindowNeverRemovesAFileTheBuildDidNotWrite) {
    Sources(1, 1000);
    WriteFile(out + "/pack.cab", "older");
    List({out + "/pack", src + "/*", "$", "$"});
    boxes.onShow = [&] {
        state.Closing = true;
        state.Cancel = true;
    };
    worker.Execute(); // the overwrite question is answered No
    ExpectEndedInOrder();
    EXPECT_EQ(ReadFile(out + "/pack.cab"), "older");
}

TEST_F(Worker, OnItsOwnThreadAPausedWorkerWaitsForResume) {
    Sources(1, 1000);
    List({out + "/pack", src + "/*", "$", "$"});
    state.Gate.Close();
    worker.Start();
    while (state.Gate.Waiting() == 0)
        std::this_thread::yield();
    EXPECT_FALSE(state.Finished.load());
    state.Gate.Open();
    worker.WaitFor();
    ExpectEndedInOrder();
    ExpectHolds(out + "/pack.cab", files);
}

} // namespace
