// The vcab tool: options, names of the cabinets of a set, folders taken in,
// its report lines and exit codes, and reading cabinets back.
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

TEST_F(VcabTest, HelpAndVersionExitWithZero) {
    testutil::RunResult help = Vcab({"--help"});
    EXPECT_EQ(help.exitCode, 0) << help.output;
    for (const char* part : {"usage: vcab", "--folder-threshold", "--verify", "Exit codes"})
        EXPECT_NE(help.output.find(part), std::string::npos) << part;
    testutil::RunResult version = Vcab({"--version"});
    EXPECT_EQ(version.exitCode, 0) << version.output;
    EXPECT_EQ(version.output.rfind("vcab ", 0), 0u) << version.output;
}

TEST_F(VcabTest, BadUsageExitsWithTwo) {
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
                                               {"-F", "-1", dir / "x.cab", a},
                                               {"--quiet=1", dir / "x.cab", a},
                                               {"-l", "-x", dir / "x.cab"},
                                               {"--verify", "-t", dir / "x.cab"},
                                               {"-s"}}) {
        testutil::RunResult r = Vcab(args);
        EXPECT_EQ(r.exitCode, 2) << r.output;
        EXPECT_NE(r.output.find("usage: vcab"), std::string::npos) << r.output;
    }
    EXPECT_FALSE(fs::exists(dir / "x.cab"));
    // The folder threshold was once -f: its number is never taken for a name.
    testutil::RunResult r = Vcab({"-f", "4000", dir / "x.cab", a});
    EXPECT_EQ(r.exitCode, 2) << r.output;
    EXPECT_NE(r.output.find("the folder threshold is -F"), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists("4000"));
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

TEST_F(VcabTest, ExistingCabinetIsReplacedOnlyWhenAsked) {
    testutil::WriteFile(dir / "out.cab", "keep me");
    std::string a = File("a", "a");
    testutil::RunResult r = Vcab({dir / "out.cab", a});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.output.find("Cabinet already exists"), std::string::npos) << r.output;
    EXPECT_EQ(testutil::ReadFile(dir / "out.cab"), "keep me");
    // With -f the cabinet is replaced, and the old one is not stored in the new
    // one when its folder is packed.
    r = Vcab({"-f", dir / "out.cab", dir.path()});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    cabtest::Extraction x = cabtest::ExtractWith(cabtest::Reader::Cabextract, dir / "out.cab");
    ASSERT_TRUE(x.ok) << x.log;
    ASSERT_EQ(x.files.size(), 1u) << x.log;
    EXPECT_EQ(x.files.begin()->second, "a");
}

// Folders are taken in recursively: paths below the folder given are kept,
// led by its own name, or with -n only the names, each name once.
TEST_F(VcabTest, FoldersAreTakenInRecursively) {
    fs::create_directories(dir / "tree/sub/deeper");
    fs::create_directories(dir / "tree/empty");
    File("tree/top.txt", "top");
    File("tree/sub/mid.txt", "mid");
    File("tree/sub/deeper/low.bin", testutil::RandomBytes(70000, 6));
    std::string single = File("single.txt", "single");
    testutil::RunResult r = Vcab({"-m", "lzx:16", dir / "t.cab", dir / "tree/", single});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    CabImage cab = CabImage::Load(dir / "t.cab");
    ASSERT_TRUE(cab.ok()) << cab.ProblemText();
    std::vector<std::string> names;
    for (const auto& f : cab.files)
        names.push_back(f.name);
    EXPECT_EQ(names, (std::vector<std::string>{"tree\\sub\\deeper\\low.bin", "tree\\sub\\mid.txt",
                                               "tree\\top.txt", "single.txt"}));
    for (cabtest::Reader reader : {cabtest::Reader::Cabextract, cabtest::Reader::SevenZip}) {
        cabtest::Extraction x = cabtest::ExtractWith(reader, dir / "t.cab");
        ASSERT_TRUE(x.ok) << x.log;
        EXPECT_TRUE(x.files["tree/sub/deeper/low.bin"] ==
                    testutil::ReadFile(dir / "tree/sub/deeper/low.bin"))
            << cabtest::ReaderName(reader);
        EXPECT_EQ(x.files["tree/top.txt"], "top");
    }

    r = Vcab({"-n", dir / "n.cab", dir / "tree"});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    names.clear();
    for (const auto& f : CabImage::Load(dir / "n.cab").files)
        names.push_back(f.name);
    EXPECT_EQ(names, (std::vector<std::string>{"low.bin", "mid.txt", "top.txt"}));

    // Two files under one name are refused before a cabinet is begun.
    File("tree/sub/top.txt", "another top");
    r = Vcab({"-n", dir / "d.cab", dir / "tree"});
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find("the name top.txt is already stored"), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(dir / "d.cab"));
}

// Listing, testing and extracting through libmspack, and --verify, on a set.
TEST_F(VcabTest, ReadsBackWhatItWrites) {
    fs::create_directories(dir / "in/sub");
    const std::string big = testutil::RandomBytes(150000, 7);
    File("in/sub/big.bin", big);
    File("in/small.txt", "small");
    testutil::RunResult r =
        Vcab({"--verify", "-m", "quantum:4:16", "-s", "60000", dir / "v.cab", dir / "in"});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    ASSERT_TRUE(fs::exists(dir / "v3.cab")) << r.output;

    r = Vcab({"-l", dir / "v.cab"});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("150000 | "), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("in\\sub\\big.bin"), std::string::npos) << r.output;

    r = Vcab({"-t", dir / "v.cab"});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("2 files, all OK"), std::string::npos) << r.output;

    r = Vcab({"-x", "-q", "-d", dir / "out/here", dir / "v.cab"});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(r.output, "");
    EXPECT_TRUE(testutil::ReadFile(dir / "out/here/in/sub/big.bin") == big);
    EXPECT_EQ(testutil::ReadFile(dir / "out/here/in/small.txt"), "small");
    // An existing file is replaced only with -f.
    testutil::WriteFile(dir / "out/here/in/small.txt", "changed");
    r = Vcab({"-x", "-q", "-d", dir / "out/here", dir / "v.cab"});
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_EQ(testutil::ReadFile(dir / "out/here/in/small.txt"), "changed");
    r = Vcab({"-x", "-q", "-f", "-d", dir / "out/here", dir / "v.cab"});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(testutil::ReadFile(dir / "out/here/in/small.txt"), "small");

    // A damaged data block fails the test.
    std::string second = testutil::ReadFile(dir / "v2.cab");
    second[second.size() / 2] ^= 0x55;
    testutil::WriteFile(dir / "v2.cab", second);
    r = Vcab({"-t", dir / "v.cab"});
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find("big.bin"), std::string::npos) << r.output;
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
    std::string inner = dir / "folder/pipe";
    ASSERT_EQ(::mkfifo(inner.c_str(), 0600), 0);
    std::string a = File("a", "a");
    // A pipe is refused without waiting for a writer, also inside a folder
    // taken in; a device is not taken for an empty file.
    for (const std::string& odd : {std::string("/dev/zero"), fifo, dir / "folder"}) {
        testutil::RunResult r = Vcab({dir / "o.cab", a, odd});
        EXPECT_EQ(r.exitCode, 1) << r.output;
        const std::string named = odd == dir / "folder" ? inner : odd;
        EXPECT_NE(r.output.find(named + ": not a regular file"), std::string::npos) << r.output;
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

TEST_F(VcabTest, ListFileNamesMoreFilesAfterTheCommandLine) {
    std::string a = File("a.txt", "a"), b = File("b.txt", "bb"), c = File("c.txt", "ccc");
    // CR LF and LF line ends, an empty line, no end after the last line.
    testutil::WriteFile(dir / "list", c + "\r\n\n" + b);
    testutil::RunResult r = Vcab({"-T", dir / "list", dir / "l.cab", a});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    CabImage cab = CabImage::Load(dir / "l.cab");
    ASSERT_TRUE(cab.ok()) << cab.ProblemText();
    ASSERT_EQ(cab.files.size(), 3u);
    EXPECT_EQ(cab.files[0].name, "a.txt");
    EXPECT_EQ(cab.files[1].name, "c.txt");
    EXPECT_EQ(cab.files[2].name, "b.txt");

    r = Vcab({"--files-from", dir / "no-list", dir / "m.cab", a});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.output.find("cannot read the list file"), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(dir / "m.cab"));
}
