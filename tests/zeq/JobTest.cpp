// The job files, piece names, checksum texts and the helpers of uUtils.
#include "Text.h"
#include "uCRC32.h"
#include "uCore.h"
#include "uJob.h"
#include "uUtils.h"

#include "TestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using testutil::TempDir;
using testutil::WriteFile;

namespace {

std::unique_ptr<JobSettings> ReadSplit(const std::string& text) {
    auto job = std::make_unique<JobSettings>();
    std::string error;
    EXPECT_TRUE(ReadPieSplit(text, *job, error)) << error;
    return job;
}

TEST(PieSplitTest, ReadsAllElevenLinesWithCrLf) {
    auto job = ReadSplit("Holiday\r\n/data/movie.avi\r\n/mnt/usb\r\n4096\r\n65536\r\n-2\r\n"
                         "500\r\n-1\r\n1\r\n0\r\n/data/report.txt\r\n");
    EXPECT_EQ(job->JobTitle, "Holiday");
    EXPECT_EQ(job->SourcePath, "/data/movie.avi");
    EXPECT_EQ(job->TargetPath, "/mnt/usb");
    EXPECT_EQ(job->KeepFree, 4096);
    EXPECT_EQ(job->BufferSize, 65536);
    EXPECT_EQ(job->JoinerPie, -2);
    EXPECT_EQ(job->CheckInterval, 500);
    EXPECT_EQ(job->EraseOption, -1);
    EXPECT_TRUE(job->MakeCrc);
    EXPECT_FALSE(job->ComparePies);
    EXPECT_EQ(job->ReportPath, "/data/report.txt");
}

TEST(PieSplitTest, MissingLinesReadAsZeroAndEmpty) {
    auto job = ReadSplit("T\n/src\n/dst\n");
    EXPECT_EQ(job->KeepFree, 0);
    EXPECT_EQ(job->BufferSize, 0);
    EXPECT_EQ(job->CompareOption, 0);
    EXPECT_FALSE(job->MakeCrc);
    EXPECT_EQ(job->ReportPath, "");
    // Even the texts: a file of one line leaves the paths empty.
    auto one = ReadSplit("only");
    EXPECT_EQ(one->JobTitle, "only");
    EXPECT_EQ(one->SourcePath, "");
}

TEST(PieSplitTest, BlankLineBeforeANumberMovesLaterValuesUp) {
    auto job = ReadSplit("T\n/s\n/d\n\n  7\n8\n9\n10\n11\n12\n13\nreport\n");
    EXPECT_EQ(job->KeepFree, 7);
    EXPECT_EQ(job->BufferSize, 8);
    EXPECT_EQ(job->CompareOption, 13);
    EXPECT_EQ(job->ReportPath, "report");
}

TEST(PieSplitTest, RestOfANumberLineIsSkipped) {
    auto job = ReadSplit("T\n/s\n/d\n4096 bytes kept\n\t100 buffer\n0\n0\n0\n1 crc\n1\n r.txt\n");
    EXPECT_EQ(job->KeepFree, 4096);
    EXPECT_EQ(job->BufferSize, 100);
    EXPECT_TRUE(job->ComparePies);
    EXPECT_EQ(job->ReportPath, " r.txt"); // a text line is taken whole
}

TEST(PieSplitTest, OptionsAreSigned64BitComparisons) {
    auto job = ReadSplit("T\n/s\n/d\n0\n2\n0\n0\n0\n4294967296\n-1\n");
    EXPECT_TRUE(job->MakeCrc);
    EXPECT_FALSE(job->ComparePies);
    auto big = ReadSplit("T\n/s\n/d\n9223372036854775807\n-9223372036854775808\n");
    EXPECT_EQ(big->KeepFree, INT64_MAX);
    EXPECT_EQ(big->BufferSize, INT64_MIN);
}

TEST(PieSplitTest, InvalidNumbersAreReportedWithTheirLine) {
    JobSettings job;
    std::string error;
    EXPECT_FALSE(ReadPieSplit("T\n/s\n/d\n4096\nlots\n", job, error));
    EXPECT_NE(error.find("line 5"), std::string::npos) << error;
    EXPECT_NE(error.find("\"lots\""), std::string::npos) << error;
    EXPECT_FALSE(ReadPieSplit("T\n/s\n/d\n9223372036854775808\n", job, error)); // too large
    EXPECT_FALSE(ReadPieSplit("T\n/s\n/d\n12x\n", job, error));
    EXPECT_FALSE(ReadPieSplit("T\n/s\n/d\n0x10\n", job, error));
    EXPECT_FALSE(ReadPieSplit("T\n/s\n/d\n-\n", job, error));
    // Leading zeros never make a number too long, as in the other job files.
    EXPECT_TRUE(ReadPieSplit("T\n/s\n/d\n" + std::string(32, '0') + "\n", job, error));
    EXPECT_TRUE(ReadPieSplit("T\n/s\n/d\n0\n" + std::string(300, '0') + "4096\n", job, error))
        << error;
    EXPECT_EQ(job.BufferSize, 4096);
}

TEST(ParseDecimalTest, AcceptsBlanksAndSignRejectsTheRest) {
    std::int64_t v = 0;
    EXPECT_TRUE(ParseDecimal(" 1000\t", v));
    EXPECT_EQ(v, 1000);
    EXPECT_TRUE(ParseDecimal("+5", v));
    EXPECT_EQ(v, 5);
    EXPECT_TRUE(ParseDecimal("-9223372036854775808", v));
    EXPECT_EQ(v, INT64_MIN);
    EXPECT_FALSE(ParseDecimal("", v));
    EXPECT_FALSE(ParseDecimal("1 000", v));
    EXPECT_FALSE(ParseDecimal("1e3", v));
    EXPECT_FALSE(ParseDecimal("99999999999999999999", v));
}

// A valid job: the lines of pienames.txt and piesizes.txt, and the fields of
// piesplit.txt as ReadPieSplit leaves them.
struct JobTexts {
    std::vector<std::string> pieNames = {"2", "\\.*"};
    std::vector<std::string> pieSizes = {"1000"};
    JobSettings job;
    JobTexts() {
        job.SourcePath = "/s";
        job.TargetPath = "/d";
        job.BufferSize = 2;
    }
    bool Check(std::string& error) {
        return CheckJob(testutil::CrLfLines(pieNames), testutil::CrLfLines(pieSizes), job, error);
    }
};

// The message for a valid job changed by modify; fails when the job passes.
std::string CheckError(const std::function<void(JobTexts&)>& modify) {
    JobTexts texts;
    modify(texts);
    std::string error;
    EXPECT_FALSE(texts.Check(error));
    EXPECT_FALSE(error.empty());
    return error;
}

TEST(CheckJobTest, JobsOutsideTheFormatAreRefused) {
    JobTexts valid;
    std::string error = "left over from an earlier call";
    EXPECT_TRUE(valid.Check(error)) << error;
    EXPECT_TRUE(error.empty());

    EXPECT_NE(CheckError([](JobTexts& t) { t.job.BufferSize = 1; }).find("at least 2"),
              std::string::npos);
    EXPECT_NE(CheckError([](JobTexts& t) {
                  t.pieSizes = {"1000", "-5"};
              }).find("Line 2 of piesizes.txt"),
              std::string::npos);
    CheckError([](JobTexts& t) { t.pieSizes = {"big"}; });
    CheckError([](JobTexts& t) { t.pieSizes = {"2147483648"}; });
    CheckError([](JobTexts& t) { t.pieSizes = {"1000", ""}; }); // a blank line inside the list
    CheckError([](JobTexts& t) { t.pieSizes.clear(); });
    CheckError([](JobTexts& t) { t.pieNames = {"2"}; });
    CheckError([](JobTexts& t) { t.pieNames = {"two", "x*"}; });
    CheckError([](JobTexts& t) { t.pieNames = {"256", "x*"}; });
    EXPECT_NE(CheckError([](JobTexts& t) {
                  t.pieNames = {"2", "a*", ""};
              }).find("Line 3 of pienames.txt"),
              std::string::npos);
    EXPECT_NE(CheckError([](JobTexts& t) { t.job.TargetPath.clear(); }).find("target"),
              std::string::npos);
    CheckError([](JobTexts& t) { t.job.SourcePath.clear(); });
}

TEST(CheckJobTest, ListsAreReadIntoNumbersAndPatternsOnce) {
    JobTexts texts;
    texts.pieNames = {"+02", "a*", "\\.*"};
    texts.pieSizes = {" 1000\t", "0", "2147483647"};
    std::string error;
    ASSERT_TRUE(texts.Check(error)) << error;
    const JobSettings& job = texts.job;
    EXPECT_EQ(job.ZeroCount, 2);
    EXPECT_EQ(job.PieNames, (std::vector<std::string>{"a*", "\\.*"}));
    EXPECT_EQ(job.PieSizes, (std::vector<std::int64_t>{1000, 0, 2147483647}));
    // Pies beyond the last line of either list take that line.
    EXPECT_EQ(job.PieSize(1), 1000);
    EXPECT_EQ(job.PieSize(2), 0);
    EXPECT_EQ(job.PieSize(9), 2147483647);
    EXPECT_EQ(job.PieName(1), "a001");
    EXPECT_EQ(job.PieName(2), "s.002");
    EXPECT_EQ(job.PieName(1234), "s.1234");
    EXPECT_EQ(job.PiePath(3), "/d/s.003");
}

TEST(LoadJobTest, ReadsTheThreeFilesFromTheFolder) {
    TempDir dir("zeqjob");
    std::string folder = dir.path() + "/";
    WriteFile(folder + "pienames.txt", "3\r\na*\r\nb*\r\n");
    WriteFile(folder + "piesizes.txt", "10\n0\n");
    WriteFile(folder + "piesplit.txt", "T\r\n/s\r\n/d\r\n0\r\n64\r\n");
    JobState state;
    std::string error;
    ASSERT_TRUE(LoadJob(folder, state, error)) << error;
    const JobSettings& job = state.Settings();
    EXPECT_EQ(job.ZeroCount, 3);
    EXPECT_EQ(job.PieNames, (std::vector<std::string>{"a*", "b*"}));
    EXPECT_EQ(job.PieSizes, (std::vector<std::int64_t>{10, 0}));
    EXPECT_EQ(job.ProgramFolder, folder);
    EXPECT_EQ(job.BufferSize, 64);
}

TEST(LoadJobTest, MissingFileAndBadJobGiveMessages) {
    TempDir dir("zeqjob");
    std::string folder = dir.path() + "/";
    JobState job;
    std::string error;
    EXPECT_FALSE(LoadJob(folder, job, error));
    EXPECT_NE(error.find(folder + "pienames.txt"), std::string::npos) << error;
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;

    WriteFile(folder + "pienames.txt", "0\nx*\n");
    WriteFile(folder + "piesizes.txt", "10\n");
    WriteFile(folder + "piesplit.txt", "T\n/s\n/d\n0\n1\n");
    JobState bad;
    EXPECT_FALSE(LoadJob(folder, bad, error));
    EXPECT_EQ(error.rfind("The split job cannot be run:\r", 0), 0u) << error;
}

TEST(LoadJobTest, JobsThatReachTheSourceAreRefusedWithTheReason) {
    TempDir dir("zeqjob");
    const std::string folder = dir.path() + "/";
    std::filesystem::create_directories(dir / "t/sub");
    WriteFile(dir / "t/sub/movie.avi", "source");
    WriteFile(folder + "pienames.txt", "0\r\n\\.*\r\n");
    WriteFile(folder + "piesizes.txt", "10\r\n");
    auto load = [&](const std::string& source, const std::string& target, const std::string& erase,
                    const std::string& report) {
        WriteFile(folder + "piesplit.txt", "T\r\n" + source + "\r\n" + target +
                                               "\r\n0\r\n64\r\n999\r\n0\r\n" + erase +
                                               "\r\n0\r\n0\r\n" + report + "\r\n");
        JobState job;
        std::string error;
        EXPECT_FALSE(LoadJob(folder, job, error)) << source << " " << target;
        EXPECT_EQ(error.rfind("The split job cannot be run:\r", 0), 0u) << error;
        return error;
    };
    const std::string src = dir / "t/sub/movie.avi";
    EXPECT_NE(load(src, dir / "t", "1", "").find("would delete the source file"),
              std::string::npos);
    EXPECT_NE(load(src, dir / "t/sub/../sub", "-1", "").find("would delete the source file"),
              std::string::npos);
    EXPECT_NE(load(src, dir / "t", "0", dir / "t/../t/sub/movie.avi")
                  .find("The report would be written over the source file:"),
              std::string::npos);
    EXPECT_NE(load(dir / "t", dir / "t", "0", "").find("It is a folder"), std::string::npos);
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    EXPECT_NE(load(dir / "pipe", dir / "t", "0", "").find("not a regular file"), std::string::npos);

    // Only the folder the source lies in is emptied with a negative option.
    WriteFile(folder + "piesplit.txt",
              "T\r\n" + src + "\r\n" + (dir / "t") + "\r\n0\r\n64\r\n999\r\n0\r\n-1\r\n");
    JobState job;
    std::string error;
    EXPECT_TRUE(LoadJob(folder, job, error)) << error;
    EXPECT_TRUE(job.Settings().SourceKnown);
}

TEST(LoadJobTest, HugeTextsAreQuotedShortened) {
    TempDir dir("zeqjob");
    const std::string folder = dir.path() + "/";
    WriteFile(folder + "pienames.txt", "0\r\nx*\r\n");
    WriteFile(folder + "piesizes.txt", "1" + std::string(1 << 20, '2') + "3\r\n");
    WriteFile(folder + "piesplit.txt", "T\r\n/s\r\n/d\r\n0\r\n64\r\n");
    JobState job;
    std::string error;
    EXPECT_FALSE(LoadJob(folder, job, error));
    EXPECT_LT(error.size(), 1000u);
    EXPECT_EQ(error.rfind("The split job cannot be run:\r", 0), 0u) << error;
    EXPECT_NE(error.find("\"12222"), std::string::npos) << error;
    EXPECT_NE(error.find("22 ... 22"), std::string::npos) << error;
    EXPECT_NE(error.find("22223\"."), std::string::npos) << error;
    // A text without a long line is left as it is; a cut never splits a character.
    EXPECT_EQ(ShortenedText("a\rb"), "a\rb");
    const std::string wide =
        ShortenedText(std::string(200, 'a') + std::string(200, '\xc3') + "\xa9", 300);
    for (std::size_t i = 0; i + 1 < wide.size(); ++i)
        EXPECT_FALSE(wide[i] == '\xc3' && wide[i + 1] == ' ') << i;
}

TEST(LinesTest, SplitsAtEveryKindOfLineEnd) {
    EXPECT_EQ(SplitLines("a\r\nb\nc\rd"), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitLines("a\r\n"), (std::vector<std::string>{"a"}));
    EXPECT_EQ(SplitLines("a\r\n\r\n"), (std::vector<std::string>{"a", ""}));
    EXPECT_TRUE(SplitLines("").empty());
}

TEST(NamesTest, NumberTextIsPaddedButNeverCut) {
    EXPECT_EQ(PieNumberText(2, 1), "001");
    EXPECT_EQ(PieNumberText(2, 123), "123");
    EXPECT_EQ(PieNumberText(0, 123), "123");
    EXPECT_EQ(PieNumberText(2, 1234), "1234"); // all digits stay, so no name repeats
    EXPECT_EQ(PieNumberText(0, 1), "1");
}

TEST(NamesTest, PatternsExpandFromTheSourceName) {
    const std::string src = "/clips/movie.avi";
    EXPECT_EQ(ExpandPattern("\\.*", PieNumberText(2, 1), src), "movie.001");
    EXPECT_EQ(ExpandPattern("\\.*", PieNumberText(2, 123), src), "movie.123");
    EXPECT_EQ(ExpandPattern("\\*./", PieNumberText(2, 1), src), "movie001.avi");
    EXPECT_EQ(ExpandPattern("part-*", "7", src), "part-7");
    EXPECT_EQ(ExpandPattern("\\.exe", "", src), "movie.exe");
}

TEST(NamesTest, FileNameParts) {
    EXPECT_EQ(ExtWithoutDot("/clips/movie.avi"), "avi");
    EXPECT_EQ(NameWithoutExt("/clips/movie.avi"), "movie");
    EXPECT_EQ(ExtWithoutDot("archive.tar.gz"), "gz");
    EXPECT_EQ(NameWithoutExt("archive.tar.gz"), "archive.tar");
    EXPECT_EQ(ExtWithoutDot("/some.dir/README"), "");
    EXPECT_EQ(NameWithoutExt("/some.dir/README"), "README");
    EXPECT_EQ(JoinPath("/t", "a"), "/t/a");
    EXPECT_EQ(JoinPath("/", "a"), "/a");
}

TEST(CrcTextTest, HexWithoutLeadingZerosAndDecimal) {
    EXPECT_EQ(CrcHex(0xABCD), "ABCD");
    EXPECT_EQ(CrcHex(0), "0");
    std::uint32_t abc = CrcFinish(CrcUpdate(0xFFFFFFFFu, 3, "abc"));
    EXPECT_EQ(CrcHex(abc), "352441C2");
    EXPECT_EQ(CrcDec(abc), "891568578");
    EXPECT_EQ(CrcHex(CrcFinish(CrcUpdate(0xFFFFFFFFu, 9, "123456789"))), "CBF43926");
}

TEST(VolumeTest, MissingFolderHasNoSpace) {
    TempDir dir("zeqvol");
    EXPECT_GT(TargetFree(dir.path()), 0);
    EXPECT_GE(TargetTotal(dir.path()), TargetFree(dir.path()));
    EXPECT_EQ(TargetFree(dir / "absent"), -1);
    EXPECT_EQ(TargetTotal(dir / "absent"), -1);
}

class EraseTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directories(dir / "t/sub/deeper");
        WriteFile(dir / "t/a.001", "x");
        WriteFile(dir / "t/.hidden", "x");
        WriteFile(dir / "t/sub/b", "x");
        WriteFile(dir / "t/sub/deeper/c", "x");
        ::chmod((dir / "t/a.001").c_str(), 0444);
        std::filesystem::create_directories(dir / "outside");
        WriteFile(dir / "outside/keep", "x");
        std::filesystem::create_directory_symlink(dir / "outside", dir / "t/link");
    }
    TempDir dir{"zeqerase"};
};

TEST_F(EraseTest, NegativeOptionDeletesOnlyFilesInTheFolder) {
    std::vector<std::string> seen;
    EraseFolder(dir / "t", -1, [&](const std::string& p) { seen.push_back(p); });
    EXPECT_FALSE(testutil::Exists(dir / "t/a.001"));
    EXPECT_FALSE(testutil::Exists(dir / "t/.hidden"));
    EXPECT_FALSE(testutil::Exists(dir / "t/link")); // the link, not what it points to
    EXPECT_TRUE(testutil::Exists(dir / "t/sub/b"));
    EXPECT_TRUE(testutil::Exists(dir / "outside/keep"));
    EXPECT_EQ(seen.size(), 3u);
}

TEST_F(EraseTest, PositiveOptionEmptiesTheWholeTreeButKeepsTheFolder) {
    EraseFolder(dir / "t", 1);
    EXPECT_TRUE(std::filesystem::is_empty(dir / "t"));
    EXPECT_TRUE(testutil::Exists(dir / "outside/keep"));
}

TEST_F(EraseTest, AFolderSwappedForALinkDuringTheWalkIsNotFollowed) {
    // Two sibling folders; at the first file deleted, the sibling not yet
    // visited is replaced by a link to the outside folder.
    std::filesystem::create_directories(dir / "t/p");
    std::filesystem::create_directories(dir / "t/q");
    WriteFile(dir / "t/p/f", "x");
    WriteFile(dir / "t/q/f", "x");
    bool swapped = false;
    EraseFolder(dir / "t", 1, [&](const std::string& path) {
        if (swapped) return;
        for (const char* name : {"p", "q"}) {
            std::string other = dir / (std::string("t/") + name);
            if (path.rfind(other + "/", 0) == 0 || !std::filesystem::exists(other)) continue;
            std::filesystem::rename(other, dir / "moved");
            std::filesystem::create_directory_symlink(dir / "outside", other);
            swapped = true;
            return;
        }
    });
    ASSERT_TRUE(swapped);
    EXPECT_TRUE(testutil::Exists(dir / "outside/keep"));
}

TEST_F(EraseTest, TheSourceIsNeverErasedUnderAnyName) {
    // The job names its source through a link: the file itself lies in the target.
    plat::FileId keep;
    ASSERT_TRUE(plat::GetFileId(dir / "t/sub/deeper/c", keep));
    EraseFolder(dir / "t", 1, {}, &keep);
    EXPECT_TRUE(testutil::Exists(dir / "t/sub/deeper/c"));
    EXPECT_FALSE(testutil::Exists(dir / "t/sub/b"));
    EXPECT_FALSE(testutil::Exists(dir / "t/a.001"));
}

TEST_F(EraseTest, EmptyPathErasesNothing) {
    TempDir cwd("zeqcwd");
    WriteFile(cwd / "stay", "x");
    std::string old = std::filesystem::current_path();
    std::filesystem::current_path(cwd.path());
    EraseFolder("", 1);
    std::filesystem::current_path(old);
    EXPECT_TRUE(testutil::Exists(cwd / "stay"));
}

} // namespace
