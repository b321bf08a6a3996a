// The vcab tool: options, names of the cabinets of a set, its report lines and
// exit codes.
#include "CabImage.h"
#include "Platform.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using cabtest::CabImage;

class VcabTest : public ::testing::Test {
  protected:
    testutil::TempDir dir{"vcab"};
    testutil::RunResult Vcab(std::vector<std::string> args) {
        args.insert(args.begin(), VCAB_PATH);
        testutil::RunResult r = testutil::Run(args);
#ifdef _WIN32
        std::erase(r.output, '\r'); // lines end in CR LF on a Windows console
#endif
        return r;
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

TEST_F(VcabTest, ListFileNamesMoreFilesAfterTheCommandLine) {
    std::string a = File("a.txt", "a"), b = File("b.txt", "bb"), c = File("c.txt", "ccc");
    // CR LF and LF line ends, an empty line, no end after the last line.
    testutil::WriteFile(dir / "list", c + "\r\n\n" + b);
    testutil::RunResult r = Vcab({"-l", dir / "list", dir / "l.cab", a});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    CabImage cab = CabImage::Load(dir / "l.cab");
    ASSERT_TRUE(cab.ok()) << cab.ProblemText();
    ASSERT_EQ(cab.files.size(), 3u);
    EXPECT_EQ(cab.files[0].name, "a.txt");
    EXPECT_EQ(cab.files[1].name, "c.txt");
    EXPECT_EQ(cab.files[2].name, "b.txt");

    r = Vcab({"-l", dir / "no-list", dir / "m.cab", a});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.output.find("cannot read the list file"), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(dir / "m.cab"));
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
#ifdef _WIN32
    EXPECT_NE(r.output.find(plat::ErrorText(2)), std::string::npos) << r.output; // file not found
#else
    EXPECT_NE(r.output.find("No such file or directory"), std::string::npos) << r.output;
#endif
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

} // namespace
