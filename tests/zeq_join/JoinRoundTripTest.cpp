// Round trips through the built programs, as a person meets them: zeq splits a
// file with a self-joining pack, the pieces are carried away, and the joiner
// file it left is run as it stands to write the original again.
#include "TestUtil.h"
#include "ZeqTestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using testutil::CrLfLines;
using testutil::Process;
using testutil::ReadFile;
using testutil::RunResult;
using testutil::WriteFile;

namespace {

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class JoinRoundTrip : public zeqtest::ProgramFolder {
  protected:
    JoinRoundTrip() : ProgramFolder("zeqjoinrt", ZEQ_BINARY) {}
    void SetUp() override {
        ProgramFolder::SetUp();
        fs::copy_file(GLUE_BINARY, prog + "/glue32.exe");
        WriteFile(prog + "/glue.txt", CrLfLines({"\\.exe", "Holiday joiner", "0", "", "Enjoy!"}));
    }

    // The job files as the launcher writes them, with CRC and compare on.
    void WriteJob(std::int64_t k, const std::string& pieSize, const std::string& keepFree = "0") {
        zeqtest::WriteJobFiles(prog, {"2", "\\.*"}, {pieSize},
                               {"Holiday", source, target, keepFree, "65536", std::to_string(k),
                                "0", "0", "1", "1", ""});
    }

    // Runs zeq as the launcher does, without a screen.
    RunResult Split() {
        Process p({prog + "/zeq", "lanterns"}, {{"QT_QPA_PLATFORM", "offscreen"}});
        return p.Wait();
    }

    // Runs a joiner file as it stands, from a folder of no importance.
    RunResult Join(const std::string& joiner, const std::vector<std::string>& args = {}) {
        std::vector<std::string> argv = {joiner};
        argv.insert(argv.end(), args.begin(), args.end());
        Process p(argv, {}, dir.path());
        return p.Wait();
    }

    // Files whose names begin with a dot: the joiner's unfinished output.
    static int Hidden(const std::string& folder) {
        int n = 0;
        for (const auto& e : fs::directory_iterator(folder))
            n += e.path().filename().string()[0] == '.';
        return n;
    }
};

TEST_F(JoinRoundTrip, KZeroJoinerBesideThePiesWritesTheSourceAgain) {
    std::string bytes = testutil::RandomBytes(250000, 11);
    WriteFile(source, bytes);
    WriteJob(0, "100000");
    RunResult s = Split();
    ASSERT_EQ(s.exitCode, 0) << s.output;
    for (const char* name : {"movie.001", "movie.002", "movie.003", "movie.exe"})
        EXPECT_TRUE(fs::exists(target + "/" + name)) << name;
    // Nothing of the pack is left in the program folder.
    EXPECT_FALSE(fs::exists(prog + "/ZeqGlue.tmp"));
    EXPECT_FALSE(fs::exists(prog + "/gluedata.Zeq"));

    RunResult j = Join(target + "/movie.exe");
    ASSERT_EQ(j.exitCode, 0) << j.output;
    EXPECT_TRUE(Has(j.output, "Holiday joiner")) << j.output;
    EXPECT_TRUE(Has(j.output, "every piece matched its CRC-32")) << j.output;
    EXPECT_FALSE(Has(j.output, "Note:")) << j.output; // line 2 held the true offset
    EXPECT_TRUE(ReadFile(target + "/movie.avi") == bytes);
}

TEST_F(JoinRoundTrip, PieKInsideTheJoinerAndPiesGatheredFromSeveralFolders) {
    std::string bytes = testutil::RandomBytes(350001, 12);
    WriteFile(source, bytes);
    WriteJob(2, "100000");
    RunResult s = Split();
    ASSERT_EQ(s.exitCode, 0) << s.output;
    EXPECT_FALSE(fs::exists(target + "/movie.002")); // it travels inside the joiner

    // Carried away on three sticks; the joined file goes to a fourth folder.
    for (const char* folder : {"stick", "disk1", "disk3", "out"})
        fs::create_directory(dir / folder);
    fs::rename(target + "/movie.exe", dir / "stick/movie.exe");
    fs::rename(target + "/movie.001", dir / "disk1/movie.001");
    fs::rename(target + "/movie.003", dir / "disk3/movie.003");
    fs::rename(target + "/movie.004", dir / "disk3/movie.004");
    ASSERT_TRUE(fs::is_empty(target));

    RunResult j = Join(dir / "stick/movie.exe", {"-o", dir / "out", dir / "disk1", dir / "disk3"});
    ASSERT_EQ(j.exitCode, 0) << j.output;
    EXPECT_TRUE(Has(j.output, "inside the joiner file")) << j.output;
    EXPECT_FALSE(Has(j.output, "Note:")) << j.output;
    EXPECT_TRUE(ReadFile(dir / "out/movie.avi") == bytes);
}

TEST_F(JoinRoundTrip, JoinerLargerThan64KiBWithLineTwoCrossingToSixDigits) {
    std::string bytes = testutil::RandomBytes(30000, 13);
    WriteFile(source, bytes);
    WriteJob(1, "10000");
    // A first pack tells the size of this job's joiner data.
    RunResult s = Split();
    ASSERT_EQ(s.exitCode, 0) << s.output;
    std::string joiner = ReadFile(target + "/movie.exe");
    const std::int64_t glueSize = static_cast<std::int64_t>(fs::file_size(prog + "/glue32.exe"));
    const std::int64_t offset = static_cast<std::int64_t>(joiner.size()) - 10000;
    const std::int64_t bare =
        offset - glueSize - static_cast<std::int64_t>(std::to_string(offset).size());

    // A joiner program grown by a section of padding to the size where a data
    // block with five offset digits would end exactly at 100000.
    const std::int64_t want = 100000 - 5 - bare;
    const std::string grown = dir / "glue-grown";
    std::int64_t pad = want - glueSize;
    // A joiner built larger (with sanitizers, say) cannot be grown to that size.
    if (pad <= 0) GTEST_SKIP() << "the joiner program is " << glueSize << " bytes already";
    for (int i = 0; i < 3 && pad > 0; ++i) {
        WriteFile(dir / "pad", std::string(static_cast<std::size_t>(pad), '\x5a'));
        fs::remove(grown);
        RunResult o = testutil::Run({"objcopy", "--add-section", ".pad=" + (dir / "pad"),
                                     "--set-section-flags", ".pad=readonly,contents",
                                     prog + "/glue32.exe", grown});
        if (o.exitCode != 0) GTEST_SKIP() << "objcopy cannot grow the joiner: " << o.output;
        std::int64_t got = static_cast<std::int64_t>(fs::file_size(grown));
        if (got == want) break;
        pad += want - got;
    }
    if (pad <= 0) GTEST_SKIP() << "objcopy cannot grow the joiner to " << want << " bytes";
    ASSERT_EQ(static_cast<std::int64_t>(fs::file_size(grown)), want);
    ASSERT_GT(want, 65537);
    fs::remove(prog + "/glue32.exe");
    fs::copy_file(grown, prog + "/glue32.exe");
    fs::remove_all(target);
    fs::create_directory(target);

    s = Split();
    ASSERT_EQ(s.exitCode, 0) << s.output;
    joiner = ReadFile(target + "/movie.exe");
    ASSERT_GT(joiner.size(), 100001u);
    EXPECT_TRUE(joiner.compare(0, want, ReadFile(grown)) == 0) << "the joiner program is cut";
    const std::string head = "1\r\n100001\r\n"; // the true offset, six digits
    EXPECT_EQ(joiner.substr(static_cast<std::size_t>(want), head.size()), head);
    EXPECT_TRUE(joiner.compare(100001, 10000, bytes, 0, 10000) == 0);

    RunResult j = Join(target + "/movie.exe");
    ASSERT_EQ(j.exitCode, 0) << j.output;
    EXPECT_FALSE(Has(j.output, "Note:")) << j.output;
    EXPECT_TRUE(ReadFile(target + "/movie.avi") == bytes);
}

TEST_F(JoinRoundTrip, DamagedPieIsCaughtAndNothingIsWrittenUnderTheSourcesName) {
    std::string bytes = testutil::RandomBytes(250000, 14);
    WriteFile(source, bytes);
    WriteJob(0, "100000");
    RunResult s = Split();
    ASSERT_EQ(s.exitCode, 0) << s.output;
    std::string pie = ReadFile(target + "/movie.002");
    pie[54321] ^= 0x10; // same size, one bit changed
    WriteFile(target + "/movie.002", pie);

    RunResult j = Join(target + "/movie.exe");
    EXPECT_EQ(j.exitCode, 3) << j.output;
    EXPECT_TRUE(Has(j.output, "movie.002")) << j.output;
    EXPECT_FALSE(fs::exists(target + "/movie.avi"));
    EXPECT_EQ(Hidden(target), 0);
}

TEST_F(JoinRoundTrip, FullTargetKeepsZeqGlueTmpAndItStillJoins) {
    testutil::XServer x;
    if (!x.available()) GTEST_SKIP() << "no Xvfb";
    testutil::XClientHold hold(x.display());
    if (!MountTarget("64k")) GTEST_SKIP() << "cannot mount a tmpfs here";
    // Three pies of 20000 bytes fill 15 of the 16 pages; once pie 2 is taken
    // in, six pages are free, too few for the joiner with pie 2 inside. A
    // negative KeepFree lets every free-space test pass, so the copy itself fails.
    std::string bytes = testutil::RandomBytes(60000, 16);
    WriteFile(source, bytes);
    WriteJob(2, "20000", "-1000000");
    Process p({prog + "/zeq", "lanterns"}, zeqtest::OnX(x));
    std::string box = x.WaitWindow("^Application Error$");
    ASSERT_FALSE(box.empty()) << "no error box";
    x.PressUntilGone(p, box, "^Application Error$");
    RunResult s = p.Wait();
    EXPECT_EQ(s.exitCode, 1) << s.output;
    EXPECT_FALSE(fs::exists(target + "/movie.002"));
    EXPECT_FALSE(fs::exists(target + "/movie.exe")); // no half copy
    ASSERT_TRUE(fs::exists(prog + "/ZeqGlue.tmp"));
    EXPECT_FALSE(fs::exists(prog + "/gluedata.Zeq"));

    // Pie 2 is not lost: the kept file is the whole pack, and joins.
    fs::create_directory(dir / "rescue");
    fs::copy_file(prog + "/ZeqGlue.tmp", dir / "rescue/movie.exe");
    fs::permissions(dir / "rescue/movie.exe", fs::perms::owner_exec, fs::perm_options::add);
    RunResult j = Join(dir / "rescue/movie.exe", {target});
    ASSERT_EQ(j.exitCode, 0) << j.output;
    EXPECT_TRUE(ReadFile(dir / "rescue/movie.avi") == bytes);
}

// The zero count as the launcher may write it, and a source whose name holds a
// backslash (an ordinary character of a name here): the pack joins all the same.
TEST_F(JoinRoundTrip, ZeroCountInAnyDecimalFormAndABackslashInTheSourceName) {
    const std::string bytes = testutil::RandomBytes(25000, 17);
    source = dir / "clip\\movie.avi";
    WriteFile(source, bytes);
    for (const std::string& zeros :
         {std::string("+2"), std::string("-0"), std::string(300, '0') + "2"}) {
        fs::remove_all(target);
        fs::create_directory(target);
        zeqtest::WriteJobFiles(
            prog, {zeros, "\\.*"}, {"10000"},
            {"Holiday", source, target, "0", "65536", "2", "0", "0", "1", "1", ""});
        RunResult s = Split();
        ASSERT_EQ(s.exitCode, 0) << zeros << "\n" << s.output;
        const std::string joiner = target + "/clip\\movie.exe";
        ASSERT_TRUE(fs::exists(joiner)) << zeros;
        RunResult j = Join(joiner);
        ASSERT_EQ(j.exitCode, 0) << zeros << "\n" << j.output;
        EXPECT_TRUE(ReadFile(target + "/clip\\movie.avi") == bytes) << zeros;
    }
}

} // namespace
