// The built orvane program, run as the launcher runs it: the token, a list
// directive and a settings directive. Log mode runs offscreen; questions are
// answered under a private X server with xdotool, as a person would. Every
// cabinet written is read back with cabextract.
#include "ShellTestUtil.h"
#include "XClose.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using shelltest::CrLf;
using shelltest::ReadCabHeader;
using testutil::Process;
using testutil::ReadFile;
using testutil::RunResult;
using testutil::WriteFile;
using testutil::XServer;

namespace {

const std::map<std::string, std::string> Offscreen = {{"QT_QPA_PLATFORM", "offscreen"}};
const std::vector<std::string> NoCabinets;

class Orvane : public shelltest::CabFolders {
  protected:
    void List(const std::vector<std::string>& lines) { WriteFile(list, CrLf(lines)); }
    // MSZIP, normal priority; spanning when diskSize is not empty.
    void Settings(const std::string& diskSize, const std::string& logFile) {
        WriteFile(settings, CrLf({"1", "0", "831415", "3", "", "", diskSize.empty() ? "" : "TRUE",
                                  diskSize.empty() ? "0" : diskSize, logFile}));
    }
    std::vector<std::string> Args() { return {ORVANE_BINARY, "plumb", list, settings}; }
    // Runs the job offscreen to its end.
    RunResult RunOffscreen() { return Process(Args(), Offscreen).Wait(); }

    std::string list = dir / "list.txt", settings = dir / "settings.txt", log = dir / "build.log";
};

// Under a private X server; skipped when there is none.
class OrvaneOnX : public Orvane {
  protected:
    void SetUp() override {
        Orvane::SetUp();
        if (!x.available()) GTEST_SKIP() << "no Xvfb";
    }
    std::unique_ptr<Process> Start(std::vector<std::string> args = {}) {
        if (args.empty()) args = Args();
        return std::make_unique<Process>(
            args, std::map<std::string, std::string>{{"DISPLAY", x.display()},
                                                     {"QT_QPA_PLATFORM", "xcb"}});
    }

    // A visible window of the program, the progress window (told apart by its
    // size) or any other; empty when none came. Boxes without a title of their
    // own have none that xdotool sees, so windows are found by their class.
    std::string FindWindow(bool progressWindow, unsigned safetyMs = 60000) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(safetyMs);
        do {
            RunResult r = x.XDo({"search", "--onlyvisible", "--classname", "^orvane$"});
            std::istringstream ids(r.output);
            for (std::string id; std::getline(ids, id);) {
                if (id.empty() || id.find_first_not_of("0123456789") != std::string::npos) continue;
                RunResult g = x.XDo({"getwindowgeometry", id});
                if (g.exitCode != 0) continue;
                if ((g.output.find("368x136") != std::string::npos) == progressWindow) return id;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        } while (std::chrono::steady_clock::now() < deadline);
        return {};
    }
    std::string WaitBox() { return FindWindow(false); }
    std::string WaitMain() { return FindWindow(true); }

    // Presses a key in the box that is up and waits until it has gone; false
    // when no box came.
    bool Answer(const std::string& key) {
        std::string id = WaitBox();
        if (id.empty()) return false;
        x.XDo({"windowfocus", "--sync", id});
        if (x.XDo({"key", key}).exitCode != 0) return false;
        for (int i = 0; i < 600 && FindWindow(false, 0) == id; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return true;
    }
    // Clicks a point of the progress window.
    bool Click(int left, int top) {
        std::string id = WaitMain();
        return !id.empty() && x.XDo({"mousemove", "--window", id, std::to_string(left),
                                     std::to_string(top), "click", "1"})
                                      .exitCode == 0;
    }
    // An older cabinet where the job's single cabinet goes.
    void OlderPack() {
        Sources(2, 1000);
        WriteFile(out + "/pack.cab", "an older cabinet");
        List({out + "/pack", src + "/*", "$", "$"});
        Settings("", "");
    }
    // A spanned job on a disk with room for one cabinet only; false when no
    // such disk can be made here.
    bool SpannedOnSmallDisk() {
        if (!SmallDisk("96k")) return false;
        Sources(3, 50000);
        List({out + "/backup", src + "/*", "$", "$"});
        Settings("60000", "");
        return true;
    }
    // A spanned job of three cabinets, one of whose files is there already.
    void SpannedWithOlder(const std::string& name) {
        Sources(3, 30000);
        WriteFile(out + "/" + name, "an older cabinet");
        List({out + "/backup", src + "/*", "$", "$"});
        Settings("40000", "");
    }

    XServer x;
};

// ---- log mode, offscreen -----------------------------------------------------------

TEST_F(Orvane, OneCabinetInLogMode) {
    Sources(3, 50000);
    List({out + "/pack", src + "/*", "$", "$"});
    Settings("", log);
    RunResult r = RunOffscreen();
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(Cabinets(), (std::vector<std::string>{"pack.cab"}));
    ExpectHolds(out + "/pack.cab", files);
    EXPECT_EQ(ReadFile(log), "");
}

TEST_F(Orvane, SpannedSetOfThreeCabinetsInLogMode) {
    Sources(3, 30000);
    List({out + "/backup.cab", "$", src + "/*.bin", "$"});
    Settings("40000", log);
    RunResult r = RunOffscreen();
    ASSERT_EQ(r.exitCode, 0) << r.output;
    ExpectSpannedSetOfThree(40000);
    EXPECT_EQ(ReadFile(log), "");
}

TEST_F(Orvane, ExistingTargetIsDeletedInLogMode) {
    Sources(2, 20000);
    WriteFile(out + "/pack.cab", "an older cabinet");
    List({out + "/pack.cab", "$", src + "/*.bin", "$"});
    Settings("", log);
    RunResult r = RunOffscreen();
    ASSERT_EQ(r.exitCode, 0) << r.output;
    ExpectHolds(out + "/pack.cab", files);
    EXPECT_EQ(ReadFile(log), "");
}

TEST_F(Orvane, SourceFileThatCannotBeOpenedIsLogged) {
    Sources(3, 20000);
    fs::permissions(src + "/part1.bin", fs::perms::none);
    files.erase("part1.bin");
    List({out + "/pack", "$", src + "/*.bin", "$"});
    Settings("", log);
    std::vector<std::string> argv = Args();
    if (::geteuid() == 0) {
        // The super-user could open it: the program runs as an ordinary user.
        for (const std::string& d : {dir.path(), src, out})
            fs::permissions(d, fs::perms::all);
        fs::copy_file(ORVANE_BINARY, dir / "orvane");
        argv[0] = dir / "orvane";
        argv.insert(argv.begin(), {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
        WriteFile(log, "");
        fs::permissions(log, fs::perms::all);
    }
    RunResult r = Process(argv, Offscreen).Wait();
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(ReadFile(log), "Failure opening file to be stored in cabinet\r\n");
    ExpectHolds(out + "/pack.cab", files);
}

// ---- builds that fail leave nothing that looks like a result ---------------------

TEST_F(Orvane, DiskFullMidSetLeavesNoCabinetAndLogsTheRealCause) {
    if (!SmallDisk("128k")) GTEST_SKIP() << "cannot mount a tmpfs here";
    Sources(4, 40000);
    List({out + "/a", src + "/*", "$", "$"});
    Settings("50000", log);
    RunResult r = RunOffscreen();
    EXPECT_EQ(r.exitCode, 0) << r.output; // the outcome is told by the log and the files
    // Two cabinets fitted before the disk was full; neither is left.
    EXPECT_EQ(Cabinets(), NoCabinets);
    EXPECT_EQ(ReadFile(log), "Insufficient space on target path\r\n");
}

TEST_F(Orvane, DiskFullWithoutSpanningNamesTheCabinetAndTheCause) {
    if (!SmallDisk("64k")) GTEST_SKIP() << "cannot mount a tmpfs here";
    Sources(2, 40000);
    List({out + "/pack", src + "/*", "$", "$"});
    Settings("", log);
    RunResult r = RunOffscreen();
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(Cabinets(), NoCabinets);
    EXPECT_EQ(ReadFile(log), "Could not create cabinet file \"" + out +
                                 "/pack.cab\": No space left on device\r\n");
}

TEST_F(Orvane, AnEmptyCabinetLineIsToldAndWritesNothing) {
    Sources(1, 1000);
    const std::string work = dir / "work";
    fs::create_directories(work);
    List({"", src + "/*", "$", "$", out + "/pack", "$", "$"});
    for (const std::string spanning : {"", "40000"}) {
        Settings(spanning, log);
        RunResult r = Process(Args(), Offscreen, work).Wait();
        ASSERT_EQ(r.exitCode, 0) << r.output;
        EXPECT_TRUE(fs::is_empty(work)) << spanning;
        EXPECT_EQ(ReadFile(log), "No cabinet file is named in the list directive\r\n");
        // The next job is built with the masks read so far.
        const std::string pack = out + (spanning.empty() ? "/pack.cab" : "/pack1.cab");
        ExpectHolds(pack, files);
        fs::remove(pack);
    }
}

TEST_F(Orvane, EmptyListEndsWithoutCabinetOrMessage) {
    List({});
    Settings("", log);
    WriteFile(log, "lines of an earlier run\r\n");
    RunResult r = RunOffscreen();
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(Cabinets(), NoCabinets);
    EXPECT_EQ(ReadFile(log), "");
}

// ---- under X ---------------------------------------------------------------------

TEST_F(OrvaneOnX, WrongTokenOrMissingDirective) {
    List({out + "/pack", src + "/*", "$", "$"});
    Settings("", "");
    const std::vector<std::pair<std::vector<std::string>, int>> runs = {
        {{ORVANE_BINARY}, 0},
        {{ORVANE_BINARY, "Plumb", list, settings}, 0},
        {{ORVANE_BINARY, "plumb", list, dir / "missing.txt"}, 1},
    };
    for (const auto& [args, exitCode] : runs) {
        auto p = Start(args);
        ASSERT_TRUE(Answer("Return")) << args.size();
        EXPECT_EQ(p->Wait().exitCode, exitCode) << args.size();
    }
    EXPECT_EQ(Cabinets(), NoCabinets);
}

TEST_F(OrvaneOnX, OverwriteQuestionAnsweredNo) {
    OlderPack();
    auto p = Start();
    ASSERT_TRUE(Answer("n"));
    RunResult r = p->Wait();
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(ReadFile(out + "/pack.cab"), "an older cabinet");
    EXPECT_EQ(Cabinets(), (std::vector<std::string>{"pack.cab"}));
}

TEST_F(OrvaneOnX, OverwriteQuestionAnsweredYes) {
    OlderPack();
    auto p = Start();
    ASSERT_TRUE(Answer("y"));
    RunResult r = p->Wait();
    EXPECT_EQ(r.exitCode, 0) << r.output;
    ExpectHolds(out + "/pack.cab", files);
}

TEST_F(OrvaneOnX, NewDiskPromptWhenTheTargetIsFull) {
    if (!SpannedOnSmallDisk()) GTEST_SKIP() << "cannot mount a tmpfs here";
    auto p = Start();
    std::string box = WaitBox();
    ASSERT_FALSE(box.empty());
    // A larger disk is "inserted", and OK pressed.
    ASSERT_EQ(testutil::Run({"mount", "-o", "remount,size=1m", out}).exitCode, 0);
    ASSERT_TRUE(Answer("Return"));
    RunResult r = p->Wait();
    EXPECT_EQ(r.exitCode, 0) << r.output;
    ExpectSpannedSetOfThree(60000);
}

TEST_F(OrvaneOnX, NewDiskPromptCancelledAbortsTheBuild) {
    if (!SpannedOnSmallDisk()) GTEST_SKIP() << "cannot mount a tmpfs here";
    auto p = Start();
    ASSERT_TRUE(Answer("Escape")); // the disk prompt
    ASSERT_TRUE(Answer("Return")); // "Fatal Error:" with "User abort"
    RunResult r = p->Wait();
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_FALSE(testutil::Exists(out + "/backup3.cab"));
}

TEST_F(OrvaneOnX, CancelDuringABuild) {
    SpannedWithOlder("backup2.cab");
    auto p = Start();
    // While the build asks about the second cabinet, the user presses Cancel
    // in the progress window, then lets the older file go.
    ASSERT_FALSE(WaitBox().empty());
    ASSERT_TRUE(Click(288 + 36, 77 + 11));
    ASSERT_TRUE(Answer("y"));
    ASSERT_TRUE(Answer("Return")); // "Fatal Error:" with "User abort"
    RunResult r = p->Wait();
    EXPECT_EQ(r.exitCode, 0) << r.output;
    // The set was not finished: the cabinet it had written is taken back.
    EXPECT_EQ(Cabinets(), NoCabinets);
}

TEST_F(OrvaneOnX, ClosingTheWindowDuringABuild) {
    SpannedWithOlder("backup3.cab");
    auto p = Start();
    ASSERT_FALSE(WaitBox().empty()); // the question about the third cabinet
    std::string main = WaitMain();
    ASSERT_FALSE(main.empty());
    ASSERT_TRUE(SendClose(x.display(), main));
    RunResult r = p->Wait();
    EXPECT_EQ(r.exitCode, 0) << r.output;
    // The open question went unanswered: the older file stays, and nothing
    // incomplete is left of the build.
    EXPECT_EQ(ReadFile(out + "/backup3.cab"), "an older cabinet");
    for (const std::string& c : Cabinets())
        if (c != "backup3.cab") {
            EXPECT_TRUE(ReadCabHeader(out + "/" + c).valid) << c;
        }
}

TEST_F(OrvaneOnX, LogFileThatCannotBeCreatedIsToldAndLogModeStays) {
    OlderPack();
    Settings("", dir / "no/such/folder/build.log");
    auto p = Start();
    ASSERT_TRUE(Answer("Return")); // the settings error
    // Still log mode: the older cabinet goes without a question.
    RunResult r = p->Wait();
    EXPECT_EQ(r.exitCode, 0) << r.output;
    ExpectHolds(out + "/pack.cab", files);
    EXPECT_FALSE(testutil::Exists(dir / "no"));
}

} // namespace
