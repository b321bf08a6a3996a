// The built zeq program run as the launcher runs it: a copy of it in a program
// folder with its three job files, started with the token. Message boxes are
// answered under a private X server with xdotool, as a person would.
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>
#include <zlib.h>
#ifdef ZEQ_HOLD_X
#include <xcb/xcb.h>
#endif

namespace fs = std::filesystem;
using testutil::Process;
using testutil::ReadFile;
using testutil::TempDir;
using testutil::WriteFile;
using testutil::XServer;

namespace {

// Holds a connection to the X server for as long as a test runs. Xvfb resets
// itself whenever its last client leaves, and a program that connects during
// such a reset is turned away; with this client there is never a last one.
class XClientHold {
  public:
    explicit XClientHold(const std::string& display) {
#ifdef ZEQ_HOLD_X
        for (int i = 0; i < 100; ++i) {
            c_ = xcb_connect(display.c_str(), nullptr);
            if (!xcb_connection_has_error(c_)) return;
            xcb_disconnect(c_);
            c_ = nullptr;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
#else
        (void)display;
#endif
    }
    ~XClientHold() {
#ifdef ZEQ_HOLD_X
        if (c_) xcb_disconnect(c_);
#endif
    }
    XClientHold(const XClientHold&) = delete;
    XClientHold& operator=(const XClientHold&) = delete;

  private:
#ifdef ZEQ_HOLD_X
    xcb_connection_t* c_ = nullptr;
#endif
};

std::string Crc(const std::string& bytes) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%lX",
                  crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size()));
    return buf;
}

std::string CrLfLines(const std::vector<std::string>& lines) {
    std::string s;
    for (const std::string& l : lines)
        s += l + "\r\n";
    return s;
}

class ZeqProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        prog = dir / "prog";
        target = dir / "target";
        source = dir / "movie.avi";
        fs::create_directories(prog);
        fs::create_directories(target);
        fs::copy_file(ZEQ_BINARY, prog + "/zeq");
    }
    void TearDown() override {
        if (mounted) testutil::Run({"umount", target});
    }

    // The job files as the launcher writes them; options are CRC and compare.
    void WriteJob(const std::string& bufferSize = "65536", const std::string& keepFree = "0") {
        WriteFile(prog + "/pienames.txt", CrLfLines({"2", "\\.*", "\\-*./"}));
        WriteFile(prog + "/piesizes.txt", CrLfLines({"100000", "70000"}));
        WriteFile(prog + "/piesplit.txt",
                  CrLfLines({"Holiday", source, target, keepFree, bufferSize, "999", "0", "0", "1",
                             "1", dir / "report.txt"}));
    }

    // A private X server for the test; false when there is none.
    bool StartX() {
        x = std::make_unique<XServer>();
        if (!x->available()) return false;
        hold = std::make_unique<XClientHold>(x->display());
        return true;
    }
    std::map<std::string, std::string> OnX() {
        return {{"DISPLAY", x->display()}, {"QT_QPA_PLATFORM", "xcb"}};
    }

    // Waits for a window with the title and presses Enter in it, again if the
    // first key arrived before the box could take it, until the box is gone.
    bool Answer(Process& p, const std::string& titleRegex) {
        std::string id = x->WaitWindow(titleRegex);
        if (id.empty()) return false;
        for (int i = 0; i < 100 && p.Running(); ++i) {
            x->XDo({"windowfocus", "--sync", id});
            x->XDo({"key", "Return"});
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (x->XDo({"search", "--onlyvisible", "--name", titleRegex}).output.empty()) break;
        }
        return true;
    }

    TempDir dir{"zeqproc"};
    std::string prog, target, source;
    bool mounted = false;
    std::unique_ptr<XServer> x;
    std::unique_ptr<XClientHold> hold;
};

TEST_F(ZeqProgram, SplitsWithCrcCompareAndReport) {
    std::string bytes = testutil::RandomBytes(300000, 7);
    WriteFile(source, bytes);
    WriteJob();
    WriteFile(dir / "report.txt", "earlier job\r\n");
    Process p({prog + "/zeq", "lanterns"}, {{"QT_QPA_PLATFORM", "offscreen"}});
    testutil::RunResult r = p.Wait();
    ASSERT_EQ(r.exitCode, 0) << r.output;

    const std::vector<std::pair<std::string, std::size_t>> pieces = {{"movie.001", 100000},
                                                                     {"movie-002.avi", 70000},
                                                                     {"movie-003.avi", 70000},
                                                                     {"movie-004.avi", 60000}};
    std::vector<std::string> report = {"earlier job", "4"};
    std::size_t at = 0;
    for (const auto& [name, size] : pieces) {
        std::string piece = ReadFile(target + "/" + name);
        EXPECT_EQ(piece, bytes.substr(at, size)) << name;
        report.push_back(Crc(piece));
        at += size;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(target), fs::directory_iterator()), 4);
    EXPECT_EQ(ReadFile(dir / "report.txt"), CrLfLines(report));
    EXPECT_EQ(ReadFile(source), bytes);
    // Nothing new in the program folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(prog), fs::directory_iterator()), 4);
}

TEST_F(ZeqProgram, CaptionIsArgumentTwoOrTheDefaultFollowedByTheJobTitle) {
    if (!StartX()) GTEST_SKIP() << "no Xvfb";
    WriteFile(source, testutil::RandomBytes(1000, 1));
    WriteJob();
    {
        Process p({prog + "/zeq", "lanterns"}, OnX());
        EXPECT_FALSE(x->WaitWindow("^Zeq Split Engine: Holiday$").empty());
        testutil::RunResult r = p.Wait();
        EXPECT_EQ(r.exitCode, 0) << r.output;
    }
    {
        Process p({prog + "/zeq", "lanterns", "Copy "}, OnX());
        EXPECT_FALSE(x->WaitWindow("^Copy Holiday$").empty());
        testutil::RunResult r = p.Wait();
        EXPECT_EQ(r.exitCode, 0) << r.output;
    }
}

TEST_F(ZeqProgram, WrongTokenIsRefusedWithExitCode0) {
    if (!StartX()) GTEST_SKIP() << "no Xvfb";
    WriteFile(source, "abc");
    WriteJob();
    Process p({prog + "/zeq", "Lanterns"}, OnX()); // the case must match too
    ASSERT_TRUE(Answer(p, "^ $")) << "no box with the caption \" \"";
    testutil::RunResult r = p.Wait();
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_TRUE(fs::is_empty(target));
}

TEST_F(ZeqProgram, JobOutsideItsFormatEndsWithExitCode1) {
    if (!StartX()) GTEST_SKIP() << "no Xvfb";
    WriteFile(source, "abc");
    WriteJob("1"); // a buffer of one byte cannot be halved for the compare pass
    Process p({prog + "/zeq", "lanterns"}, OnX());
    ASSERT_TRUE(Answer(p, "^Velmora Zeq$"));
    testutil::RunResult r = p.Wait();
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_TRUE(fs::is_empty(target));
}

TEST_F(ZeqProgram, FailingWriteIsReportedAndEndsWithExitCode1) {
    if (!StartX()) GTEST_SKIP() << "no Xvfb";
    if (testutil::Run({"mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", target}).exitCode != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    mounted = true;
    std::string bytes = testutil::RandomBytes(300000, 3);
    WriteFile(source, bytes);
    // A negative KeepFree lets the free-space test pass for a piece larger than
    // the 64 KiB file system, so the write itself runs out of room.
    WriteJob("65536", "-1000000");
    Process p({prog + "/zeq", "lanterns"}, OnX());
    ASSERT_TRUE(Answer(p, "^Application Error$"));
    testutil::RunResult r = p.Wait();
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_TRUE(fs::is_empty(target)); // the incomplete piece is gone
    EXPECT_FALSE(fs::exists(dir / "report.txt"));
    EXPECT_EQ(ReadFile(source), bytes);
}

} // namespace
