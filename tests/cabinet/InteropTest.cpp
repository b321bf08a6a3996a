// Cabinets written by vcab and the interface layer, judged by cabextract,
// 7-Zip and gcab: names, bytes, dates and attributes. gcab reads no sets
// (it refuses continued folders), so sets are judged by the other two.
#include "CabImage.h"
#include "Readers.h"
#include "TestData.h"
#include "TestUtil.h"
#include "vCabIntf.h"

#include <gtest/gtest.h>

#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using cabtest::CabImage;
using cabtest::Reader;
using cabtest::Text;

void NoProgress(const std::string&, int, bool&) {}
void NameNext(std::string& cab, std::string&, int no, int&, bool&) {
    cab = "mixed" + std::to_string(no) + ".cab";
}

class InteropTest : public ::testing::Test {
  protected:
    testutil::TempDir dir{"cabinterop"};
    std::map<std::string, std::string> expect;
    std::map<std::string, std::time_t> mtimes;
    int made = 0;
    bool relative = false; // sources named relative to dir, made the current folder

    std::string Make(const std::string& name, const std::string& data) {
        std::string path = dir / ("src/" + name);
        fs::create_directories(dir / "src");
        testutil::WriteFile(path, data);
        // A fixed local time per file, two seconds apart.
        std::time_t t = cabtest::SetLocalMtime(path, 2021, 6, 15, 12, 34, 56 + 2 * (made++ % 30));
        expect[name] = data;
        mtimes[name] = t;
        return path;
    }
    testutil::RunResult Vcab(std::vector<std::string> args) {
        args.insert(args.begin(), VCAB_PATH);
        return testutil::Run(args);
    }
    std::vector<std::string> Paths() {
        std::vector<std::string> p;
        for (const auto& [name, data] : expect)
            p.push_back(relative ? "src/" + name : dir / ("src/" + name));
        return p;
    }
    void Judge(const std::string& cab, const std::vector<Reader>& readers) {
        for (Reader r : readers) {
            cabtest::Extraction x = cabtest::ExtractWith(r, cab);
            ASSERT_TRUE(x.ok) << cabtest::ReaderName(r) << " on " << cab << ":\n" << x.log;
            EXPECT_EQ(x.files.size(), expect.size()) << cabtest::ReaderName(r);
            for (const auto& [name, data] : expect) {
                auto it = x.files.find(name);
                ASSERT_NE(it, x.files.end()) << cabtest::ReaderName(r) << " lost " << name;
                EXPECT_TRUE(it->second == data) << cabtest::ReaderName(r) << " changed " << name;
            }
        }
    }
    static std::string LocalStamp(std::time_t t, const char* format) {
        std::tm tm = testutil::LocalTime(t);
        tm.tm_sec -= tm.tm_sec % 2; // DOS time has two-second steps
        char buf[32];
        std::strftime(buf, sizeof buf, format, &tm);
        return buf;
    }
    void JudgeDates(const std::string& cab, bool withGcab) {
        auto seven = cabtest::ListWith7zip(cab);
        auto gcab = cabtest::ListWithGcab(cab);
        auto cabx = cabtest::ListWithCabextract(cab);
        for (const auto& [name, t] : mtimes) {
            EXPECT_EQ(seven[name].modified, LocalStamp(t, "%Y-%m-%d %H:%M:%S")) << name;
            EXPECT_EQ(cabx[name], LocalStamp(t, "%d.%m.%Y %H:%M:%S")) << name;
            if (withGcab) {
                EXPECT_EQ(gcab[name].modified, LocalStamp(t, "%Y-%m-%d %H:%M:%S")) << name;
            }
        }
    }
    void Single(const std::string& cab, const std::vector<std::string>& options) {
        std::vector<std::string> args = options;
        args.push_back(cab);
        for (const std::string& p : Paths())
            args.push_back(p);
        testutil::RunResult r = Vcab(args);
        ASSERT_EQ(r.exitCode, 0) << r.output;
        CabImage image = CabImage::Load(cab);
        ASSERT_TRUE(image.ok()) << image.ProblemText();
        EXPECT_EQ(image.flags & 3, 0) << "one cabinet, no set";
        Judge(cab, cabtest::AllReaders());
        JudgeDates(cab, true);
    }
};

TEST_F(InteropTest, NoFileWritesNoCabinet) {
    testutil::RunResult r = Vcab({dir / "none.cab"});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(r.output, "");
    EXPECT_FALSE(fs::exists(dir / "none.cab"));
}

TEST_F(InteropTest, EmptyOneByteAndBlockBoundaries) {
    for (std::size_t size : {0u, 1u, 32768u, 32769u}) {
        for (const char* method : {"none", "mszip"}) {
            expect.clear();
            mtimes.clear();
            std::string name = "f" + std::to_string(size) + ".bin";
            Make(name, size % 2 ? testutil::RandomBytes(size, 5) : Text(size, 5));
            SCOPED_TRACE(name + " " + method);
            Single(dir / (name + "." + method + ".cab"), {"-m", method});
        }
    }
}

TEST_F(InteropTest, ManySmallFiles) {
    for (int i = 0; i < 1500; ++i)
        Make("s" + std::to_string(i) + ".txt", i % 7 ? Text(i % 311, i) : std::string());
#ifdef _WIN32
    // 1500 full paths are longer than a Windows command line may be (32767
    // characters): there the sources are named relative to their folder.
    fs::path before = fs::current_path();
    fs::current_path(dir.path());
    relative = true;
    Single(dir / "many.cab", {});
    fs::current_path(before);
#else
    Single(dir / "many.cab", {});
#endif
    EXPECT_EQ(CabImage::Load(dir / "many.cab").files.size(), 1500u);
}

TEST_F(InteropTest, FilesThatCrossTheFolderThreshold) {
    for (int i = 0; i < 12; ++i)
        Make("part" + std::to_string(i),
             i % 2 ? Text(20000 + 1500 * i, i) : testutil::RandomBytes(25000, i));
    Single(dir / "folders.cab", {"-F", "30000"});
    CabImage cab = CabImage::Load(dir / "folders.cab");
    EXPECT_GE(cab.folders.size(), 4u);
}

TEST_F(InteropTest, NoneAndMsZipFoldersInOneCabinet) {
    std::vector<std::pair<std::string, TCompressionType>> files = {{"a.txt", ctMsZip},
                                                                   {"b.bin", ctNone},
                                                                   {"c.txt", ctNone},
                                                                   {"empty", ctMsZip},
                                                                   {"d.txt", ctMsZip}};
    Make("a.txt", Text(70000, 1));
    Make("b.bin", testutil::RandomBytes(40000, 2));
    Make("c.txt", Text(33000, 3));
    Make("empty", "");
    Make("d.txt", Text(5000, 4));
    std::string cab = dir / "mixed1.cab";
    HCabContext h = CabCreate(cab, "", 831415, 2147483647, 0, 99, NoProgress, NameNext);
    ASSERT_NE(h, nullptr);
    for (const auto& [name, type] : files)
        ASSERT_TRUE(CabAddFile(h, dir / ("src/" + name), name, type, 0, false));
    ASSERT_TRUE(CabFlush(h, false));
    ASSERT_TRUE(CabDestroy(h));
    CabImage image = CabImage::Load(cab);
    ASSERT_TRUE(image.ok()) << image.ProblemText();
    // a | b c | empty d
    ASSERT_EQ(image.folders.size(), 3u);
    EXPECT_EQ(image.folders[0].type, 1);
    EXPECT_EQ(image.folders[1].type, 0);
    EXPECT_EQ(image.folders[2].type, 1);
    Judge(cab, cabtest::AllReaders());
    JudgeDates(cab, true);
}

TEST_F(InteropTest, RandomDataIsStoredInsideMsZip) {
    Make("noise", testutil::RandomBytes(300000, 77));
    Single(dir / "noise.cab", {"-m", "mszip"});
    CabImage cab = CabImage::Load(dir / "noise.cab");
    for (const auto& b : cab.folders[0].blocks)
        EXPECT_LE(b.cbData, b.cbUncomp + 7u);
}

TEST_F(InteropTest, HeaderReserveNoneAndLargest) {
    Make("r.txt", Text(50000, 8));
    Make("r.bin", testutil::RandomBytes(10000, 8));
    Single(dir / "r0.cab", {"-r", "0"});
    EXPECT_EQ(CabImage::Load(dir / "r0.cab").flags & 4, 0);
    Single(dir / "r60000.cab", {"-r", "60000"});
    CabImage cab = CabImage::Load(dir / "r60000.cab");
    EXPECT_EQ(cab.flags & 4, 4);
    EXPECT_EQ(cab.cbCFHeader, 60000);
}

TEST_F(InteropTest, AttributesAndNames) {
    Make("plain.txt", "plain");
    Make(".hidden", "hidden");
    Make("locked.txt", "locked");
#ifndef _WIN32 // Windows programs name files in the ANSI code page, never in UTF-8
    Make("gr\xC3\xBC\xC3\x9F.txt", "utf-8 name");
#endif
    ::chmod((dir / "src/locked.txt").c_str(), 0444);
    ::chmod((dir / "src/.hidden").c_str(), 0444);
    Single(dir / "attr.cab", {});
    auto seven = cabtest::ListWith7zip(dir / "attr.cab");
    EXPECT_EQ(seven["plain.txt"].attributes, "A");
    EXPECT_EQ(seven["locked.txt"].attributes, "RA");
    EXPECT_EQ(seven[".hidden"].attributes, "RHA");
    auto gcab = cabtest::ListWithGcab(dir / "attr.cab");
    EXPECT_EQ(gcab["plain.txt"].attributes, "0x20");
    EXPECT_EQ(gcab["locked.txt"].attributes, "0x21");
    EXPECT_EQ(gcab[".hidden"].attributes, "0x23");
#ifndef _WIN32
    EXPECT_EQ(gcab["gr\xC3\xBC\xC3\x9F.txt"].attributes, "0xA0");
#endif
}

TEST_F(InteropTest, SpannedSetExtractedFromItsFirstCabinet) {
    Make("a-small.txt", Text(3000, 1));
    Make("b-small.bin", testutil::RandomBytes(9000, 2));
    Make("c-random.bin", testutil::RandomBytes(150000, 3));
    Make("d-text.txt", Text(400000, 4));
    Make("e-empty", "");
    Make("f-random.bin", testutil::RandomBytes(90000, 5));
    Make("g-small.txt", Text(700, 6));
    std::vector<std::string> args = {"-s", "50000", "-F", "120000", "-i", "4242", dir / "set.cab"};
    for (const std::string& p : Paths())
        args.push_back(p);
    testutil::RunResult r = Vcab(args);
    ASSERT_EQ(r.exitCode, 0) << r.output;

    std::vector<CabImage> cabs;
    for (int n = 1; fs::exists(dir / (n == 1 ? "set.cab" : "set" + std::to_string(n) + ".cab"));
         ++n)
        cabs.push_back(
            CabImage::Load(dir / (n == 1 ? "set.cab" : "set" + std::to_string(n) + ".cab")));
    ASSERT_GE(cabs.size(), 4u);
    int cutBlocks = 0, continuedFiles = 0;
    for (std::size_t k = 0; k < cabs.size(); ++k) {
        EXPECT_TRUE(cabs[k].ok()) << k << ": " << cabs[k].ProblemText();
        EXPECT_LE(cabs[k].cbCabinet, 50000u);
        EXPECT_EQ(cabs[k].setId, 4242);
        EXPECT_EQ(cabs[k].iCabinet, k);
        for (const auto& f : cabs[k].folders)
            for (const auto& b : f.blocks)
                cutBlocks += b.cbUncomp == 0;
        for (const auto& f : cabs[k].files)
            continuedFiles += f.folder >= 0xFFFD;
    }
    EXPECT_GE(cutBlocks, 3);
    EXPECT_GE(continuedFiles, 6);
    Judge(dir / "set.cab", cabtest::SetReaders());
    JudgeDates(dir / "set.cab", false);
    const cabtest::Extraction set = cabtest::ExtractWithLibmspack(dir / "set.cab");
    EXPECT_TRUE(set.ok) << set.log;
    EXPECT_TRUE(set.files == expect);
}

} // namespace
