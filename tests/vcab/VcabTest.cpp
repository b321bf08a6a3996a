// The vcab tool: options, names of the cabinets of a set, its report lines and
// exit codes.
#include "CabImage.h"
#include "Readers.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using cabtest::CabImage;

class VcabTest : public ::testing::Test {
  protected:
    testutil::TempDir dir{"vcab"};
    testutil::RunResult Vcab(std::vector<std::string> args) {
        args.insert(args.begin(), VCAB_PATH);
        return testutil::Run(args);
    }
    std::string File(const std::string& name, const std::string& data) {
        testutil::WriteFile(dir / name, data);
        return dir / name;
    }
};

TEST_F(VcabTest, BadUsageExitsWithOne) {
    std::string a = File("a", "a");
    for (std::vector<std::string> args :
         std::vector<std::vector<std::string>>{{},
                                               {"-m", "zip", dir / "x.cab", a},
                                               {"-m", "lzx:14", dir / "x.cab", a},
                                               {"-m", "lzx:22", dir / "x.cab", a},
                                               {"-s", "0", dir / "x.cab", a},
                                               {"-s", "12x", dir / "x.cab", a},
                                               {"-r", "60001", dir / "x.cab", a},
                                               {"-i", "65536", dir / "x.cab", a},
                                               {"-f", "-1", dir / "x.cab", a},
                                               {"-q", "1", dir / "x.cab", a},
                                               {"-s"}}) {
        testutil::RunResult r = Vcab(args);
        EXPECT_EQ(r.exitCode, 1) << r.output;
        EXPECT_NE(r.output.find("usage: vcab"), std::string::npos) << r.output;
    }
    EXPECT_FALSE(fs::exists(dir / "x.cab"));
}

TEST_F(VcabTest, StoresFilesUnderTheirOwnNames) {
    fs::create_directories(dir / "deep/er");
    testutil::WriteFile(dir / "deep/er/inner.txt", "inner");
    std::string b = File("b.txt", "bee");
    testutil::RunResult r = Vcab({"-i", "513", dir / "one.cab", dir / "deep/er/inner.txt", b});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    CabImage cab = CabImage::Load(dir / "one.cab");
    ASSERT_TRUE(cab.ok()) << cab.ProblemText();
    EXPECT_EQ(cab.setId, 513);
    ASSERT_EQ(cab.files.size(), 2u);
    EXPECT_EQ(cab.files[0].name, "inner.txt");
    EXPECT_EQ(cab.files[1].name, "b.txt");
    EXPECT_EQ(cab.folders[0].type, 1) << "MSZIP unless told otherwise";
    EXPECT_EQ(r.output, dir / "one.cab" + " " + std::to_string(cab.cbCabinet) + " bytes\n");
}

TEST_F(VcabTest, OneLinePerCabinetOfASet) {
    std::string data = File("data.bin", testutil::RandomBytes(100000, 1));
    testutil::RunResult r = Vcab({"-m", "none", "-s", "30000", dir / "out.cab", data});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    std::istringstream lines(r.output);
    std::string line;
    int n = 0;
    while (std::getline(lines, line)) {
        ++n;
        std::string name = dir / (n == 1 ? "out.cab" : "out" + std::to_string(n) + ".cab");
        EXPECT_EQ(line, name + " " + std::to_string(fs::file_size(name)) + " bytes");
        EXPECT_LE(fs::file_size(name), 30000u);
    }
    EXPECT_EQ(n, 4);
    EXPECT_FALSE(fs::exists(dir / "out5.cab"));
    EXPECT_EQ(CabImage::Load(dir / "out2.cab").prevCab, "out.cab");
    EXPECT_EQ(CabImage::Load(dir / "out2.cab").nextCab, "out3.cab");
}

TEST_F(VcabTest, CabinetNameWithoutExtension) {
    std::string data = File("data.bin", testutil::RandomBytes(50000, 2));
    testutil::RunResult r = Vcab({"-m", "none", "-s", "30000", dir / "set", data});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_TRUE(fs::exists(dir / "set"));
    EXPECT_TRUE(fs::exists(dir / "set2"));
}

TEST_F(VcabTest, ExistingCabinetIsLeftAlone) {
    testutil::WriteFile(dir / "out.cab", "keep me");
    std::string a = File("a", "a");
    testutil::RunResult r = Vcab({dir / "out.cab", a});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.output.find("Cabinet already exists"), std::string::npos) << r.output;
    EXPECT_EQ(testutil::ReadFile(dir / "out.cab"), "keep me");
}

TEST_F(VcabTest, MissingInputReportsTheErrorText) {
    testutil::RunResult r = Vcab({dir / "out.cab", dir / "missing.txt"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.output.find("missing.txt: Failure opening file to be stored in cabinet"),
              std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("No such file or directory"), std::string::npos) << r.output;
}

TEST_F(VcabTest, LzxIsEitherWrittenOrReportedAsUnknown) {
    std::string a = File("a.txt", std::string(10000, 'l'));
    testutil::RunResult r = Vcab({"-m", "lzx:16", dir / "l.cab", a});
    if (r.exitCode == 0) {
        CabImage cab = CabImage::Load(dir / "l.cab");
        EXPECT_TRUE(cab.ok()) << cab.ProblemText();
        EXPECT_EQ(cab.folders[0].type, 0x1003);
    } else {
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.output.find("Unknown compression type"), std::string::npos) << r.output;
    }
}

TEST_F(VcabTest, SmallCabinetSizesWorkForEveryMethod) {
    // Room for the data is what the real names leave, not what the longest
    // names would.
    const std::string data = testutil::RandomBytes(200000, 3);
    std::string f = File("f", data);
    for (const char* method : {"none", "mszip", "lzx:15", "lzx:21"})
        for (const char* size : {"800", "1000"}) {
            const std::string cab = dir / (std::string("s") + size + method + ".cab");
            testutil::RunResult r = Vcab({"-m", method, "-s", size, cab, f});
            ASSERT_EQ(r.exitCode, 0) << method << " " << size << ": " << r.output;
            cabtest::Extraction x = cabtest::ExtractWith(cabtest::Reader::Cabextract, cab);
            ASSERT_TRUE(x.ok) << method << " " << size << ": " << x.log;
            EXPECT_TRUE(x.files["f"] == data) << method << " " << size;
        }
}

TEST_F(VcabTest, ACabinetSizeTooSmallIsToldAndLeavesNothing) {
    std::string f = File("f", testutil::RandomBytes(200000, 4));
    // 300 bytes cannot hold the header with room for the next names; 600
    // holds some cabinets before a piece no longer fits: the set is taken back.
    for (const char* size : {"300", "600"}) {
        testutil::RunResult r = Vcab({"-m", "none", "-s", size, dir / "o.cab", f});
        EXPECT_EQ(r.exitCode, 1) << r.output;
        EXPECT_NE(r.output.find("Could not create cabinet file (the cabinet size " +
                                std::string(size) + " is too small)"),
                  std::string::npos)
            << r.output;
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1)
            << size;
    }
}

TEST_F(VcabTest, OnlyRegularFilesUnderPlainNamesAreStored) {
    std::string fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_directories(dir / "folder");
    std::string a = File("a", "a");
    // A pipe is refused without waiting for a writer; a device is not taken
    // for an empty file.
    for (const std::string& odd : {std::string("/dev/zero"), fifo, dir / "folder"}) {
        testutil::RunResult r = Vcab({dir / "o.cab", a, odd});
        EXPECT_EQ(r.exitCode, 1) << r.output;
        EXPECT_NE(r.output.find(odd + ": not a regular file"), std::string::npos) << r.output;
        EXPECT_FALSE(fs::exists(dir / "o.cab")) << odd;
        fs::remove(dir / "o.cab");
    }
    // Readers take a backslash in a stored name for a folder separator.
    std::string slash = File("trail\\", "t");
    testutil::RunResult r = Vcab({dir / "o.cab", a, slash});
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find("cannot hold a backslash"), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(dir / "o.cab"));
}

TEST_F(VcabTest, DiskFullMidSetRemovesTheCabinetsWritten) {
    const std::string disk = dir / "disk";
    fs::create_directories(disk);
    if (testutil::Run({"mount", "-t", "tmpfs", "-o", "size=128k", "tmpfs", disk}).exitCode != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    std::string f = File("f", testutil::RandomBytes(200000, 5));
    testutil::RunResult r = Vcab({"-m", "none", "-s", "50000", disk + "/o.cab", f});
    const bool empty = fs::is_empty(disk);
    testutil::Run({"umount", disk});
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find("/o3.cab: Could not create cabinet file (No space left on device)"),
              std::string::npos)
        << r.output;
    EXPECT_TRUE(empty) << "o.cab and o2.cab were written before the disk was full";
}

} // namespace
