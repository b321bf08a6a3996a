// The built orvane program, run as the launcher runs it: the token, a list
// directive and a settings directive. Log mode runs offscreen; questions are
// answered under a private X server with xdotool, as a person would. Every
// cabinet written is read back with cabextract.
#include "ShellTestUtil.h"

#include "XClose.h"
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using shelltest::CrLf;
using shelltest::ReadCabHeader;
using testutil::Process;
using testutil::ReadFile;
using testutil::RunResult;
using testutil::TempDir;
using testutil::WriteFile;
using testutil::XServer;

namespace {

const std::map<std::string, std::string> Offscreen = {{"QT_QPA_PLATFORM", "offscreen"}};

class Orvane : public ::testing::Test {
  protected:
    void SetUp() override {
        src = dir / "src";
        out = dir / "out";
        fs::create_directories(src);
        fs::create_directories(out);
    }
    void TearDown() override {
        if (mounted) testutil::Run({"umount", out});
    }

    // count files of random bytes, which do not compress.
    void Sources(int count, std::size_t size) {
        for (int i = 0; i < count; ++i) {
            std::string name = "part" + std::to_string(i) + ".bin";
            files[name] = testutil::RandomBytes(size, static_cast<std::uint32_t>(100 + i));
            WriteFile(src + "/" + name, files[name]);
        }
    }
    void List(const std::vector<std::string>& lines) { WriteFile(list, CrLf(lines)); }
    // MSZIP, normal priority; spanning when diskSize is not empty.
    void Settings(const std::string& diskSize, const std::string& logFile) {
        WriteFile(settings, CrLf({"1", "0", "831415", "3", "", "", diskSize.empty() ? "" : "TRUE",
                                  diskSize.empty() ? "0" : diskSize, logFile}));
    }
    std::vector<std::string> Args() { return {ORVANE_BINARY, "plumb", list, settings}; }
    std::map<std::string, std::string> OnX(const XServer& x) {
        return {{"DISPLAY", x.display()}, {"QT_QPA_PLATFORM", "xcb"}};
    }

    std::vector<std::string> Cabinets() {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(out))
            if (e.path().filename() != "lost+found") names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // Extracts the cabinet (and the rest of its set) and compares every file.
    void ExpectHolds(const std::string& cab, const std::map<std::string, std::string>& expected) {
        const std::string x = dir / ("x" + std::to_string(++extractions));
        fs::create_directories(x);
        RunResult r = shelltest::CabExtract(cab, x);
        EXPECT_EQ(r.exitCode, 0) << r.output;
        std::size_t found = 0;
        for (const auto& e : fs::directory_iterator(x)) {
            (void)e;
            ++found;
        }
        EXPECT_EQ(found, expected.size()) << cab;
        for (const auto& [name, bytes] : expected)
            EXPECT_TRUE(ReadFile(x + "/" + name) == bytes) << name;
    }

    // A visible window of the program that is not its progress window (which
    // is told apart by its size); empty when none came. Boxes without a title
    // of their own have none that xdotool sees, so windows are found by class.
    std::string WaitBox(XServer& x, unsigned safetyMs = 60000) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(safetyMs);
        do {
            RunResult r = x.XDo({"search", "--onlyvisible", "--classname", "^orvane$"});
            std::istringstream ids(r.output);
            for (std::string id; std::getline(ids, id);) {
                if (id.empty() || id.find_first_not_of("0123456789") != std::string::npos) continue;
                RunResult g = x.XDo({"getwindowgeometry", id});
                if (g.exitCode == 0 && g.output.find("368x136") == std::string::npos) return id;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        } while (std::chrono::steady_clock::now() < deadline);
        return {};
    }
    // The progress window, told apart from boxes by its size.
    std::string WaitMain(XServer& x) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < deadline) {
            RunResult r = x.XDo({"search", "--onlyvisible", "--name", "^Velmora Cab$"});
            std::istringstream ids(r.output);
            for (std::string id; std::getline(ids, id);) {
                if (id.empty() || id.find_first_not_of("0123456789") != std::string::npos) continue;
                if (x.XDo({"getwindowgeometry", id}).output.find("368x136") != std::string::npos)
                    return id;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return {};
    }
    // Presses a key in the box that is up; false when no box came.
    bool Answer(XServer& x, const std::string& key) {
        std::string id = WaitBox(x);
        if (id.empty()) return false;
        x.XDo({"windowfocus", "--sync", id});
        if (x.XDo({"key", key}).exitCode != 0) return false;
        // The box goes away once it has its answer.
        for (int i = 0; i < 600 && WaitBox(x, 0) == id; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return true;
    }
    // Clicks a point of the progress window.
    bool Click(XServer& x, int left, int top) {
        std::string id = WaitMain(x);
        if (id.empty()) return false;
        return x.XDo({"mousemove", "--window", id, std::to_string(left), std::to_string(top),
                      "click", "1"})
                   .exitCode == 0;
    }

    TempDir dir{"orvproc"};
    std::string src, out;
    std::string list = dir / "list.txt", settings = dir / "settings.txt", log = dir / "build.log";
    std::map<std::string, std::string> files;
    bool mounted = false;
    int extractions = 0;
};

// ---- log mode, offscreen -----------------------------------------------------------

TEST_F(Orvane, OneCabinetInLogMode) {
    Sources(3, 50000);
    List({out + "/pack", src + "/*", "$", "$"});
    Settings("", log);
    RunResult r = Process(Args(), Offscreen).Wait();
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(Cabinets(), (std::vector<std::string>{"pack.cab"}));
    ExpectHolds(out + "/pack.cab", files);
    EXPECT_EQ(ReadFile(log), "");
}

TEST_F(Orvane, SpannedSetOfThreeCabinetsInLogMode) {
    Sources(3, 30000);
    List({out + "/backup.cab", "$", src + "/*.bin", "$"});
    Settings("40000", log);
    RunResult r = Process(Args(), Offscreen).Wait();
    ASSERT_EQ(r.exitCode, 0) << r.output;
    ASSERT_EQ(Cabinets(), (std::vector<std::string>{"backup1.cab", "backup2.cab", "backup3.cab"}));
    shelltest::CabHeader h1 = ReadCabHeader(out + "/backup1.cab");
    shelltest::CabHeader h2 = ReadCabHeader(out + "/backup2.cab");
    shelltest::CabHeader h3 = ReadCabHeader(out + "/backup3.cab");
    ASSERT_TRUE(h1.valid && h2.valid && h3.valid);
    EXPECT_EQ(h1.nextDisk, "Diskette 2");
    EXPECT_EQ(h2.prevDisk, "");
    EXPECT_EQ(h2.nextDisk, "Diskette 3");
    EXPECT_EQ(h3.prevDisk, "Diskette 2");
    EXPECT_EQ(h1.nextCabinet, "backup2.cab");
    EXPECT_EQ(h3.prevCabinet, "backup2.cab");
    ExpectHolds(out + "/backup1.cab", files);
    EXPECT_EQ(ReadFile(log), "");
}

TEST_F(Orvane, ExistingTargetIsDeletedInLogMode) {
    Sources(2, 20000);
    WriteFile(out + "/pack.cab", "an older cabinet");
    List({out + "/pack.cab", "$", src + "/*.bin", "$"});
    Settings("", log);
    RunResult r = Process(Args(), Offscreen).Wait();
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

TEST_F(Orvane, EmptyListEndsWithoutCabinetOrMessage) {
    List({});
    Settings("", log);
    WriteFile(log, "lines of an earlier run\r\n");
    RunResult r = Process(Args(), Offscreen).Wait();
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_TRUE(Cabinets().empty());
    EXPECT_EQ(ReadFile(log), "");
}

// ---- under X ---------------------------------------------------------------------

TEST_F(Orvane, WrongTokenOrMissingDirective) {
    XServer x;
    if (!x.available()) GTEST_SKIP() << "no Xvfb";
    List({out + "/pack", src + "/*", "$", "$"});
    Settings("", "");
    {
        Process p({ORVANE_BINARY}, OnX(x));
        ASSERT_TRUE(Answer(x, "Return"));
        EXPECT_EQ(p.Wait().exitCode, 0);
    }
    {
        Process p({ORVANE_BINARY, "Plumb", list, settings}, OnX(x));
        ASSERT_TRUE(Answer(x, "Return"));
        EXPECT_EQ(p.Wait().exitCode, 0);
    }
    {
        Process p({ORVANE_BINARY, "plumb", list, dir / "missing.txt"}, OnX(x));
        ASSERT_TRUE(Answer(x, "Return"));
        EXPECT_EQ(p.Wait().exitCode, 1);
    }
    EXPECT_TRUE(Cabinets().empty());
}

TEST_F(Orvane, OverwriteQuestionAnsweredNo) {
    XServer x;
    if (!x.available()) GTEST_SKIP() << "no Xvfb";
    Sources(2, 1000);
    WriteFile(out + "/pack.cab", "an older cabinet");
    List({out + "/pack", src + "/*", "$", "$"});
    Settings("", "");
    Process p(Args(), OnX(x));
    ASSERT_TRUE(Answer(x, "n"));
    RunResult r = p.Wait();
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(ReadFile(out + "/pack.cab"), "an older cabinet");
    EXPECT_EQ(Cabinets(), (std::vector<std::string>{"pack.cab"}));
}

TEST_F(Orvane, OverwriteQuestionAnsweredYes) {
    XServer x;
    if (!x.available()) GTEST_SKIP() << "no Xvfb";
    Sources(2, 1000);
    WriteFile(out + "/pack.cab", "an older cabinet");
    List({out + "/pack", src + "/*", "$", "$"});
    Settings("", "");
    Process p(Args(), OnX(x));
    ASSERT_TRUE(Answer(x, "y"));
    RunResult r = p.Wait();
    EXPECT_EQ(r.exitCode, 0) << r.output;
    ExpectHolds(out + "/pack.cab", files);
}

TEST_F(Orvane, NewDiskPromptWhenTheTargetIsFull) {
    XServer x;
    if (!x.available()) GTEST_SKIP() << "no Xvfb";
    // A small disk: room for the first cabinet, not for a second one.
    if (testutil::Run({"mount", "-t", "tmpfs", "-o", "size=96k", "tmpfs", out}).exitCode != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    mounted = true;
    Sources(3, 50000);
    List({out + "/backup", src + "/*", "$", "$"});
    Settings("60000", "");
    Process p(Args(), OnX(x));
    std::string box = WaitBox(x);
    ASSERT_FALSE(box.empty());
    // A larger disk is "inserted", and OK pressed.
    ASSERT_EQ(testutil::Run({"mount", "-o", "remount,size=1m", out}).exitCode, 0);
    x.XDo({"windowfocus", "--sync", box});
    x.XDo({"key", "Return"});
    RunResult r = p.Wait();
    EXPECT_EQ(r.exitCode, 0) << r.output;
    ASSERT_EQ(Cabinets(), (std::vector<std::string>{"backup1.cab", "backup2.cab", "backup3.cab"}));
    ExpectHolds(out + "/backup1.cab", files);
}

TEST_F(Orvane, NewDiskPromptCancelledAbortsTheBuild) {
    XServer x;
    if (!x.available()) GTEST_SKIP() << "no Xvfb";
    if (testutil::Run({"mount", "-t", "tmpfs", "-o", "size=96k", "tmpfs", out}).exitCode != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    mounted = true;
    Sources(3, 50000);
    List({out + "/backup", src + "/*", "$", "$"});
    Settings("60000", "");
    Process p(Args(), OnX(x));
    ASSERT_TRUE(Answer(x, "Escape")); // the disk prompt
    ASSERT_TRUE(Answer(x, "Return")); // "Fatal Error:" with "User abort"
    RunResult r = p.Wait();
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_FALSE(testutil::Exists(out + "/backup3.cab"));
}

TEST_F(Orvane, CancelDuringABuild) {
    XServer x;
    if (!x.available()) GTEST_SKIP() << "no Xvfb";
    Sources(3, 30000);
    WriteFile(out + "/backup2.cab", "an older cabinet");
    List({out + "/backup", src + "/*", "$", "$"});
    Settings("40000", "");
    Process p(Args(), OnX(x));
    // While the build asks about the second cabinet, the user presses Cancel
    // in the progress window, then lets the older file go.
    ASSERT_FALSE(WaitBox(x).empty());
    ASSERT_TRUE(Click(x, 288 + 36, 77 + 11));
    ASSERT_TRUE(Answer(x, "y"));
    ASSERT_TRUE(Answer(x, "Return")); // "Fatal Error:" with "User abort"
    RunResult r = p.Wait();
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_TRUE(testutil::Exists(out + "/backup1.cab"));
    EXPECT_FALSE(testutil::Exists(out + "/backup3.cab"));
}

TEST_F(Orvane, ClosingTheWindowDuringABuild) {
    XServer x;
    if (!x.available()) GTEST_SKIP() << "no Xvfb";
    Sources(3, 30000);
    WriteFile(out + "/backup3.cab", "an older cabinet");
    List({out + "/backup", src + "/*", "$", "$"});
    Settings("40000", "");
    Process p(Args(), OnX(x));
    ASSERT_FALSE(WaitBox(x).empty()); // the question about the third cabinet
    std::string main = WaitMain(x);
    ASSERT_FALSE(main.empty());
    ASSERT_TRUE(SendClose(x.display(), main));
    RunResult r = p.Wait();
    EXPECT_EQ(r.exitCode, 0) << r.output;
    // The open question went unanswered: the older file stays, and nothing
    // incomplete is left of the build.
    EXPECT_EQ(ReadFile(out + "/backup3.cab"), "an older cabinet");
    for (const std::string& c : Cabinets())
        if (c != "backup3.cab") {
            shelltest::CabHeader h = ReadCabHeader(out + "/" + c);
            EXPECT_TRUE(h.valid) << c;
        }
}

TEST_F(Orvane, LogFileThatCannotBeCreatedShowsItsLinesAsBoxes) {
    XServer x;
    if (!x.available()) GTEST_SKIP() << "no Xvfb";
    Sources(2, 1000);
    WriteFile(out + "/pack.cab", "an older cabinet");
    List({out + "/pack", src + "/*", "$", "$"});
    Settings("", dir / "no/such/folder/build.log");
    Process p(Args(), OnX(x));
    ASSERT_TRUE(Answer(x, "Return")); // the settings error
    // Still log mode: the older cabinet goes without a question.
    RunResult r = p.Wait();
    EXPECT_EQ(r.exitCode, 0) << r.output;
    ExpectHolds(out + "/pack.cab", files);
    EXPECT_FALSE(testutil::Exists(dir / "no"));
}

} // namespace
