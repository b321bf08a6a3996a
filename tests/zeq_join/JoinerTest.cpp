// The self-joining pack made by the worker against a scripted window side and a
// scripted volume, with a stand-in for glue32.exe whose size the tests choose.
#include "ScriptedBridge.h"
#include "uCore.h"
#include "uJoiner.h"

#include "TestUtil.h"
#include "WorkerJob.h"

#ifdef ZEQ_JOIN_GLUECORE
#include "gluecore.h"
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <zlib.h>

namespace fs = std::filesystem;
using testutil::ReadFile;
using testutil::TempDir;
using testutil::WriteFile;

namespace {

// The scripted window side, with a hook in the join notice: the last moment
// before the pack is made.
struct JoinBridge : ScriptedBridge {
    std::function<void()> onJoinNotice;
    void ShowJoinNotice() override {
        ScriptedBridge::ShowJoinNotice();
        if (onJoinNotice) onJoinNotice();
    }
};

bool Executable(const std::string& path) {
    using fs::perms;
    perms p = fs::status(path).permissions();
    return (p & perms::owner_exec) != perms::none && (p & perms::group_exec) != perms::none &&
           (p & perms::others_exec) != perms::none;
}

class JoinerTest : public zeqtest::JobFixture {
  protected:
    JoinerTest() : JobFixture("zeqjoin") {}
    void SetUp() override {
        JobFixture::SetUp();
        job.JobTitle = "Holiday";
        job.JoinerPie = 0;
        SetGlue(3000);
        WriteSettings();
        bytes = MakeSource(3000);
    }

    void SetGlue(std::size_t size) {
        glue = testutil::RandomBytes(size, static_cast<std::uint32_t>(size));
        WriteFile(prog + "glue32.exe", glue);
    }
    void WriteSettings() { WriteFile(prog + "glue.txt", testutil::CrLfLines(settings)); }
    std::string MakeSource(std::size_t n) {
        std::string b = testutil::RandomBytes(n, static_cast<std::uint32_t>(n) + 5);
        WriteFile(source, b);
        return b;
    }

    // Runs the job to its end; the exit code the worker asked for, or -1.
    int Run() {
        Start();
        int code = -1;
        Zeq z(state, bridge);
        z.FreeSpace = [this](const std::string& path) {
            EXPECT_EQ(path, target);
            return freeSpace ? freeSpace() : std::int64_t{1} << 40;
        };
        z.EndProcess = [&code](int c) { code = c; };
        z.Execute();
        EXPECT_TRUE(state.Finished);
        return code;
    }

    std::string Pie(int m) const {
        return bytes.substr(static_cast<std::size_t>(m - 1) * 1000, 1000);
    }
    std::string PieName(int m) const {
        char name[32];
        std::snprintf(name, sizeof name, "movie.%03d", m);
        return name;
    }
    std::vector<std::string> TargetNames() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(target))
            names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::vector<std::string> ProgramNames() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(prog))
            names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string BoxText() const { return bridge.boxes.empty() ? "" : bridge.boxes[0].text; }

    // The joiner data this job must give, written out line by line.
    std::string Data(const std::string& offsetText) const {
        std::int64_t k = job.JoinerPie < 0 ? -job.JoinerPie : job.JoinerPie;
        std::size_t pies = (bytes.size() + 999) / 1000;
        std::vector<std::string> lines = {
            std::to_string(k),      offsetText, job.JobTitle, source, std::to_string(bytes.size()),
            job.MakeCrc ? "1" : "0"};
        for (std::size_t i = 1; i <= 4; ++i)
            lines.push_back(i < settings.size() ? settings[i] : "");
        lines.push_back(std::to_string(pies));
        lines.push_back(std::to_string(job.ZeroCount));
        lines.insert(lines.end(), job.PieNames.begin(), job.PieNames.end());
        lines.push_back("$");
        for (std::size_t m = 1; job.MakeCrc && m <= pies; ++m) {
            std::string p = Pie(static_cast<int>(m));
            lines.push_back(
                std::to_string(crc32(0, reinterpret_cast<const Bytef*>(p.data()), p.size())));
        }
        lines.push_back("$");
        return testutil::CrLfLines(lines);
    }

    // A joiner file is the whole of glue32.exe, the joiner data whose line 2 is
    // the position of the pie's first byte, and the pie (none for k = 0).
    void ExpectPack(const std::string& joiner, const std::string& pie) const {
        ASSERT_GE(joiner.size(), glue.size() + pie.size());
        EXPECT_TRUE(joiner.compare(0, glue.size(), glue) == 0) << "the joiner program is cut";
        std::size_t offset = joiner.size() - pie.size();
        EXPECT_EQ(joiner.substr(glue.size(), offset - glue.size()), Data(std::to_string(offset)));
        EXPECT_TRUE(joiner.compare(offset, pie.size(), pie) == 0) << "the pie is not at the end";
    }

    std::string glue, bytes;
    std::vector<std::string> settings = {"\\_*.exe", "Holiday joiner", "1", "", "Enjoy"};
    JoinBridge bridge;
    std::function<std::int64_t()> freeSpace; // scripted volume; unset: plenty
};

// ---- what the pack holds ---------------------------------------------------------------------

TEST_F(JoinerTest, KZeroWithThreePiesIsAJoinerOfItsOwnBesideThem) {
    ASSERT_EQ(Run(), -1) << BoxText();
    // '*' gives nothing with k = 0.
    EXPECT_EQ(TargetNames(),
              (std::vector<std::string>{"movie.001", "movie.002", "movie.003", "movie_.exe"}));
    for (int m = 1; m <= 3; ++m)
        EXPECT_EQ(ReadFile(target + "/" + PieName(m)), Pie(m)) << m;
    std::string joiner = ReadFile(target + "/movie_.exe");
    ExpectPack(joiner, "");
    EXPECT_EQ(joiner.substr(glue.size(), 3), "0\r\n");
    EXPECT_TRUE(Executable(target + "/movie_.exe"));
    EXPECT_EQ(state.CurrentPie.Get(), "movie_.exe");
    EXPECT_EQ(ProgramNames(), (std::vector<std::string>{"glue.txt", "glue32.exe"}));
    EXPECT_EQ(bridge.events, (std::vector<std::string>{"compare", "join"}));
    EXPECT_TRUE(bridge.boxes.empty());
}

TEST_F(JoinerTest, KTwoOfThreeTakesPieTwoInAndDeletesItsFile) {
    job.JoinerPie = 2;
    job.ReportPath = dir / "report.txt";
    ASSERT_EQ(Run(), -1) << BoxText();
    EXPECT_EQ(TargetNames(), (std::vector<std::string>{"movie.001", "movie.003", "movie_002.exe"}));
    std::string joiner = ReadFile(target + "/movie_002.exe");
    ExpectPack(joiner, Pie(2));
    std::vector<std::string> lines = SplitLines(joiner.substr(glue.size()));
    EXPECT_EQ(lines.at(0), "2");
    EXPECT_EQ(lines.at(10), "3");
    EXPECT_TRUE(Executable(target + "/movie_002.exe"));
    EXPECT_EQ(SplitLines(ReadFile(job.ReportPath)).at(0), "3"); // written before, pie 2 counted
    EXPECT_EQ(ProgramNames(), (std::vector<std::string>{"glue.txt", "glue32.exe"}));
}

TEST_F(JoinerTest, NegativeKBehavesAsItsMagnitude) {
    job.JoinerPie = -2;
    ASSERT_EQ(Run(), -1) << BoxText();
    EXPECT_EQ(TargetNames(), (std::vector<std::string>{"movie.001", "movie.003", "movie_002.exe"}));
    ExpectPack(ReadFile(target + "/movie_002.exe"), Pie(2));
}

TEST_F(JoinerTest, KOfTheLastPieAndPatternsPerPie) {
    // Pie 3 takes its name from the last pattern line; the joiner must find it there.
    job.JoinerPie = 3;
    job.ZeroCount = 0;
    job.PieNames = {"first*", "\\-*./"};
    settings = {"join-/"};
    WriteSettings();
    ASSERT_EQ(Run(), -1) << BoxText();
    EXPECT_EQ(TargetNames(), (std::vector<std::string>{"first1", "join-avi", "movie-2.avi"}));
    ExpectPack(ReadFile(target + "/join-avi"), Pie(3));
}

TEST_F(JoinerTest, KBeyondThePiesMakesNoPackAndNeedsNoJoinerFiles) {
    job.JoinerPie = 5;
    fs::remove(prog + "glue32.exe");
    fs::remove(prog + "glue.txt");
    ASSERT_EQ(Run(), -1) << BoxText();
    EXPECT_EQ(TargetNames(), (std::vector<std::string>{"movie.001", "movie.002", "movie.003"}));
    EXPECT_TRUE(fs::is_empty(prog));
    EXPECT_EQ(std::count(bridge.events.begin(), bridge.events.end(), "join"), 0);
}

TEST_F(JoinerTest, WithoutCrcTheTwoDollarLinesAreAdjacent) {
    job.MakeCrc = false;
    job.JoinerPie = 1;
    settings = {"\\.exe"}; // glue.txt of one line: lines 7 to 10 are empty
    WriteSettings();
    ASSERT_EQ(Run(), -1) << BoxText();
    std::string joiner = ReadFile(target + "/movie.exe");
    ExpectPack(joiner, Pie(1));
    std::string data = joiner.substr(glue.size(), joiner.size() - glue.size() - 1000);
    std::vector<std::string> lines = SplitLines(data);
    EXPECT_EQ(lines.at(5), "0");
    for (std::size_t i = 6; i <= 9; ++i)
        EXPECT_EQ(lines.at(i), "") << i;
    ASSERT_GE(data.size(), 11u);
    EXPECT_EQ(data.substr(data.size() - 11), "\\.*\r\n$\r\n$\r\n");
}

// ---- line 2 is the true offset, whatever its digit count ------------------------------------

// Sizes of glue32.exe given relative to the offset they lead to: the offset of
// the data written with a placeholder of five digits, minus the data's size
// without any offset text.
struct OffsetCase {
    const char* what;
    std::int64_t offset; // glue32.exe + data with five digits in line 2
};

void PrintTo(const OffsetCase& c, std::ostream* os) {
    *os << c.what << " (" << c.offset << ")";
}

class JoinerOffsets : public JoinerTest, public ::testing::WithParamInterface<OffsetCase> {};

TEST_P(JoinerOffsets, LineTwoIsWherePieKStarts) {
    job.JoinerPie = 2;
    // The data's size without the offset's digits is known from the job alone.
    const std::int64_t bare = static_cast<std::int64_t>(Data("").size());
    const std::int64_t glueSize = GetParam().offset - 5 - bare;
    ASSERT_GT(glueSize, 0);
    SetGlue(static_cast<std::size_t>(glueSize));
    ASSERT_EQ(Run(), -1) << BoxText();
    std::string joiner = ReadFile(target + "/movie_002.exe");
    ExpectPack(joiner, Pie(2));
    std::vector<std::string> lines = SplitLines(joiner.substr(glue.size(), 200));
    std::int64_t offset = std::stoll(lines.at(1));
    EXPECT_EQ(offset, static_cast<std::int64_t>(joiner.size()) - 1000);
    EXPECT_EQ(offset, glueSize + bare + static_cast<std::int64_t>(lines.at(1).size()));
#ifdef ZEQ_JOIN_GLUECORE
    // The joiner's own reader takes line 2 as it stands.
    GlueData d;
    const char* why = "";
    ASSERT_EQ(
        glue_parse(joiner.data() + glue.size(), joiner.size() - glue.size(), glue.size(), &d, &why),
        0)
        << why;
    EXPECT_TRUE(d.offset_agrees);
    EXPECT_EQ(d.block_end, static_cast<std::uint64_t>(offset));
    EXPECT_EQ(d.k, 2u);
    EXPECT_EQ(d.pieces, 3u);
    glue_free(&d);
#endif
}

INSTANTIATE_TEST_SUITE_P(
    Digits, JoinerOffsets,
    ::testing::Values(OffsetCase{"ThreeDigits", 900}, OffsetCase{"FourDigits", 9998},
                      OffsetCase{"JustTenThousand", 10000}, OffsetCase{"FiveDigits", 54321},
                      OffsetCase{"LastOfFiveDigits", 99999},
                      OffsetCase{"PlaceholderReachesSixDigits", 100000},
                      OffsetCase{"SixDigits", 100005}, OffsetCase{"SevenDigits", 1500000}),
    [](const ::testing::TestParamInfo<OffsetCase>& i) { return std::string(i.param.what); });

// ---- the target and the disks ------------------------------------------------------------------

TEST_F(JoinerTest, TargetTooFullForTheJoinerAsksForANewDisk) {
    job.JoinerPie = 2;
    job.KeepFree = 7;
    bool joining = false, disk = false;
    bridge.onJoinNotice = [&] { joining = true; };
    freeSpace = [&] { return joining && !disk ? std::int64_t{100} : std::int64_t{1} << 30; };
    std::string tempSeen;
    bridge.onPrompt = [&](JobState& j) {
        EXPECT_TRUE(j.WritingPies);
        tempSeen = ReadFile(prog + "ZeqGlue.tmp");
        EXPECT_EQ(j.RequiredSpace.Get(), static_cast<std::int64_t>(tempSeen.size()) + 7);
        EXPECT_FALSE(fs::exists(target + "/movie.002")); // taken in already
        for (int m : {1, 3})
            fs::rename(target + "/" + PieName(m), dir / PieName(m)); // a new, empty disk
        disk = true;
        return true;
    };
    ASSERT_EQ(Run(), -1) << BoxText();
    EXPECT_EQ(bridge.events, (std::vector<std::string>{"compare", "join", "prompt"}));
    EXPECT_EQ(TargetNames(), (std::vector<std::string>{"movie_002.exe"}));
    std::string joiner = ReadFile(target + "/movie_002.exe");
    ExpectPack(joiner, Pie(2));
    EXPECT_EQ(joiner, tempSeen);
    EXPECT_EQ(ProgramNames(), (std::vector<std::string>{"glue.txt", "glue32.exe"}));
}

TEST_F(JoinerTest, GivingUpAtTheJoinerPromptKeepsPieKAndSaysWhere) {
    job.JoinerPie = 2;
    bool joining = false;
    bridge.onJoinNotice = [&] { joining = true; };
    freeSpace = [&] { return joining ? std::int64_t{100} : std::int64_t{1} << 30; };
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(TargetNames(), (std::vector<std::string>{"movie.001", "movie.003"}));
    ExpectPack(ReadFile(prog + "ZeqGlue.tmp"), Pie(2));
    EXPECT_EQ(ProgramNames(), (std::vector<std::string>{"ZeqGlue.tmp", "glue.txt", "glue32.exe"}));
    ASSERT_EQ(bridge.boxes.size(), 1u);
    EXPECT_EQ(bridge.boxes[0].caption, "Velmora Zeq");
    EXPECT_EQ(bridge.boxes[0].icon, MsgIcon::Warning);
    EXPECT_NE(bridge.boxes[0].text.find("Pie 2 is no longer on the target"), std::string::npos);
    EXPECT_NE(bridge.boxes[0].text.find("\r" + prog + "ZeqGlue.tmp\r"), std::string::npos);
}

TEST_F(JoinerTest, GivingUpWithKZeroLosesNothingAndLeavesNothing) {
    bool joining = false;
    bridge.onJoinNotice = [&] { joining = true; };
    freeSpace = [&] { return joining ? std::int64_t{100} : std::int64_t{1} << 30; };
    EXPECT_EQ(Run(), 1);
    EXPECT_TRUE(bridge.boxes.empty()); // the user gave up; nothing more to say
    EXPECT_EQ(TargetNames(), (std::vector<std::string>{"movie.001", "movie.002", "movie.003"}));
    EXPECT_EQ(ProgramNames(), (std::vector<std::string>{"glue.txt", "glue32.exe"}));
}

TEST_F(JoinerTest, MissingPieKIsAskedForByItsPath) {
    job.JoinerPie = 2;
    bridge.onJoinNotice = [&] { fs::rename(target + "/movie.002", dir / "away"); };
    bridge.onPrompt = [&](JobState& j) {
        EXPECT_FALSE(j.WritingPies);
        EXPECT_EQ(j.CurrentPie.Get(), target + "/movie.002");
        fs::rename(dir / "away", target + "/movie.002"); // the disk that holds it
        return true;
    };
    ASSERT_EQ(Run(), -1) << BoxText();
    EXPECT_EQ(bridge.events, (std::vector<std::string>{"compare", "join", "prompt"}));
    ExpectPack(ReadFile(target + "/movie_002.exe"), Pie(2));
}

TEST_F(JoinerTest, GivingUpBeforePieKIsTakenInLeavesThePiesAsTheyAre) {
    job.JoinerPie = 2;
    bridge.onJoinNotice = [&] { fs::rename(target + "/movie.002", dir / "away"); };
    EXPECT_EQ(Run(), 1);
    EXPECT_TRUE(bridge.boxes.empty());
    EXPECT_EQ(TargetNames(), (std::vector<std::string>{"movie.001", "movie.003"}));
    EXPECT_EQ(ReadFile(dir / "away"), Pie(2));
    EXPECT_EQ(ProgramNames(), (std::vector<std::string>{"glue.txt", "glue32.exe"}));
}

TEST_F(JoinerTest, AnotherFileUnderPieKsNameIsNeitherTakenInNorDeleted) {
    job.JoinerPie = 2;
    const std::string stranger = testutil::RandomBytes(1000, 77);
    bridge.onJoinNotice = [&] { WriteFile(target + "/movie.002", stranger); };
    EXPECT_EQ(Run(), 1);
    ASSERT_EQ(bridge.boxes.size(), 1u);
    EXPECT_EQ(bridge.boxes[0].caption, "Application Error");
    EXPECT_EQ(bridge.boxes[0].text.rfind("The pie file is not the pie that was written:\r" +
                                             target + "/movie.002\rIts CRC-32 is ",
                                         0),
              0u)
        << bridge.boxes[0].text;
    EXPECT_EQ(ReadFile(target + "/movie.002"), stranger);
    EXPECT_EQ(TargetNames(), (std::vector<std::string>{"movie.001", "movie.002", "movie.003"}));
    EXPECT_EQ(ProgramNames(), (std::vector<std::string>{"glue.txt", "glue32.exe"}));
}

// ---- failures
// ------------------------------------------------------------------------------------

TEST_F(JoinerTest, FailedCopyKeepsZeqGlueTmpWithPieKAndSaysWhereAndWhy) {
    job.JoinerPie = 2;
    // The joiner file lands on a device that is always full.
    fs::create_symlink("/dev/full", target + "/movie_002.exe");
    EXPECT_EQ(Run(), 1);
    ASSERT_EQ(bridge.boxes.size(), 1u);
    EXPECT_EQ(bridge.boxes[0].caption, "Application Error");
    EXPECT_EQ(bridge.boxes[0].icon, MsgIcon::Error);
    EXPECT_EQ(bridge.boxes[0].text,
              "Cannot copy the joiner file to the target\r" + target +
                  "/movie_002.exe\rNo space left on device\rIt is kept, with the bytes of pie 2, "
                  "in\r" +
                  prog +
                  "ZeqGlue.tmp\rMove that file away before the next split job with a joiner.");
    ExpectPack(ReadFile(prog + "ZeqGlue.tmp"), Pie(2));
    EXPECT_EQ(ProgramNames(), (std::vector<std::string>{"ZeqGlue.tmp", "glue.txt", "glue32.exe"}));
    EXPECT_FALSE(fs::exists(target + "/movie.002"));
}

TEST_F(JoinerTest, FailedCopyWithKZeroKeepsThePackToo) {
    fs::create_directory(target + "/movie_.exe"); // a folder stands where the joiner goes
    EXPECT_EQ(Run(), 1);
    ASSERT_EQ(bridge.boxes.size(), 1u);
    EXPECT_EQ(bridge.boxes[0].text,
              "Cannot copy the joiner file to the target\r" + target +
                  "/movie_.exe\rIs a directory\rIt is kept in\r" + prog +
                  "ZeqGlue.tmp\rMove that file away before the next split job with a joiner.");
    ExpectPack(ReadFile(prog + "ZeqGlue.tmp"), "");
    EXPECT_EQ(ProgramNames(), (std::vector<std::string>{"ZeqGlue.tmp", "glue.txt", "glue32.exe"}));
}

TEST_F(JoinerTest, MissingSettingsFileStopsAndLeavesPieKInPlace) {
    job.JoinerPie = 2;
    fs::remove(prog + "glue.txt");
    EXPECT_EQ(Run(), 1);
    ASSERT_EQ(bridge.boxes.size(), 1u);
    EXPECT_EQ(bridge.boxes[0].caption, "Application Error");
    EXPECT_EQ(bridge.boxes[0].text,
              "Cannot read the joiner settings\r" + prog + "glue.txt\rNo such file or directory");
    EXPECT_EQ(TargetNames(), (std::vector<std::string>{"movie.001", "movie.002", "movie.003"}));
    EXPECT_EQ(ProgramNames(), (std::vector<std::string>{"glue32.exe"}));
}

TEST_F(JoinerTest, ZeqGlueTmpOfAnEarlierJobStaysWhenTheStepFailsBeforeMakingItsOwn) {
    job.JoinerPie = 2;
    WriteFile(prog + "ZeqGlue.tmp", "an earlier pack, with the only copy of its pie");
    fs::remove(prog + "glue.txt");
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(ReadFile(prog + "ZeqGlue.tmp"), "an earlier pack, with the only copy of its pie");
}

TEST_F(JoinerTest, JoinerNamedAsTheSourceIsNeverWrittenOverIt) {
    // The source lies in the target, and glue.txt names the joiner after it.
    source = target + "/movie.avi";
    job.SourcePath = source;
    bytes = MakeSource(3000);
    settings[0] = "\\./";
    WriteSettings();
    EXPECT_EQ(Run(), 1);
    ASSERT_EQ(bridge.boxes.size(), 1u);
    EXPECT_EQ(bridge.boxes[0].text,
              "The split job cannot be run:\rThe joiner file would be written over the source "
              "file:\r" +
                  source);
    EXPECT_EQ(ReadFile(source), bytes);
    EXPECT_EQ(TargetNames(),
              (std::vector<std::string>{"movie.001", "movie.002", "movie.003", "movie.avi"}));
}

TEST_F(JoinerTest, EmptyJoinerNameStops) {
    job.JoinerPie = 1;
    settings = {"", "title"};
    WriteSettings();
    EXPECT_EQ(Run(), 1);
    ASSERT_EQ(bridge.boxes.size(), 1u);
    EXPECT_NE(bridge.boxes[0].text.find(prog + "glue.txt"), std::string::npos);
    EXPECT_EQ(TargetNames(), (std::vector<std::string>{"movie.001", "movie.002", "movie.003"}));
    EXPECT_EQ(ProgramNames(), (std::vector<std::string>{"glue.txt", "glue32.exe"}));
}

// ---- the steps on their own
// -----------------------------------------------------------------------

TEST_F(JoinerTest, JoinerNameExpandsThePatternLikePieNames) {
    job.SourcePath = "/clips/movie.avi";
    job.JoinerPie = 7;
    EXPECT_EQ(job.JoinerName("\\.exe"), "movie.exe");
    EXPECT_EQ(job.JoinerName("\\*./"), "movie007.avi");
    job.ZeroCount = 0;
    job.JoinerPie = -1234;
    EXPECT_EQ(job.JoinerName("\\*./"), "movie1234.avi"); // digits are never dropped
    job.JoinerPie = 0;
    EXPECT_EQ(job.JoinerName("\\*./"), "movie.avi");
}

TEST_F(JoinerTest, JoinerDataHoldsTheJobLineByLine) {
    job.JoinerPie = -1;
    std::vector<std::string> crcs;
    for (int m = 1; m <= 3; ++m) {
        std::string p = Pie(m);
        crcs.push_back(
            std::to_string(crc32(0, reinterpret_cast<const Bytef*>(p.data()), p.size())));
    }
    const JoinerSettings glue = ParseJoinerSettings(testutil::CrLfLines(settings));
    EXPECT_EQ(glue.JoinerPattern, "\\_*.exe");
    EXPECT_EQ(JoinerDataText(job, glue, 3000, 3, crcs, "00000"), Data("00000"));
}

TEST_F(JoinerTest, AnOldJoinerDataIsReplacedWhole) {
    job.JoinerPie = 2;
    WriteFile(prog + "gluedata.Zeq", std::string(100000, 'x')); // left by an earlier job
    ASSERT_EQ(Run(), -1) << BoxText();
    ExpectPack(ReadFile(target + "/movie_002.exe"), Pie(2));
    EXPECT_EQ(ProgramNames(), (std::vector<std::string>{"glue.txt", "glue32.exe"}));
}

} // namespace
