// The built zeq program run as the launcher runs it: a copy of it in a program
// folder with its three job files, started with the token. Message boxes are
// answered under a private X server with xdotool, as a person would.
#include "TestUtil.h"
#include "ZeqTestUtil.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <sys/stat.h>

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

// Jobs that would write over the source or erase it, sources that are no
// regular file and names the system would cut short: each is refused with a
// box and exit code 1 before anything is written, and the source stays as it was.
TEST_F(ZeqProgram, UnsafeJobsAreRefusedBeforeAnythingIsWritten) {
    if (!StartX()) GTEST_SKIP() << "no Xvfb";
    const std::string bytes = testutil::RandomBytes(5000, 21);
    struct Case {
        const char* what;
        // Given the case folder (holding src/movie.avi), fills in the job.
        std::function<void(const std::string& c, std::vector<std::string>& names,
                           std::vector<std::string>& split)>
            setup;
    };
    // piesplit.txt: title, source, target, KeepFree, BufferSize, JoinerPie,
    // CheckInterval, EraseOption, CrcOption, CompareOption, ReportPath.
    const std::vector<Case> cases = {
        {"a pie named as the source in its folder",
         [](const std::string& c, auto& names, auto& split) {
             names = {"2", "\\./"};
             split[2] = c + "/src";
         }},
        {"a pie named as the source, the target spelled through a link",
         [](const std::string& c, auto& names, auto& split) {
             fs::create_directory_symlink(c + "/src", c + "/srclink");
             names = {"2", "\\./"};
             split[2] = c + "/srclink";
         }},
        {"an erase of the whole tree above the source's folder",
         [](const std::string& c, auto&, auto& split) {
             fs::create_directory_symlink(c, c + "-link");
             split[2] = c + "-link";
             split[7] = "1";
         }},
        {"an erase of the files in the source's folder",
         [](const std::string& c, auto&, auto& split) {
             split[2] = c + "/src";
             split[7] = "-1";
         }},
        {"a report that is the source under another name",
         [](const std::string& c, auto&, auto& split) {
             fs::create_hard_link(c + "/src/movie.avi", c + "/report.txt");
             split[10] = c + "/report.txt";
         }},
        {"a joiner named as the source",
         [this](const std::string& c, auto&, auto& split) {
             WriteFile(prog + "/glue32.exe", "joiner program");
             WriteFile(prog + "/glue.txt", CrLfLines({"\\./", "", "", "", ""}));
             split[2] = c + "/src";
             split[5] = "0";
         }},
        {"a pattern with a NUL byte",
         [](const std::string&, auto& names, auto&) {
             names = {"0", std::string("a\0b*", 4)};
         }},
        {"a pipe as the source",
         [](const std::string& c, auto&, auto& split) {
             ASSERT_EQ(::mkfifo((c + "/pipe").c_str(), 0600), 0);
             split[1] = c + "/pipe";
         }},
        {"a device as the source",
         [](const std::string&, auto&, auto& split) { split[1] = "/dev/zero"; }},
        {"a folder as the source",
         [](const std::string& c, auto&, auto& split) { split[1] = c + "/src"; }},
    };
    int n = 0;
    for (const Case& k : cases) {
        const std::string c = dir / ("case" + std::to_string(++n));
        fs::create_directories(c + "/src");
        fs::create_directories(c + "/target");
        WriteFile(c + "/src/movie.avi", bytes);
        std::vector<std::string> names = {"2", "\\.*"};
        std::vector<std::string> split = {
            "T", c + "/src/movie.avi", c + "/target", "0", "4096", "999", "0", "0", "1", "0", ""};
        fs::remove(prog + "/glue.txt");
        k.setup(c, names, split);
        zeqtest::WriteJobFiles(prog, names, {"1000"}, split);
        Process p({prog + "/zeq", "lanterns"}, OnX());
        ASSERT_TRUE(Answer(p, "^Velmora Zeq$")) << k.what;
        testutil::RunResult r = p.Wait();
        EXPECT_EQ(r.exitCode, 1) << k.what << "\n" << r.output;
        EXPECT_TRUE(ReadFile(c + "/src/movie.avi") == bytes) << k.what;
        EXPECT_EQ(std::distance(fs::directory_iterator(c + "/src"), fs::directory_iterator()), 1)
            << k.what;
        EXPECT_TRUE(fs::is_empty(c + "/target")) << k.what;
    }
}

// A megabyte of pattern, source path or pie size is quoted shortened, so the
// box comes up at once and the job ends with exit code 1.
TEST_F(ZeqProgram, HugeTextsInTheJobStillGiveAMessageBox) {
    if (!StartX()) GTEST_SKIP() << "no Xvfb";
    WriteFile(source, testutil::RandomBytes(3000, 5));
    const std::string huge(1 << 20, 'x');
    const std::vector<std::string> split = {"T", source, target, "0", "4096", "999",
                                            "0", "0",    "1",    "0", ""};
    std::vector<std::string> hugeSource = split;
    hugeSource[1] = "/" + huge;
    const struct {
        const char* what;
        std::vector<std::string> names, sizes, split;
    } cases[] = {
        {"pattern", {"2", huge + "*"}, {"1000"}, split},
        {"pie size", {"2", "\\.*"}, {huge}, split},
        {"source path", {"2", "\\.*"}, {"1000"}, hugeSource},
    };
    for (const auto& k : cases) {
        zeqtest::WriteJobFiles(prog, k.names, k.sizes, k.split);
        Process p({prog + "/zeq", "lanterns"}, OnX());
        const std::string title = "^(Velmora Zeq|Application Error)$";
        const std::string id = x->WaitWindow(title);
        ASSERT_FALSE(id.empty()) << k.what;
        // The box fits on the screen (1024 x 768) rather than laying out the whole text.
        const std::string geometry = x->XDo({"getwindowgeometry", id}).output;
        int width = 0, height = 0;
        const std::size_t at = geometry.find("Geometry: ");
        ASSERT_NE(at, std::string::npos) << geometry;
        ASSERT_EQ(std::sscanf(geometry.c_str() + at, "Geometry: %dx%d", &width, &height), 2);
        EXPECT_LE(width, 1024) << k.what;
        EXPECT_LE(height, 768) << k.what;
        x->PressUntilGone(p, id, title);
        testutil::RunResult r = p.Wait();
        EXPECT_EQ(r.exitCode, 1) << k.what << "\n" << r.output;
        EXPECT_TRUE(fs::is_empty(target)) << k.what;
    }
}

} // namespace
