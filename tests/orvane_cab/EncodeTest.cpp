// Event sequences of tvFwCAB::Encode over the scripted interface layer.
#include "FakeCabIntf.h"
#include "Platform.h"
#include "TestUtil.h"
#include "vFwCAB.h"

#include <gtest/gtest.h>

#include <stdexcept>

using Events = std::vector<std::string>;

namespace {

class EncodeTest : public ::testing::Test {
  protected:
    testutil::TempDir dir{"encode"};
    std::string base = dir.path() + "/";
    tvFwCAB cab;
    Events events;
    // Extra behaviour of the handlers; the recording is always done.
    std::function<void(int percent, bool& abort)> major;
    std::function<void(const std::string& file, int percent, bool& abort)> minor;
    std::function<void(int id, int& action)> error;

    void SetUp() override {
        fakecab::Reset();
        for (const char* f : {"a", "b", "c"})
            testutil::WriteFile(base + f + ".txt", f);
        cab.SetCabFile(base + "out.cab");
        cab.SetDiskName("D1");
        cab.AddFiles() = {base + "a.txt", base + "b.txt", base + "c.txt"};
        cab.OnMajorStatus = [this](tvFwCAB&, const std::string& name, int pct, bool& abort) {
            events.push_back("major " + Rel(name) + " " + std::to_string(pct));
            if (major) major(pct, abort);
        };
        cab.OnMinorStatus = [this](tvFwCAB&, const std::string& file, int pct, bool& abort) {
            events.push_back("minor " + Rel(file) + " " + std::to_string(pct));
            if (minor) minor(file, pct, abort);
        };
        cab.OnMessageNotify = [this](tvFwCAB&, std::string& name, std::string& disk, int no,
                                     int& diskNo, bool&) {
            events.push_back("msg " + name + " " + disk + " " + std::to_string(no) + " " +
                             std::to_string(diskNo));
            name = "out" + std::to_string(no) + ".cab";
            disk = "D" + std::to_string(no);
            diskNo = no * 10;
        };
        cab.OnErrorNotify = [this](tvFwCAB&, int id, int api, const std::string& text, int& act) {
            events.push_back("error " + std::to_string(id) + " " + std::to_string(api) + " " +
                             text + " (" + std::to_string(act) + ")");
            if (error) error(id, act);
        };
    }

    std::string Rel(const std::string& p) {
        return p.compare(0, base.size(), base) == 0 ? p.substr(base.size()) : p;
    }
    // Events of one file added in out.cab, with its per-file percent.
    static Events File(const std::string& f, int pct, const std::string& in = "out.cab") {
        return {"minor " + f + " 50", "minor " + f + " 100",
                "major " + in + " " + std::to_string(pct)};
    }
    static Events Cat(std::initializer_list<Events> parts) {
        Events all;
        for (const Events& p : parts)
            all.insert(all.end(), p.begin(), p.end());
        return all;
    }
    const Events opening{"major out.cab 0", "minor Scanning... 0"};
    const Events closing{"major out.cab 100", "minor  100"};
    std::string Written(const std::string& name) { return testutil::ReadFile(base + name); }
};

TEST_F(EncodeTest, InitialValuesAndCurrentComponent) {
    tvFwCAB fresh;
    EXPECT_EQ(fresh.CabFile(), "");
    EXPECT_EQ(fresh.DiskName(), "");
    EXPECT_EQ(fresh.FolderSize(), 831415);
    EXPECT_EQ(fresh.DiskSize(), 2147483647);
    EXPECT_EQ(fresh.Reserved(), 0);
    EXPECT_EQ(fresh.CompType(), ctMsZip);
    EXPECT_EQ(fresh.CompFactor(), 3);
    EXPECT_TRUE(fresh.AddFiles().empty() && fresh.RecurseFiles().empty());
    EXPECT_FALSE(fresh.StorePath() || fresh.PartialPath());
    EXPECT_FALSE(fresh.OnMajorStatus || fresh.OnMinorStatus || fresh.OnMessageNotify ||
                 fresh.OnErrorNotify);
    EXPECT_EQ(tvFwCAB::Current(), &fresh);
}

TEST_F(EncodeTest, BothListsEmpty) {
    cab.AddFiles().clear();
    cab.SetFolderSize(1000);
    cab.SetDiskSize(5000);
    cab.SetReserved(6);
    cab.Encode();
    EXPECT_EQ(events, Cat({opening, closing}));
    auto& r = fakecab::record();
    ASSERT_EQ(r.creates.size(), 1u);
    const auto& c = r.creates[0];
    EXPECT_EQ(c.cabFile, base + "out.cab");
    EXPECT_EQ(c.diskName, "D1");
    EXPECT_EQ(c.folderSize, 1000);
    EXPECT_EQ(c.diskSize, 5000);
    EXPECT_EQ(c.reserved, 6);
    EXPECT_TRUE(c.setNumber >= 0 && c.setNumber <= 2147483646);
    EXPECT_EQ(r.flushes, 1);
    EXPECT_EQ(r.destroys, 1);
    EXPECT_EQ(r.cabinetsWritten, Events{base + "out.cab"});
}

TEST_F(EncodeTest, ExistingCabinet) {
    testutil::WriteFile(base + "out.cab", "old");
    auto handler = cab.OnErrorNotify;
    cab.OnErrorNotify = nullptr; // no handler: nothing at all happens
    cab.Encode();
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(fakecab::record().creates.empty());

    cab.OnErrorNotify = handler; // the preset -1 ends the build
    cab.Encode();
    EXPECT_EQ(events, Events{"error 804 0 Cabinet already exists (-1)"});
    EXPECT_TRUE(fakecab::record().creates.empty());
    EXPECT_EQ(Written("out.cab"), "old");

    // Answered 1: asked again as long as the file is there.
    events.clear();
    int asked = 0;
    error = [&](int, int& action) {
        action = 1;
        if (++asked == 3) plat::DeleteFile(base + "out.cab");
    };
    cab.Encode();
    Events ask(3, "error 804 0 Cabinet already exists (-1)");
    EXPECT_EQ(events, Cat({ask, opening, File("a.txt", 33), File("b.txt", 66), File("c.txt", 100),
                           closing}));
    EXPECT_EQ(Written("out.cab"), "a.txt\nb.txt\nc.txt\n");
}

TEST_F(EncodeTest, AbortInFirstMajorStatus) {
    major = [](int, bool& abort) { abort = true; };
    cab.Encode();
    EXPECT_EQ(events, (Events{"major out.cab 0", "error 801 0 User abort (-1)"}));
    EXPECT_TRUE(fakecab::record().adds.empty());
    EXPECT_EQ(fakecab::record().flushes, 0);
    EXPECT_EQ(fakecab::record().destroys, 1);
}

TEST_F(EncodeTest, AbortAfterSomeFileAndTheNextBuildRunsAgain) {
    major = [](int pct, bool& abort) { abort = pct > 0; };
    cab.Encode();
    EXPECT_EQ(events, Cat({opening, File("a.txt", 33)}));
    EXPECT_EQ(fakecab::record().adds.size(), 1u);
    EXPECT_EQ(fakecab::record().flushes, 0);
    EXPECT_EQ(fakecab::record().destroys, 1);

    major = nullptr;
    events.clear();
    cab.Encode();
    EXPECT_EQ(events,
              Cat({opening, File("a.txt", 33), File("b.txt", 66), File("c.txt", 100), closing}));
}

TEST_F(EncodeTest, UnreadableFileAnswers) {
    const std::string b = base + "b.txt";
    const std::string failure = "error 802 5 Failure reading file to be stored in cabinet (0)";

    // 0: skipped and counted as done.
    fakecab::script().unreadable[b] = -1;
    cab.Encode();
    EXPECT_EQ(events, Cat({opening,
                           File("a.txt", 33),
                           {failure, "major out.cab 66"},
                           File("c.txt", 100),
                           closing}));
    EXPECT_EQ(Written("out.cab"), "a.txt\nc.txt\n");

    // 1: the same file is added again.
    plat::DeleteFile(base + "out.cab");
    fakecab::Reset();
    fakecab::script().unreadable[b] = 2;
    events.clear();
    error = [](int, int& action) { action = 1; };
    cab.Encode();
    EXPECT_EQ(events, Cat({opening,
                           File("a.txt", 33),
                           {failure, failure},
                           File("b.txt", 66),
                           File("c.txt", 100),
                           closing}));
    EXPECT_EQ(Written("out.cab"), "a.txt\nb.txt\nc.txt\n");

    // -1: the build stops; no closing events, no flush.
    plat::DeleteFile(base + "out.cab");
    fakecab::Reset();
    fakecab::script().unreadable[b] = -1;
    events.clear();
    error = [](int, int& action) { action = -1; };
    cab.Encode();
    EXPECT_EQ(events, Cat({opening, File("a.txt", 33), {failure}}));
    EXPECT_EQ(fakecab::record().adds.size(), 2u);
    EXPECT_EQ(fakecab::record().flushes, 0);
    EXPECT_EQ(fakecab::record().destroys, 1);
}

TEST_F(EncodeTest, AbortAnsweredInsideTheLayerStopsTheBuild) {
    minor = [](const std::string& f, int pct, bool& abort) {
        abort = f.find("b.txt") != std::string::npos && pct == 50;
    };
    error = [](int, int& action) { action = 1; }; // overruled
    cab.Encode();
    EXPECT_EQ(events,
              Cat({opening, File("a.txt", 33), {"minor b.txt 50", "error 801 0 User abort (0)"}}));
    EXPECT_EQ(fakecab::record().flushes, 0);

    // Also when nobody listens for errors.
    fakecab::Reset();
    cab.OnErrorNotify = nullptr;
    events.clear();
    cab.Encode();
    EXPECT_EQ(events, Cat({opening, File("a.txt", 33), {"minor b.txt 50"}}));
    EXPECT_EQ(fakecab::record().flushes, 0);
}

TEST_F(EncodeTest, ThreeCabinets) {
    fakecab::script().filesPerCabinet = 1;
    cab.Encode();
    EXPECT_EQ(events, Cat({opening,
                           File("a.txt", 33),
                           {"msg out.cab D1 2 1"},
                           File("b.txt", 66, "out2.cab"),
                           {"msg out2.cab D2 3 20"},
                           File("c.txt", 100, "out3.cab"),
                           {"major out3.cab 100", "minor  100"}}));
    EXPECT_EQ(cab.CabFile(), base + "out3.cab");
    auto& r = fakecab::record();
    EXPECT_EQ(r.cabinetsWritten, (Events{base + "out.cab", base + "out2.cab", base + "out3.cab"}));
    EXPECT_EQ(r.diskNumbers, (std::vector<int>{1, 20, 30}));
    EXPECT_EQ(Written("out2.cab"), "b.txt\n");

    // Without a handler the names stay; CabFile too.
    fakecab::Reset();
    fakecab::script().filesPerCabinet = 1;
    cab.SetCabFile(base + "other.cab");
    cab.OnMessageNotify = nullptr;
    cab.Encode();
    EXPECT_EQ(cab.CabFile(), base + "other.cab");
}

TEST_F(EncodeTest, ASetThatIsNotFinishedIsTakenBackAndWhatIsOutOfReachNamed) {
    // Three cabinets, and the flush of the third fails for good: the two
    // written cabinets that can still be reached go, the one out of reach
    // (on a disk taken out) is named, and a failing cabinet file is told.
    fakecab::script().filesPerCabinet = 1;
    fakecab::script().flushFailures = 1;
    fakecab::script().outOfReach = {base + "out.cab"};
    std::string failed;
    error = [&](int id, int& action) {
        if (id == ceCabFailure) failed = cab.FailedCabinet();
        action = 0;
    };
    cab.Encode();
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[events.size() - 2], "error 802 28 Could not create cabinet file (-1)");
    EXPECT_EQ(events.back(), "error 805 0 The cabinet set is incomplete; these cabinets of it "
                             "are left: \"" +
                                 base + "out.cab\" (-1)");
    EXPECT_EQ(failed, base + "out2.cab");
    EXPECT_EQ(fakecab::record().cabinetsRemoved, Events{base + "out2.cab"});
    EXPECT_FALSE(testutil::Exists(base + "out2.cab"));
    EXPECT_EQ(fakecab::record().destroys, 1);

    // An aborted build takes its cabinets back as well; a finished one keeps
    // them.
    fakecab::Reset();
    fakecab::script().filesPerCabinet = 1;
    major = [](int pct, bool& abort) { abort = pct == 66; };
    events.clear();
    cab.SetCabFile(base + "aborted.cab");
    cab.Encode();
    EXPECT_EQ(fakecab::record().cabinetsRemoved, Events{base + "aborted.cab"});
    fakecab::Reset();
    major = nullptr;
    cab.SetCabFile(base + "done.cab");
    cab.Encode();
    EXPECT_TRUE(fakecab::record().cabinetsRemoved.empty());
    EXPECT_TRUE(testutil::Exists(base + "done.cab"));
}

TEST_F(EncodeTest, CreateAndFlushFailures) {
    fakecab::script().createFailures = 2;
    error = [](int, int& action) { action = 0; };
    cab.AddFiles().clear();
    cab.Encode();
    const std::string createFailure = "error 803 13 Could not create cabinet file (-1)";
    EXPECT_EQ(events, Cat({{createFailure, createFailure}, opening, closing}));
    EXPECT_EQ(fakecab::record().creates.size(), 3u);

    // Flush answered 1 is tried again; any other answer gives up.
    plat::DeleteFile(base + "out.cab");
    fakecab::Reset();
    fakecab::script().flushFailures = 2;
    int answers[] = {1, 0};
    int n = 0;
    error = [&](int, int& action) { action = answers[n++]; };
    events.clear();
    cab.Encode();
    const std::string flushFailure = "error 802 28 Could not create cabinet file (-1)";
    EXPECT_EQ(events, Cat({opening, closing, {flushFailure, flushFailure}}));
    EXPECT_EQ(fakecab::record().flushes, 2);
    EXPECT_EQ(fakecab::record().destroys, 1);

    // Without a handler a failed creation ends the build quietly.
    fakecab::Reset();
    fakecab::script().createFailures = 1;
    cab.OnErrorNotify = nullptr;
    events.clear();
    cab.Encode();
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(fakecab::record().destroys, 0);
}

TEST_F(EncodeTest, CompressionAndWindowExponent) {
    for (auto [factor, exponent] : {std::pair{-5, 15},
                                    {0, 15},
                                    {1, 15},
                                    {2, 16},
                                    {3, 17},
                                    {6, 20},
                                    {7, 21},
                                    {10, 21},
                                    {2147483647, 21}})
        EXPECT_EQ(tvFwCAB::WindowExponent(factor), exponent) << factor;
    cab.SetCompType(ctLzx);
    cab.SetCompFactor(5);
    cab.Encode();
    for (const auto& add : fakecab::record().adds) {
        EXPECT_EQ(add.compType, ctLzx);
        EXPECT_EQ(add.windowExponent, 19);
        EXPECT_FALSE(add.execute);
    }
}

TEST_F(EncodeTest, DuplicatesAndFilesThatAppearAfterCounting) {
    cab.SetAddFiles({base + "a.txt", base + "a.txt"});
    cab.SetRecurseFiles({base + "a.txt"});
    cab.Encode();
    EXPECT_EQ(events,
              Cat({opening, File("a.txt", 33), File("a.txt", 66), File("a.txt", 100), closing}));

    // Files written while the build runs are added; the percent is not clamped.
    plat::DeleteFile(base + "out.cab");
    fakecab::Reset();
    plat::CreateFolder(base + "late");
    cab.SetAddFiles({base + "a.txt", base + "late/*"});
    cab.SetRecurseFiles({});
    minor = [&](const std::string& f, int pct, bool&) {
        if (f == base + "a.txt" && pct == 100) testutil::WriteFile(base + "late/x", "x");
    };
    events.clear();
    cab.Encode();
    EXPECT_EQ(events, Cat({opening,
                           File("a.txt", 100),
                           File("late/x", 200),
                           {"major out.cab 100", "minor  100"}}));
    // No file counted: never a division by zero.
    EXPECT_EQ(tvFwCAB::FilesPercent(1, 0), 100);
    EXPECT_EQ(tvFwCAB::FilesPercent(2, 3), 66);
}

TEST_F(EncodeTest, RelaysReachTheComponentWhoseBuildRuns) {
    fakecab::script().filesPerCabinet = 1;
    {
        tvFwCAB other; // constructed later, so the current one
        int reached = 0;
        other.OnMessageNotify = [&](tvFwCAB&, std::string&, std::string&, int, int&, bool&) {
            ++reached;
        };
        cab.Encode();
        EXPECT_EQ(reached, 0);
        EXPECT_EQ(cab.CabFile(), base + "out3.cab");
        EXPECT_EQ(tvFwCAB::Current(), &cab);
    }
    { tvFwCAB temporary; }
    EXPECT_EQ(tvFwCAB::Current(), nullptr); // a destroyed component is never reached
    bool abort = false;
    vFwProgressRelay("x", 1, abort);
}

TEST_F(EncodeTest, HandlerExceptionStillDestroysTheContext) {
    major = [](int pct, bool&) {
        if (pct > 0) throw std::runtime_error("handler");
    };
    EXPECT_THROW(cab.Encode(), std::runtime_error);
    EXPECT_EQ(fakecab::record().liveContexts, 0);
}

} // namespace
