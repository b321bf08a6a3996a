// The built zeq program run as the launcher runs it: a copy of it in a program
// folder with its three job files, started with the token. Message boxes are
// answered under a private X server with xdotool, as a person would.
#include "TestUtil.h"
#include "ZeqTestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace fs = std::filesystem;
using testutil::CrLfLines;
using testutil::Process;
using testutil::ReadFile;
using testutil::WriteFile;
using testutil::XServer;
using zeqtest::Crc;

namespace {

class ZeqProgram : public zeqtest::ProgramFolder {
  protected:
    ZeqProgram() : ProgramFolder("zeqproc", ZEQ_BINARY) {}

    // The job files as the launcher writes them; options are CRC and compare.
    void WriteJob(const std::string& bufferSize = "65536", const std::string& keepFree = "0") {
        zeqtest::WriteJobFiles(prog, {"2", "\\.*", "\\-*./"}, {"100000", "70000"},
                               {"Holiday", source, target, keepFree, bufferSize, "999", "0", "0",
                                "1", "1", dir / "report.txt"});
    }

    // A private X server for the test; false when there is none.
    bool StartX() {
        x = std::make_unique<XServer>();
        if (!x->available()) return false;
        hold = std::make_unique<testutil::XClientHold>(x->display());
        return true;
    }
    std::map<std::string, std::string> OnX() { return zeqtest::OnX(*x); }

    // Waits for a window with the title and presses Enter in it, again if the
    // first key arrived before the box could take it, until the box is gone.
    bool Answer(Process& p, const std::string& titleRegex) {
        std::string id = x->WaitWindow(titleRegex);
        if (id.empty()) return false;
        x->PressUntilGone(p, id, titleRegex);
        return true;
    }

    std::unique_ptr<XServer> x;
    std::unique_ptr<testutil::XClientHold> hold;
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
    if (!MountTarget("64k")) GTEST_SKIP() << "cannot mount a tmpfs here";
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
