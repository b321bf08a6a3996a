// Joiner files built by hand from the real program, run as a person would.
#include "TestUtil.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <vector>
#include <zlib.h>

// Built with AddressSanitizer (the joiner then is too).
#if defined(__SANITIZE_ADDRESS__)
#define GLUE_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define GLUE_SANITIZED 1
#endif
#endif

using namespace testutil;
namespace fs = std::filesystem;

namespace {

const std::string kGlue = GLUE_EXE;

enum { kDone = 0, kUsage = 1, kMissing = 2, kCrc = 3, kSize = 4, kExists = 5, kData = 7 };

// What the split engine would have done: the source, its pieces, the pack.
struct Job {
    std::string source = "/home/ann/clips/movie.avi";
    std::string bytes = RandomBytes(2500, 7);
    std::size_t pieceSize = 1000;
    uint64_t k = 0;
    bool crc = true;
    std::vector<std::string> names = {"2", "\\.*"};
    std::vector<std::string> settings = {"", "", "", ""};
    std::string offset; // written as line 2 instead of the true offset when set

    std::vector<std::string> Pieces() const {
        std::vector<std::string> p;
        for (std::size_t at = 0; at < bytes.size(); at += pieceSize)
            p.push_back(bytes.substr(at, pieceSize));
        return p;
    }

    std::string Data(const std::string& off) const {
        std::string b;
        auto line = [&](const std::string& s) { b += s + "\r\n"; };
        line(std::to_string(k));
        line(off);
        line("Holiday");
        line(source);
        line(std::to_string(bytes.size()));
        line(crc ? "1" : "0");
        for (const auto& s : settings)
            line(s);
        line(std::to_string(Pieces().size()));
        for (const auto& n : names)
            line(n);
        line("$");
        if (crc)
            for (const auto& p : Pieces())
                line(std::to_string(crc32(0, reinterpret_cast<const Bytef*>(p.data()), p.size())));
        line("$");
        return b;
    }

    // Writes the joiner file: program, data, and piece k when k >= 1.
    void MakeJoiner(const std::string& path) const {
        std::string glue = ReadFile(kGlue), off = "0";
        for (int i = 0; i < 4; i++)
            off = std::to_string(glue.size() + Data(off).size());
        std::string file = glue + Data(offset.empty() ? off : offset);
        if (k) file += Pieces()[k - 1];
        WriteFile(path, file);
        ::chmod(path.c_str(), 0755);
    }
};

// Name of piece m under the default patterns.
std::string Name(int m) {
    std::string n = std::to_string(m);
    return "movie." + std::string(n.size() < 3 ? 3 - n.size() : 0, '0') + n;
}

class GlueJoin : public ::testing::Test {
  protected:
    TempDir dir{"glue"};
    Job job;

    std::string At(const std::string& name) const { return dir / name; }

    // Places pieces first..last (all when last is 0) into folder, except piece k.
    void Place(const std::string& folder, int first = 1, int last = 0) {
        auto p = job.Pieces();
        if (!last) last = static_cast<int>(p.size());
        for (int m = first; m <= last; m++)
            if (static_cast<uint64_t>(m) != job.k) WriteFile(folder + "/" + Name(m), p[m - 1]);
    }

    RunResult Join(std::vector<std::string> args = {}) {
        job.MakeJoiner(At("movie.exe"));
        args.insert(args.begin(), At("movie.exe"));
        return testutil::Run(args);
    }

    bool TempLeft(const std::string& folder) const {
        for (const auto& e : fs::directory_iterator(folder))
            if (e.path().filename().string().rfind(".glue", 0) == 0) return true;
        return false;
    }
};

TEST(GlueProgram, StaysSmall) {
#ifdef GLUE_SANITIZED
    GTEST_SKIP() << "a sanitized joiner carries the sanitizer's code; its size means nothing";
#endif
    std::size_t size = ReadFile(kGlue).size();
    EXPECT_GT(size, 0u);
    EXPECT_LT(size, 65537u);
    EXPECT_LT(size, 24576u) << "the joiner outgrew its budget";
}

TEST(GlueProgram, BareProgramSaysItHasNoData) {
    RunResult r = testutil::Run({kGlue});
    EXPECT_EQ(r.exitCode, kData);
    EXPECT_NE(r.output.find("no joiner data"), std::string::npos) << r.output;
    r = testutil::Run({kGlue, "-h"});
    EXPECT_EQ(r.exitCode, kDone);
    EXPECT_NE(r.output.find("Usage"), std::string::npos);
}

TEST_F(GlueJoin, SeparateJoinerRoundTrip) {
    Place(dir.path());
    RunResult r = Join();
    ASSERT_EQ(r.exitCode, kDone) << r.output;
    EXPECT_EQ(ReadFile(At("movie.avi")), job.bytes);
    EXPECT_TRUE(Exists(At(Name(3))));
    EXPECT_FALSE(TempLeft(dir.path()));
}

TEST_F(GlueJoin, CarriedPieceRoundTrip) {
    job.k = 2;
    Place(dir.path());
    RunResult r = Join();
    ASSERT_EQ(r.exitCode, kDone) << r.output;
    EXPECT_EQ(ReadFile(At("movie.avi")), job.bytes);
}

TEST_F(GlueJoin, RoundTripWithoutChecksums) {
    job.k = 3;
    job.crc = false;
    Place(dir.path());
    RunResult r = Join();
    ASSERT_EQ(r.exitCode, kDone) << r.output;
    EXPECT_EQ(ReadFile(At("movie.avi")), job.bytes);
}

TEST_F(GlueJoin, EmptySource) {
    job.bytes.clear();
    RunResult r = Join();
    ASSERT_EQ(r.exitCode, kDone) << r.output;
    EXPECT_TRUE(Exists(At("movie.avi")));
    EXPECT_EQ(ReadFile(At("movie.avi")), "");
}

TEST_F(GlueJoin, GathersPiecesFromSeveralFolders) {
    job.bytes = RandomBytes(4500, 9);
    job.k = 1;
    TempDir disk2{"disk2"}, disk3{"disk3"}, out{"out"};
    Place(disk2.path(), 2, 3);
    Place(disk3.path(), 4, 5);
    RunResult r = Join({disk2.path(), disk3.path(), "-o", out.path()});
    ASSERT_EQ(r.exitCode, kDone) << r.output;
    EXPECT_EQ(ReadFile(out / "movie.avi"), job.bytes);
    EXPECT_FALSE(Exists(At("movie.avi")));
}

TEST_F(GlueJoin, SameNameOnEveryDiskIsTakenOncePerDisk) {
    job.names = {"0", "movie.pie"};
    TempDir disk1{"disk1"}, disk2{"disk2"}, disk3{"disk3"};
    auto p = job.Pieces();
    WriteFile(disk1 / "movie.pie", p[0]);
    WriteFile(disk2 / "movie.pie", p[1]);
    WriteFile(disk3 / "movie.pie", p[2]);
    RunResult r = Join({disk1.path(), disk2.path(), disk3.path()});
    ASSERT_EQ(r.exitCode, kDone) << r.output;
    EXPECT_EQ(ReadFile(At("movie.avi")), job.bytes);
}

TEST_F(GlueJoin, CorruptedPieceIsCaughtAndNothingIsWritten) {
    Place(dir.path());
    std::string bad = ReadFile(At(Name(2)));
    bad[500] ^= 0x10;
    WriteFile(At(Name(2)), bad);
    RunResult r = Join();
    EXPECT_EQ(r.exitCode, kCrc) << r.output;
    EXPECT_NE(r.output.find(Name(2)), std::string::npos) << r.output;
    EXPECT_FALSE(Exists(At("movie.avi")));
    EXPECT_FALSE(TempLeft(dir.path()));
}

TEST_F(GlueJoin, CorruptedCarriedPieceIsCaught) {
    job.k = 3;
    Place(dir.path());
    job.MakeJoiner(At("movie.exe"));
    std::string file = ReadFile(At("movie.exe"));
    file[file.size() - 1] ^= 1;
    WriteFile(At("movie.exe"), file);
    RunResult r = testutil::Run({At("movie.exe")});
    EXPECT_EQ(r.exitCode, kCrc) << r.output;
    EXPECT_FALSE(Exists(At("movie.avi")));
}

TEST_F(GlueJoin, MissingPieceIsNamed) {
    Place(dir.path());
    fs::remove(At(Name(3)));
    RunResult r = Join();
    EXPECT_EQ(r.exitCode, kMissing) << r.output;
    EXPECT_NE(r.output.find(Name(3)), std::string::npos) << r.output;
    EXPECT_FALSE(Exists(At("movie.avi")));
}

TEST_F(GlueJoin, ShortPieceWithoutChecksumsIsASizeMismatch) {
    job.crc = false;
    Place(dir.path());
    WriteFile(At(Name(2)), job.Pieces()[1].substr(1));
    RunResult r = Join();
    EXPECT_EQ(r.exitCode, kSize) << r.output;
    EXPECT_FALSE(Exists(At("movie.avi")));
}

TEST_F(GlueJoin, ExistingFileIsReplacedOnlyWhenAsked) {
    Place(dir.path());
    WriteFile(At("movie.avi"), "older file");
    RunResult r = Join();
    EXPECT_EQ(r.exitCode, kExists) << r.output;
    EXPECT_EQ(ReadFile(At("movie.avi")), "older file");
    r = Join({"-f"});
    ASSERT_EQ(r.exitCode, kDone) << r.output;
    EXPECT_EQ(ReadFile(At("movie.avi")), job.bytes);
}

TEST_F(GlueJoin, LongNumbersKeepAllTheirDigits) {
    job.bytes = RandomBytes(101, 3);
    job.pieceSize = 1;
    job.names = {"1", "\\.*"};
    auto p = job.Pieces();
    for (int m = 1; m <= 101; m++) {
        std::string n = std::to_string(m);
        WriteFile(At("movie." + std::string(n.size() < 2 ? 1 : 0, '0') + n), p[m - 1]);
    }
    RunResult r = Join();
    ASSERT_EQ(r.exitCode, kDone) << r.output;
    EXPECT_EQ(ReadFile(At("movie.avi")), job.bytes);
}

TEST_F(GlueJoin, SourceNameSplitOnlyAtThisPlatformsSeparatorsAndPatternsBeyondTheLastLine) {
#ifdef _WIN32
    GTEST_SKIP() << "a backslash separates names on Windows";
#endif
    // A backslash is part of a name here, as the split engine takes it.
    job.source = "/home/ann/clips\\movie.avi";
    job.names = {"0", "first-\\./", "\\*./"};
    auto p = job.Pieces();
    WriteFile(At("first-clips\\movie.avi"), p[0]);
    WriteFile(At("clips\\movie2.avi"), p[1]);
    WriteFile(At("clips\\movie3.avi"), p[2]);
    WriteFile(At("movie2.avi"), "not a piece"); // what splitting at '\\' would look for
    RunResult r = Join();
    ASSERT_EQ(r.exitCode, kDone) << r.output;
    EXPECT_EQ(ReadFile(At("clips\\movie.avi")), job.bytes);
}

TEST_F(GlueJoin, SettingsGiveTitleFolderDeletionAndMessage) {
    job.settings = {"Welcome to the holiday clips", "1", "restored", "Enjoy the film"};
    fs::create_directory(At("restored"));
    Place(dir.path());
    RunResult r = Join({"-k"});
    ASSERT_EQ(r.exitCode, kDone) << r.output;
    EXPECT_EQ(ReadFile(At("restored/movie.avi")), job.bytes);
    EXPECT_TRUE(Exists(At(Name(1))));
    EXPECT_NE(r.output.find("Welcome to the holiday clips"), std::string::npos);
    EXPECT_NE(r.output.find("Enjoy the film"), std::string::npos);

    fs::remove(At("restored/movie.avi"));
    r = Join();
    ASSERT_EQ(r.exitCode, kDone) << r.output;
    EXPECT_EQ(ReadFile(At("restored/movie.avi")), job.bytes);
    for (int m = 1; m <= 3; m++)
        EXPECT_FALSE(Exists(At(Name(m))));
    EXPECT_TRUE(Exists(At("movie.exe")));
}

TEST_F(GlueJoin, PiecesWithoutChecksumsAreNeverDeleted) {
    job.crc = false;
    job.settings = {"", "1", "", ""};
    Place(dir.path());
    RunResult r = Join();
    ASSERT_EQ(r.exitCode, kDone) << r.output;
    EXPECT_TRUE(Exists(At(Name(1))));
}

TEST_F(GlueJoin, TestModeWritesNothing) {
    Place(dir.path());
    RunResult r = Join({"-t"});
    EXPECT_EQ(r.exitCode, kDone) << r.output;
    EXPECT_FALSE(Exists(At("movie.avi")));
    WriteFile(At(Name(1)), std::string(1000, 'x'));
    r = Join({"-t"});
    EXPECT_EQ(r.exitCode, kCrc) << r.output;
}

TEST_F(GlueJoin, BadUsage) {
    Place(dir.path());
    EXPECT_EQ(Join({"-x"}).exitCode, kUsage);
    EXPECT_EQ(Join({At("no-such-folder")}).exitCode, kUsage);
    EXPECT_EQ(Join({"-o"}).exitCode, kUsage);
    // An output "folder" that is a file is named as what it is.
    WriteFile(At("afile"), "x");
    RunResult r = Join({"-o", At("afile")});
    EXPECT_EQ(r.exitCode, kUsage);
    EXPECT_NE(r.output.find(At("afile") + " is not a folder"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("does not exist"), std::string::npos) << r.output;
    EXPECT_FALSE(Exists(At("movie.avi")));
}

TEST_F(GlueJoin, TrailingBytesMeanDamagedData) {
    Place(dir.path());
    job.MakeJoiner(At("movie.exe"));
    WriteFile(At("movie.exe"), ReadFile(At("movie.exe")) + "junk");
    RunResult r = testutil::Run({At("movie.exe")});
    EXPECT_EQ(r.exitCode, kData) << r.output;
    EXPECT_FALSE(Exists(At("movie.avi")));
}

TEST_F(GlueJoin, WrongOffsetLineStillFindsTheCarriedPiece) {
    job.k = 2;
    job.offset = "12345";
    Place(dir.path());
    RunResult r = Join();
    ASSERT_EQ(r.exitCode, kDone) << r.output;
    EXPECT_NE(r.output.find("Note"), std::string::npos) << r.output;
    EXPECT_EQ(ReadFile(At("movie.avi")), job.bytes);
}

} // namespace
