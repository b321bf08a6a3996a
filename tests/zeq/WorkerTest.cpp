// The worker Zeq run against a scripted window side and a scripted volume.
#include "ScriptedBridge.h"
#include "uCore.h"

#include "TestUtil.h"
#include "WorkerJob.h"
#include "ZeqTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

namespace fs = std::filesystem;
using testutil::ReadFile;
using testutil::TempDir;
using testutil::WriteFile;
using zeqtest::Crc;

namespace {

const std::string CompareText =
    "The pies do not match the original file!\rPlease check your target media and try to split "
    "again.";

class WorkerTest : public zeqtest::JobFixture {
  protected:
    WorkerTest() : JobFixture("zeqwork") {}
    void SetUp() override {
        JobFixture::SetUp();
        job.JoinerPie = 1000000; // no self-joining pack
    }

    std::string MakeSource(std::size_t n, std::uint32_t seed = 1) {
        std::string bytes = testutil::RandomBytes(n, seed);
        WriteFile(source, bytes);
        return bytes;
    }

    // Runs the job to its end on this thread; returns the exit code the worker
    // asked for, or -1 when it finished normally. The worker's position at the
    // end is kept in position.
    int Run() { return Run(*std::make_unique<Zeq>(state, bridge)); }
    int Run(Zeq& z) {
        Start();
        int code = -1;
        z.FreeSpace = [this](const std::string& path) {
            EXPECT_EQ(path, target);
            required.push_back(state.RequiredSpace.Get());
            return freeSpace ? freeSpace() : std::int64_t{1} << 40;
        };
        z.EndProcess = [&code](int c) { code = c; };
        z.Execute();
        EXPECT_TRUE(state.Finished);
        position = z.Position();
        return code;
    }

    std::vector<std::string> PieceNames() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(target))
            names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string Piece(const std::string& name) const { return ReadFile(target + "/" + name); }

    ScriptedBridge bridge;
    Zeq::WorkerPosition position;
    std::function<std::int64_t()> freeSpace; // scripted volume; unset: plenty
    std::vector<std::int64_t> required;      // RequiredSpace at each volume query
};

// ---- the split pass ------------------------------------------------------------------

struct SplitCase {
    std::size_t sourceSize;
    std::int64_t bufferSize;
    std::vector<std::int64_t> sizes;
};

class SplitShapes : public WorkerTest, public ::testing::WithParamInterface<SplitCase> {};

TEST_P(SplitShapes, PiecesJoinToTheSourceWithTheirSizesAndChecksums) {
    const SplitCase& c = GetParam();
    std::string bytes = MakeSource(c.sourceSize, static_cast<std::uint32_t>(c.sourceSize));
    job.BufferSize = c.bufferSize;
    job.PieSizes = c.sizes;
    job.ReportPath = dir / "report.txt";
    ASSERT_EQ(Run(), -1) << (bridge.boxes.empty() ? "" : bridge.boxes[0].text);

    // Expected sizes: each line in turn, the last one repeated, the tail shorter.
    std::vector<std::size_t> expected;
    std::size_t left = c.sourceSize;
    for (std::size_t i = 0; left > 0; ++i) {
        std::size_t s = static_cast<std::size_t>(c.sizes[std::min(i, c.sizes.size() - 1)]);
        expected.push_back(std::min(s, left));
        left -= expected.back();
    }
    std::vector<std::string> names = PieceNames();
    ASSERT_EQ(names.size(), expected.size());
    std::string joined, report = std::to_string(expected.size()) + "\r\n";
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::string piece = Piece(names[i]);
        EXPECT_EQ(piece.size(), expected[i]) << names[i];
        joined += piece;
        report += Crc(piece) + "\r\n";
        EXPECT_EQ(position.CrcHexList.at(i), Crc(piece));
    }
    EXPECT_EQ(joined, bytes);
    EXPECT_EQ(position.PieNumber, static_cast<std::int64_t>(expected.size()));
    EXPECT_EQ(ReadFile(job.ReportPath), report);
    EXPECT_TRUE(bridge.boxes.empty());
    EXPECT_EQ(state.PieDone.Get(), c.sourceSize); // read back in the compare pass
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, SplitShapes,
    ::testing::Values(SplitCase{2500, 1 << 20, {1000}},     // 1000, 1000, 500
                      SplitCase{3000, 1 << 20, {1000}},     // exactly three, no empty fourth
                      SplitCase{3000, 300, {1000}},         // several buffers per piece
                      SplitCase{5000, 10000, {700}},        // several pieces per buffer
                      SplitCase{4321, 2, {1000}},           // the smallest buffer
                      SplitCase{4321, 999, {100, 1, 2000}}, // a size per piece
                      SplitCase{1, 7, {1}}));

TEST_F(WorkerTest, SourceOf4GiBAndMoreKeepsItsTail) {
    // A sparse source of 4 GiB + 3 bytes; the pieces go to /dev/null so that
    // nothing of that size is written. Sizes cut to 32 bits would see 3 bytes.
    {
        std::ofstream f(source, std::ios::binary);
        f.seekp((std::int64_t{1} << 32) - 2);
        f.write("\0abc", 4);
    }
    for (const char* name : {"movie.001", "movie.002", "movie.003"})
        fs::create_symlink("/dev/null", target + "/" + name);
    job.PieSizes = {2147483647};
    job.BufferSize = 16 << 20;
    job.ComparePies = false;
    job.ReportPath = dir / "report.txt";
    EXPECT_EQ(Run(), -1);
    EXPECT_EQ(state.SourceSize.Get(), (std::uint64_t{1} << 32) + 2);
    EXPECT_EQ(state.PieDone.Get(), (std::uint64_t{1} << 32) + 2);
    EXPECT_EQ(position.PieNumber, 3);
    ASSERT_EQ(position.CrcHexList.size(), 3u);
    EXPECT_EQ(position.CrcHexList[2],
              Crc(std::string("\0abc", 4))); // the 4 bytes past 2 x (2^31 - 1)
}

TEST_F(WorkerTest, EmptySourceWritesNoPieceAndReportsZero) {
    MakeSource(0);
    job.ReportPath = dir / "report.txt";
    EXPECT_EQ(Run(), -1);
    EXPECT_TRUE(PieceNames().empty());
    EXPECT_EQ(position.PieNumber, 0);
    EXPECT_EQ(ReadFile(job.ReportPath), "0\r\n");
    EXPECT_TRUE(bridge.boxes.empty());
}

TEST_F(WorkerTest, ReportIsAppendedAndWithoutCrcHoldsOnlyTheCount) {
    MakeSource(2500);
    job.MakeCrc = false;
    job.ReportPath = dir / "report.txt";
    WriteFile(job.ReportPath, "old line\r\n");
    EXPECT_EQ(Run(), -1);
    EXPECT_EQ(ReadFile(job.ReportPath), "old line\r\n3\r\n");
    EXPECT_TRUE(position.CrcHexList.empty());
}

TEST_F(WorkerTest, PatternsPerPieceAndTheLastRepeats) {
    MakeSource(350);
    job.ZeroCount = 1;
    job.PieNames = {"a*.x", "\\*./"};
    job.PieSizes = {100};
    EXPECT_EQ(Run(), -1);
    EXPECT_EQ(PieceNames(),
              (std::vector<std::string>{"a01.x", "movie02.avi", "movie03.avi", "movie04.avi"}));
}

TEST_F(WorkerTest, NumbersLongerThanTheZeroCountKeepAllDigits) {
    // With one digit allowed, pieces 10 to 12 used to become 0, 1 and 2 again and
    // overwrite earlier pieces.
    std::string bytes = MakeSource(12);
    job.ZeroCount = 0;
    job.PieNames = {"p*"};
    job.PieSizes = {1};
    EXPECT_EQ(Run(), -1);
    std::vector<std::string> names = PieceNames();
    ASSERT_EQ(names.size(), 12u);
    for (int m = 1; m <= 12; ++m)
        EXPECT_EQ(Piece("p" + std::to_string(m)), bytes.substr(m - 1, 1)) << m;
}

TEST_F(WorkerTest, FillingPieceTakesFreeSpaceLessKeepFree) {
    std::string bytes = MakeSource(10000000 + 5);
    job.PieSizes = {0};
    job.KeepFree = 4096;
    job.ComparePies = false;
    freeSpace = [] { return std::int64_t{10000000}; };
    EXPECT_EQ(Run(), -1);
    EXPECT_EQ(fs::file_size(target + "/movie.001"), 9995904u);
    EXPECT_EQ(fs::file_size(target + "/movie.002"), 10000005u - 9995904u); // the rest
    EXPECT_EQ(required.front(), 4096 + 1);
}

TEST_F(WorkerTest, PromptComesBeforeThePieceIsCreated) {
    MakeSource(2500);
    job.KeepFree = 10;
    int calls = 0;
    freeSpace = [&] { return ++calls == 2 ? std::int64_t{1009} : std::int64_t{1} << 30; };
    bool pieceTwoExisted = true;
    bridge.onPrompt = [&](JobState& j) {
        EXPECT_TRUE(j.WritingPies);
        EXPECT_EQ(j.RequiredSpace.Get(), 10 + 1000);
        EXPECT_FALSE(j.Worker->Position().PieOpen);
        pieceTwoExisted = fs::exists(target + "/movie.002");
        return true;
    };
    EXPECT_EQ(Run(), -1);
    EXPECT_EQ(bridge.events, (std::vector<std::string>{"prompt", "compare"}));
    EXPECT_FALSE(pieceTwoExisted);
    EXPECT_EQ(PieceNames().size(), 3u);
}

TEST_F(WorkerTest, UnreadableTargetPromptsAndGivingUpEndsWithCode1) {
    MakeSource(2500);
    job.ReportPath = dir / "report.txt";
    int calls = 0;
    freeSpace = [&] { return ++calls >= 2 ? std::int64_t{-1} : std::int64_t{1} << 30; };
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(bridge.events, (std::vector<std::string>{"prompt"}));
    EXPECT_TRUE(bridge.boxes.empty()); // giving up needs no further message
    EXPECT_EQ(PieceNames(), (std::vector<std::string>{"movie.001"})); // what was written stays
    EXPECT_EQ(fs::file_size(target + "/movie.001"), 1000u);
    EXPECT_FALSE(fs::exists(job.ReportPath));
}

TEST_F(WorkerTest, EraseRunsFirstAndOnlyWhenAsked) {
    MakeSource(10);
    job.EraseOption = -1;
    bridge.onErase = [&](JobState&) { EXPECT_TRUE(PieceNames().empty()); };
    EXPECT_EQ(Run(), -1);
    EXPECT_EQ(bridge.events.front(), "erase");
}

TEST_F(WorkerTest, NoEraseWithOptionZero) {
    MakeSource(10);
    EXPECT_EQ(Run(), -1);
    EXPECT_EQ(std::count(bridge.events.begin(), bridge.events.end(), "erase"), 0);
}

// ---- failures end the job in order ------------------------------------------------------

TEST_F(WorkerTest, FailedWriteRemovesTheIncompletePieceAndWritesNoReport) {
    std::string bytes = MakeSource(2500);
    job.ReportPath = dir / "report.txt";
    // The second piece lands on a device that is always full.
    fs::create_symlink("/dev/full", target + "/movie.002");
    EXPECT_EQ(Run(), 1);
    ASSERT_EQ(bridge.boxes.size(), 1u);
    EXPECT_EQ(bridge.boxes[0].caption, "Application Error");
    EXPECT_EQ(bridge.boxes[0].icon, MsgIcon::Error);
    EXPECT_EQ(bridge.boxes[0].text,
              "Cannot write the pie file\r" + target + "/movie.002\rNo space left on device");
    EXPECT_EQ(PieceNames(), (std::vector<std::string>{"movie.001"}));
    EXPECT_EQ(Piece("movie.001"), bytes.substr(0, 1000));
    EXPECT_FALSE(fs::exists(job.ReportPath));
    EXPECT_EQ(ReadFile(source), bytes);
}

TEST_F(WorkerTest, PieceThatCannotBeCreatedStopsTheJob) {
    MakeSource(2500);
    job.TargetPath = target + "/missing"; // the scripted volume still reports space
    freeSpace = [] { return std::int64_t{1} << 30; };
    int code = -1;
    {
        Start();
        Zeq z(state, bridge);
        z.FreeSpace = [&](const std::string&) { return freeSpace(); };
        z.EndProcess = [&](int c) { code = c; };
        z.Execute();
    }
    EXPECT_EQ(code, 1);
    ASSERT_EQ(bridge.boxes.size(), 1u);
    EXPECT_EQ(bridge.boxes[0].text, "Cannot create the pie file\r" + target +
                                        "/missing/movie.001\rNo such file or directory");
}

TEST_F(WorkerTest, MissingSourceStopsBeforeAnyPiece) {
    job.ReportPath = dir / "report.txt";
    EXPECT_EQ(Run(), 1);
    ASSERT_EQ(bridge.boxes.size(), 1u);
    EXPECT_EQ(bridge.boxes[0].text,
              "Cannot open the source file\r" + source + "\rNo such file or directory");
    EXPECT_TRUE(PieceNames().empty());
    EXPECT_FALSE(fs::exists(job.ReportPath));
}

TEST_F(WorkerTest, PieceNamedAsTheSourceStopsTheJobAndTheSourceStays) {
    // The source lies in the target under the name that only pie 3 takes.
    source = target + "/movie.003";
    job.SourcePath = source;
    const std::string bytes = MakeSource(3500);
    job.ReportPath = dir / "report.txt";
    EXPECT_EQ(Run(), 1);
    ASSERT_EQ(bridge.boxes.size(), 1u);
    EXPECT_EQ(bridge.boxes[0].text,
              "The split job cannot be run:\rPie 3 would be written over the source file:\r" +
                  source);
    EXPECT_EQ(ReadFile(source), bytes);
    EXPECT_EQ(PieceNames(), (std::vector<std::string>{"movie.001", "movie.002", "movie.003"}));
    EXPECT_FALSE(fs::exists(job.ReportPath));
}

TEST_F(WorkerTest, ReportThatIsTheSourceIsNeverWritten) {
    const std::string bytes = MakeSource(1500);
    fs::create_hard_link(source, dir / "report.txt");
    job.ReportPath = dir / "report.txt";
    EXPECT_EQ(Run(), 1);
    ASSERT_EQ(bridge.boxes.size(), 1u);
    EXPECT_EQ(bridge.boxes[0].text.rfind("The split job cannot be run:\r", 0), 0u)
        << bridge.boxes[0].text;
    EXPECT_EQ(ReadFile(source), bytes);
}

TEST_F(WorkerTest, ReportThatCannotBeWrittenStopsWithCode1) {
    MakeSource(100);
    job.ReportPath = dir / "nofolder/report.txt";
    EXPECT_EQ(Run(), 1);
    ASSERT_EQ(bridge.boxes.size(), 1u);
    EXPECT_NE(bridge.boxes[0].text.find(job.ReportPath), std::string::npos);
}

// ---- the compare pass --------------------------------------------------------------------

TEST_F(WorkerTest, ChangedByteIsACompareError) {
    MakeSource(2500);
    job.BufferSize = 700; // chunks of 350: boundaries fall inside pieces
    job.ReportPath = dir / "report.txt";
    bridge.onCompareNotice = [&] {
        std::string p = Piece("movie.002");
        p[999] ^= 1;
        WriteFile(target + "/movie.002", p);
    };
    EXPECT_EQ(Run(), 1);
    ASSERT_EQ(bridge.boxes.size(), 1u);
    EXPECT_EQ(bridge.boxes[0].caption, "Compare Error!");
    EXPECT_EQ(bridge.boxes[0].text, CompareText);
    EXPECT_EQ(PieceNames().size(), 3u); // the pieces stay as written
    EXPECT_FALSE(fs::exists(job.ReportPath));
}

TEST_F(WorkerTest, PiecesLongerThanTheSourceAreACompareError) {
    MakeSource(2500);
    bridge.onCompareNotice = [&] { WriteFile(target + "/movie.003", Piece("movie.003") + "x"); };
    EXPECT_EQ(Run(), 1);
    ASSERT_EQ(bridge.boxes.size(), 1u);
    EXPECT_EQ(bridge.boxes[0].caption, "Compare Error!");
}

TEST_F(WorkerTest, PieceThatShrinksWhileReadIsACompareErrorNotAHang) {
    // Files in /sys claim a size of a page and give only a few bytes: the read
    // brings nothing while the piece still owes bytes.
    const std::string liar = "/sys/devices/system/cpu/online";
    std::error_code ec;
    if (fs::file_size(liar, ec) != 4096 || ReadFile(liar).size() >= 4096)
        GTEST_SKIP() << "no file that reads shorter than its size";
    MakeSource(5000);
    job.PieSizes = {4096};
    bridge.onCompareNotice = [&] {
        fs::remove(target + "/movie.001");
        fs::create_symlink(liar, target + "/movie.001");
    };
    EXPECT_EQ(Run(), 1);
    ASSERT_EQ(bridge.boxes.size(), 1u);
    EXPECT_EQ(bridge.boxes[0].caption, "Compare Error!");
}

TEST_F(WorkerTest, ShorterPiecesAskForTheNextPiece) {
    MakeSource(2500);
    bridge.onCompareNotice = [&] {
        WriteFile(target + "/movie.003", Piece("movie.003").substr(0, 400));
    };
    std::string asked;
    bridge.onPrompt = [&](JobState& j) {
        EXPECT_FALSE(j.WritingPies);
        asked = j.CurrentPie.Get();
        return false;
    };
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(asked, target + "/movie.004");
    EXPECT_TRUE(bridge.boxes.empty());
}

TEST_F(WorkerTest, MissingPieceIsAskedForAndComparedOnceItIsBack) {
    MakeSource(2500);
    job.ReportPath = dir / "report.txt";
    bridge.onCompareNotice = [&] { fs::rename(target + "/movie.002", dir / "away"); };
    bridge.onPrompt = [&](JobState& j) {
        EXPECT_EQ(j.CurrentPie.Get(), target + "/movie.002");
        fs::rename(dir / "away", target + "/movie.002"); // the user puts the disk in
        return true;
    };
    EXPECT_EQ(Run(), -1);
    EXPECT_EQ(bridge.events, (std::vector<std::string>{"compare", "prompt"}));
    EXPECT_TRUE(fs::exists(job.ReportPath));
}

// ---- the joiner's share of the split --------------------------------------------------------

class JoinerRecorder : public Zeq {
  public:
    JoinerRecorder(JobState& state, IWindowBridge& bridge) : Zeq(state, bridge), state_(state) {}
    int made = 0;
    bool writingDuringJoin = true;

  protected:
    void MakeJoiner() override {
        ++made;
        writingDuringJoin = state_.WritingPies;
    }

  private:
    JobState& state_;
};

TEST_F(WorkerTest, JoinerReserveHoldsRoomOnTheTargetOfPieceK) {
    MakeSource(3500);
    WriteFile(prog + "glue32.exe", std::string(1000, 'g'));
    job.JoinerPie = -2; // behaves as 2
    job.KeepFree = 5;
    job.ReportPath = dir / "report.txt";
    JoinerRecorder z(state, bridge);
    EXPECT_EQ(Run(z), -1);
    // Piece 1: no reserve; piece 2 and later (piece 2 still on the target): glue + 8192.
    EXPECT_EQ(required, (std::vector<std::int64_t>{1005, 1005 + 9192, 1005 + 9192, 1005 + 9192}));
    EXPECT_EQ(position.JoinerPiePath, target + "/movie.002");
    EXPECT_EQ(z.made, 1);
    EXPECT_FALSE(z.writingDuringJoin);
    EXPECT_EQ(bridge.events.back(), "join");
    EXPECT_TRUE(fs::exists(job.ReportPath)); // the report comes before the pack
}

TEST_F(WorkerTest, NoReserveOnceTheMergedPieceIsOnAnotherDisk) {
    MakeSource(3000);
    WriteFile(prog + "glue32.exe", std::string(100, 'g'));
    job.JoinerPie = 1;
    job.ComparePies = false;
    int calls = 0;
    freeSpace = [&] { return ++calls == 2 ? std::int64_t{0} : std::int64_t{1} << 30; };
    bridge.onPrompt = [&](JobState&) {
        fs::rename(target + "/movie.001", dir / "disk1"); // a new, empty disk
        return true;
    };
    JoinerRecorder z(state, bridge);
    EXPECT_EQ(Run(z), -1);
    EXPECT_EQ(required, (std::vector<std::int64_t>{1000 + 8292, 1000 + 8292, 1000, 1000}));
}

TEST_F(WorkerTest, NoPackWhenKExceedsThePieceCount) {
    MakeSource(3000); // three pieces; no glue32.exe needed at all
    job.JoinerPie = 5;
    JoinerRecorder z(state, bridge);
    EXPECT_EQ(Run(z), -1);
    EXPECT_EQ(z.made, 0);
    EXPECT_EQ(std::count(bridge.events.begin(), bridge.events.end(), "join"), 0);

    job.JoinerPie = INT64_MIN; // its magnitude does not fit a signed value
    EXPECT_GT(job.JoinerK(), 3u);
}

TEST_F(WorkerTest, MissingJoinerProgramStopsBeforePieceK) {
    MakeSource(3000);
    job.JoinerPie = 2;
    EXPECT_EQ(Run(), 1);
    ASSERT_EQ(bridge.boxes.size(), 1u);
    EXPECT_NE(bridge.boxes[0].text.find(prog + "glue32.exe"), std::string::npos);
    EXPECT_EQ(PieceNames(), (std::vector<std::string>{"movie.001"}));
}

// ---- pausing -------------------------------------------------------------------------------

TEST_F(WorkerTest, PausedWorkerWritesNothingUntilResumed) {
    std::string bytes = MakeSource(3000);
    job.ComparePies = false;
    Start();
    Zeq z(state, bridge);
    std::promise<void> reached;
    bool first = true;
    z.FreeSpace = [&](const std::string&) {
        if (first) {
            first = false;
            z.Pause(); // from the worker itself, just before the first piece
            reached.set_value();
        }
        return std::int64_t{1} << 30;
    };
    z.EndProcess = [](int) { ADD_FAILURE() << "the job must not end"; };
    z.Start();
    reached.get_future().wait();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(z.Paused());
    EXPECT_TRUE(PieceNames().empty());
    EXPECT_FALSE(state.Finished);
    z.Resume();
    z.Wait();
    EXPECT_TRUE(state.Finished);
    EXPECT_EQ(Piece("movie.001") + Piece("movie.002") + Piece("movie.003"), bytes);
}

} // namespace
