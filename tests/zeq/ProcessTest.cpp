// The built zeq program run as the launcher runs it: a copy of it in a program
// folder with its three job files, started with the token. Message boxes are
// answered under a private X server with xdotool, as a person would.
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <zlib.h>

namespace fs = std::filesystem;
using testutil::Process;
using testutil::ReadFile;
using testutil::TempDir;
using testutil::WriteFile;
using testutil::XServer;

namespace {

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

    std::map<std::string, std::string> OnX(const XServer& x) {
        return {{"DISPLAY", x.display()}, {"QT_QPA_PLATFORM", "xcb"}};
    }

    // Waits for a window with the title and presses Enter in it, again if the
    // first key arrived before the box could take it, until the box is gone.
    bool Answer(XServer& x, Process& p, const std::string& titleRegex) {
        std::string id = x.WaitWindow(titleRegex);
        if (id.empty()) return false;
        for (int i = 0; i < 100 && p.Running(); ++i) {
            x.XDo({"windowfocus", "--sync", id});
            x.XDo({"key", "Return"});
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (x.XDo({"search", "--onlyvisible", "--name", titleRegex}).output.empty()) break;
        }
        return true;
    }

    TempDir dir{"zeqproc"};
    std::string prog, target, source;
    bool mounted = false;
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
    XServer x;
    if (!x.available()) GTEST_SKIP() << "no Xvfb";
    WriteFile(source, testutil::RandomBytes(1000, 1));
    WriteJob();
    {
        Process p({prog + "/zeq", "lanterns"}, OnX(x));
        EXPECT_FALSE(x.WaitWindow("^Zeq Split Engine: Holiday$").empty());
        EXPECT_EQ(p.Wait().exitCode, 0);
    }
    {
        Process p({prog + "/zeq", "lanterns", "Copy "}, OnX(x));
        EXPECT_FALSE(x.WaitWindow("^Copy Holiday$").empty());
        EXPECT_EQ(p.Wait().exitCode, 0);
    }
}

TEST_F(ZeqProgram, WrongTokenIsRefusedWithExitCode0) {
    XServer x;
    if (!x.available()) GTEST_SKIP() << "no Xvfb";
    WriteFile(source, "abc");
    WriteJob();
    Process p({prog + "/zeq", "Lanterns"}, OnX(x)); // the case must match too
    ASSERT_TRUE(Answer(x, p, "^ $")) << "no box with the caption \" \"";
    EXPECT_EQ(p.Wait().exitCode, 0);
    EXPECT_TRUE(fs::is_empty(target));
}

TEST_F(ZeqProgram, JobOutsideItsFormatEndsWithExitCode1) {
    XServer x;
    if (!x.available()) GTEST_SKIP() << "no Xvfb";
    WriteFile(source, "abc");
    WriteJob("1"); // a buffer of one byte cannot be halved for the compare pass
    Process p({prog + "/zeq", "lanterns"}, OnX(x));
    ASSERT_TRUE(Answer(x, p, "^Velmora Zeq$"));
    EXPECT_EQ(p.Wait().exitCode, 1);
    EXPECT_TRUE(fs::is_empty(target));
}

TEST_F(ZeqProgram, FailingWriteIsReportedAndEndsWithExitCode1) {
    XServer x;
    if (!x.available()) GTEST_SKIP() << "no Xvfb";
    if (testutil::Run({"mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", target}).exitCode != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    mounted = true;
    std::string bytes = testutil::RandomBytes(300000, 3);
    WriteFile(source, bytes);
    // A negative KeepFree lets the free-space test pass for a piece larger than
    // the 64 KiB file system, so the write itself runs out of room.
    WriteJob("65536", "-1000000");
    Process p({prog + "/zeq", "lanterns"}, OnX(x));
    ASSERT_TRUE(Answer(x, p, "^Application Error$"));
    EXPECT_EQ(p.Wait().exitCode, 1);
    EXPECT_TRUE(fs::is_empty(target)); // the incomplete piece is gone
    EXPECT_FALSE(fs::exists(dir / "report.txt"));
    EXPECT_EQ(ReadFile(source), bytes);
}

} // namespace
