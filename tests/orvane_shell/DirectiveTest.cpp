// The directive files: line and number rules, the settings directive, the job
// blocks of the list directive and the start-up checks.
#include "ShellTestUtil.h"
#include "vDirectives.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>

using shelltest::CrLf;
using testutil::TempDir;
using testutil::WriteFile;

namespace {

class DirectiveFile : public ::testing::Test {
  protected:
    // A reader over the given bytes.
    TDirectiveReader& Over(const std::string& bytes) {
        WriteFile(path, bytes);
        EXPECT_TRUE(reader.Open(path));
        return reader;
    }
    TempDir dir{"orvdir"};
    std::string path = dir / "directive.txt";
    TDirectiveReader reader;
};

TEST_F(DirectiveFile, LinesEndAtCrWithOrWithoutLfButNotAtALoneLf) {
    TDirectiveReader& in = Over(" one\t\r\ntwo\rthree\nstill three\r\r\nlast");
    EXPECT_EQ(in.ReadLine(), " one\t"); // no trimming
    EXPECT_EQ(in.ReadLine(), "two");
    EXPECT_EQ(in.ReadLine(), "three\nstill three");
    EXPECT_EQ(in.ReadLine(), "");
    EXPECT_FALSE(in.Eof());
    EXPECT_EQ(in.ReadLine(), "last");
    EXPECT_TRUE(in.Eof());
    EXPECT_EQ(in.ReadLine(), "");
}

TEST_F(DirectiveFile, CtrlZEndsTheFile) {
    TDirectiveReader& in = Over("one\r\ntw\x1ao\r\nthree\r\n");
    EXPECT_EQ(in.ReadLine(), "one");
    EXPECT_EQ(in.ReadLine(), "tw");
    EXPECT_TRUE(in.Eof());
    EXPECT_EQ(in.ReadLine(), "");
}

TEST_F(DirectiveFile, LongLinesAcrossTheReadBuffer) {
    const std::string longLine(10000, 'x');
    TDirectiveReader& in = Over(longLine + "\r\n" + longLine);
    EXPECT_EQ(in.ReadLine(), longLine);
    EXPECT_EQ(in.ReadLine(), longLine);
}

TEST_F(DirectiveFile, NumbersSkipBlanksAndLineEndsAndTheRestOfTheirLine) {
    TDirectiveReader& in = Over(" \t42 and more\r\n\r\n  \r\n-7\r\n+5\nx\r\nlast\r\n");
    std::int32_t v = -1;
    EXPECT_TRUE(in.ReadInteger(v));
    EXPECT_EQ(v, 42);
    // Blank lines are passed over: the number comes from the next line holding one.
    EXPECT_TRUE(in.ReadInteger(v));
    EXPECT_EQ(v, -7);
    // A lone line feed ends the number but not its line.
    EXPECT_TRUE(in.ReadInteger(v));
    EXPECT_EQ(v, 5);
    EXPECT_EQ(in.ReadLine(), "last");
    // Past the end a number reads as 0, without an error.
    v = -1;
    EXPECT_TRUE(in.ReadInteger(v));
    EXPECT_EQ(v, 0);
}

TEST_F(DirectiveFile, BadNumbers) {
    std::int32_t v;
    for (const char* bad : {"12a", "0x10", "$10", "-", "+", "2147483648", "-2147483649", "1.5",
                            "99999999999999999999"}) {
        EXPECT_FALSE(TDirectiveReader::ParseInteger(bad, v)) << bad;
        EXPECT_EQ(v, 0) << bad;
    }
    EXPECT_TRUE(TDirectiveReader::ParseInteger("2147483647", v));
    EXPECT_EQ(v, INT_MAX);
    EXPECT_TRUE(TDirectiveReader::ParseInteger("-2147483648", v));
    EXPECT_EQ(v, INT_MIN);
    EXPECT_TRUE(TDirectiveReader::ParseInteger("007", v));
    EXPECT_EQ(v, 7);
}

TEST_F(DirectiveFile, ReadErrorEndsTheFileAndIsTold) {
    // Opens, but reading its start fails: nothing is mapped at address 0.
    ASSERT_TRUE(reader.Open("/proc/self/mem"));
    EXPECT_TRUE(reader.Eof());
    EXPECT_TRUE(reader.Failed());
    EXPECT_EQ(reader.ReadLine(), "");
}

// ---- settings directive ----------------------------------------------------

class Settings : public ::testing::Test {
  protected:
    std::string Read(const std::string& bytes) {
        WriteFile(path, bytes);
        return ReadSettings(path, cab, state);
    }
    TempDir dir{"orvset"};
    std::string path = dir / "settings.txt";
    tvFwCAB cab;
    TShellState state;
};

TEST_F(Settings, AllNineLines) {
    const std::string log = dir / "build.log";
    WriteFile(log, "old lines\r\n");
    EXPECT_EQ(Read(CrLf({"1", "6144", "100000", "2", "TRUE", "TRUE", "TRUE", "40000", log})), "");
    EXPECT_EQ(cab.CompType(), ctMsZip);
    EXPECT_EQ(cab.CompFactor(), 0);
    EXPECT_EQ(cab.Reserved(), 6144);
    EXPECT_EQ(cab.FolderSize(), 100000);
    EXPECT_EQ(state.WorkerPriority, 1);
    EXPECT_TRUE(cab.StorePath());
    EXPECT_TRUE(cab.PartialPath());
    EXPECT_TRUE(state.Spanning);
    EXPECT_EQ(cab.DiskSize(), 40000);
    EXPECT_TRUE(state.LogMode);
    EXPECT_TRUE(state.LogFile.IsOpen());
    // An existing log file is emptied at once.
    EXPECT_EQ(testutil::ReadFile(log), "");
}

TEST_F(Settings, SelectorOtherThanOneIsLzxWithFactorOneLess) {
    EXPECT_EQ(Read(CrLf({"8"})), "");
    EXPECT_EQ(cab.CompType(), ctLzx);
    EXPECT_EQ(cab.CompFactor(), 7);
    EXPECT_EQ(Read(CrLf({"0"})), "");
    EXPECT_EQ(cab.CompType(), ctLzx);
    EXPECT_EQ(cab.CompFactor(), -1);
    EXPECT_EQ(Read(CrLf({"-2147483648"})), "");
    EXPECT_EQ(cab.CompFactor(), INT_MAX); // the factor wraps as a 32-bit value
}

TEST_F(Settings, SwitchesAreOnOnlyForExactlyTrue) {
    EXPECT_EQ(Read(CrLf({"1", "0", "0", "3", "true", "True", "TRUE ", "40000"})), "");
    EXPECT_FALSE(cab.StorePath());
    EXPECT_FALSE(cab.PartialPath());
    EXPECT_FALSE(state.Spanning);
    // Without spanning the disk size line is read, but one cabinet takes all.
    EXPECT_EQ(cab.DiskSize(), INT_MAX);
    EXPECT_FALSE(state.LogMode);
}

TEST_F(Settings, MissingLinesReadAsZeroOrEmpty) {
    cab.SetDiskSize(1234);
    EXPECT_EQ(Read(CrLf({"3", "0", "50000", "4", "TRUE"})), "");
    EXPECT_EQ(cab.CompType(), ctLzx);
    EXPECT_EQ(cab.CompFactor(), 2);
    EXPECT_EQ(state.WorkerPriority, -1);
    EXPECT_TRUE(cab.StorePath());
    EXPECT_FALSE(cab.PartialPath());
    EXPECT_FALSE(state.Spanning);
    EXPECT_EQ(cab.DiskSize(), INT_MAX);
    EXPECT_FALSE(state.LogMode);
    EXPECT_FALSE(state.LogFile.IsOpen());
}

TEST_F(Settings, ABadNumberStopsTheReadingThere) {
    EXPECT_EQ(Read(CrLf({"1", "512", "lots", "0", "TRUE", "TRUE", "TRUE", "40000"})),
              "Invalid numeric input.");
    EXPECT_EQ(cab.CompType(), ctMsZip);
    EXPECT_EQ(cab.Reserved(), 512);
    // Everything from the bad line on keeps its initial value.
    EXPECT_EQ(cab.FolderSize(), 831415);
    EXPECT_EQ(state.WorkerPriority, InitialWorkerPriority);
    EXPECT_FALSE(cab.StorePath());
    EXPECT_FALSE(state.Spanning);
    EXPECT_EQ(cab.DiskSize(), INT_MAX);
    EXPECT_FALSE(state.LogMode);
}

TEST_F(Settings, AMissingFileGivesTheSystemTextWithAFullStop) {
    std::string error = ReadSettings(dir / "missing.txt", cab, state);
    EXPECT_EQ(error, WithFullStop(plat::ErrorText(ENOENT)));
    EXPECT_EQ(error.back(), '.');
}

TEST_F(Settings, ALogFileThatCannotBeCreatedLeavesLogModeWithoutAFile) {
    std::string error =
        Read(CrLf({"1", "0", "0", "3", "", "", "", "0", dir / "no/such/folder/build.log"}));
    EXPECT_EQ(error, WithFullStop(plat::ErrorText(ENOENT)));
    EXPECT_TRUE(state.LogMode);
    EXPECT_FALSE(state.LogFile.IsOpen());
}

// ---- list directive ---------------------------------------------------------

class Jobs : public ::testing::Test {
  protected:
    void List(const std::string& bytes) {
        WriteFile(path, bytes);
        ASSERT_TRUE(state.List.Open(path));
    }
    TempDir dir{"orvjobs"};
    std::string path = dir / "list.txt";
    tvFwCAB cab;
    TShellState state;
    using L = std::vector<std::string>;
};

TEST_F(Jobs, BlocksAppendToListsThatAreNeverEmptied) {
    List(CrLf({"/out/first", "/src/a/*.txt", "", "$", "/src/b/*.*", "$", "/out/second.zip",
               "/src/c/*", "$", "$"}));
    ASSERT_TRUE(ReadNextJob(cab, state));
    EXPECT_EQ(cab.CabFile(), "/out/first.cab");
    EXPECT_EQ(state.CurrentCab.Get(), "/out/first.cab");
    EXPECT_EQ(cab.RecurseFiles(), (L{"/src/a/*.txt", ""}));
    EXPECT_EQ(cab.AddFiles(), (L{"/src/b/*.*"}));

    ASSERT_TRUE(ReadNextJob(cab, state));
    EXPECT_EQ(cab.CabFile(), "/out/second.zip");
    EXPECT_EQ(cab.RecurseFiles(), (L{"/src/a/*.txt", "", "/src/c/*"}));
    EXPECT_EQ(cab.AddFiles(), (L{"/src/b/*.*"}));

    EXPECT_FALSE(ReadNextJob(cab, state));
}

TEST_F(Jobs, WithoutDollarLinesEverythingIsSearchedRecursively) {
    List(CrLf({"/out/pack", "/src/*.c", "/src/*.h"}));
    ASSERT_TRUE(ReadNextJob(cab, state));
    EXPECT_EQ(cab.RecurseFiles(), (L{"/src/*.c", "/src/*.h"}));
    EXPECT_TRUE(cab.AddFiles().empty());
    EXPECT_FALSE(ReadNextJob(cab, state));
}

TEST_F(Jobs, EndOfFileEndsABlockWithoutLineEnd) {
    List("/out/pack\r\n/src/*.c\r\n$\r\n/src/one.txt");
    ASSERT_TRUE(ReadNextJob(cab, state));
    EXPECT_EQ(cab.RecurseFiles(), (L{"/src/*.c"}));
    EXPECT_EQ(cab.AddFiles(), (L{"/src/one.txt"}));
    EXPECT_FALSE(ReadNextJob(cab, state));
}

TEST_F(Jobs, AnEmptyListHasNoJob) {
    List("");
    EXPECT_FALSE(ReadNextJob(cab, state));
    EXPECT_EQ(cab.CabFile(), "");
}

TEST_F(Jobs, CancelReadsNothing) {
    List(CrLf({"/out/pack", "$", "$"}));
    state.Cancel = true;
    EXPECT_FALSE(ReadNextJob(cab, state));
    EXPECT_EQ(cab.CabFile(), "");
    state.Cancel = false;
    EXPECT_TRUE(ReadNextJob(cab, state));
    EXPECT_EQ(cab.CabFile(), "/out/pack.cab");
}

// ---- start-up -----------------------------------------------------------------

class StartUpChecks : public ::testing::Test {
  protected:
    TStartUp Start(const std::vector<std::string>& args) {
        return StartUp(args, cab, state, boxes.Fn());
    }
    TempDir dir{"orvstart"};
    std::string list = dir / "list.txt", settings = dir / "settings.txt";
    tvFwCAB cab;
    TShellState state;
    shelltest::ScriptedBoxes boxes;
};

TEST_F(StartUpChecks, RefusedTokenEndsWith0AndMissingDirectiveWith1) {
    WriteFile(list, "");
    WriteFile(settings, "");
    const std::string missing = dir / "missing.txt";
    const std::vector<std::pair<std::vector<std::string>, TStartUp>> runs = {
        {{"orvane"}, TStartUp::Exit0},
        {{"orvane", "Plumb", list, settings}, TStartUp::Exit0},
        {{"orvane", "plumb ", list, settings}, TStartUp::Exit0},
        {{"orvane", "plumb", list}, TStartUp::Exit1},
        {{"orvane", "plumb", list, missing}, TStartUp::Exit1},
        {{"orvane", "plumb", missing, list}, TStartUp::Exit1},
        {{"orvane", "plumb", list, dir.path()}, TStartUp::Exit1}};
    for (const auto& [args, outcome] : runs) {
        boxes.shown.clear();
        EXPECT_EQ(Start(args), outcome) << args.size();
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].text, outcome == TStartUp::Exit0 ? "For internal use only."
                                                                  : "Directive(s) not found.");
        EXPECT_EQ(boxes.shown[0].caption, "");
        EXPECT_EQ(boxes.shown[0].icon, MsgIcon::None);
        EXPECT_EQ(boxes.shown[0].buttons, MsgButtons::Ok);
    }
    EXPECT_FALSE(state.List.IsOpen());
}

TEST_F(StartUpChecks, GoodDirectivesRunWithoutABoxAndKeepTheListOpen) {
    WriteFile(list, CrLf({"/out/pack", "$", "$"}));
    WriteFile(settings, CrLf({"8", "0", "0", "5"}));
    EXPECT_EQ(Start({"orvane", "plumb", list, settings, "ignored"}), TStartUp::Run);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_TRUE(state.List.IsOpen());
    EXPECT_EQ(cab.CompType(), ctLzx);
    EXPECT_EQ(state.WorkerPriority, -2);
}

TEST_F(StartUpChecks, SettingsErrorIsShownAndTheTimerStartsTheBuild) {
    WriteFile(list, CrLf({"/out/pack", "$", "$"}));
    WriteFile(settings, CrLf({"1", "x"}));
    EXPECT_EQ(Start({"orvane", "plumb", list, settings}), TStartUp::RunOnFirstTick);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Invalid numeric input.");
    EXPECT_EQ(boxes.shown[0].caption, "Velmora Cab");
    EXPECT_EQ(boxes.shown[0].icon, MsgIcon::Error);
    EXPECT_EQ(boxes.shown[0].buttons, MsgButtons::Ok);
    EXPECT_TRUE(state.List.IsOpen());
}

} // namespace
