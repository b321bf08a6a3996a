// The engine through its FCI calls, with the recording double: callback roles,
// status reports, error codes and the limits of the format.
#include "CabImage.h"
#include "FakeIo.h"
#include "TestData.h"
#include "TestUtil.h"
#include "fci.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <numeric>

namespace {

using cabtest::CabImage;
using cabtest::FakeIo;
using cabtest::Text;

CabImage Cabinet(const FakeIo& io, const std::string& name = "mem/cab1.cab") {
    auto it = io.files.find(name);
    if (it == io.files.end()) {
        CabImage c;
        c.problems.push_back("no cabinet " + name);
        return c;
    }
    return CabImage::Parse(*it->second);
}

class EngineTest : public ::testing::Test {
  protected:
    FakeIo io;
    CCAB ccab = io.MakeCcab();
    HFCI h = nullptr;

    void SetUp() override {
        io.AddSource("a.txt", Text(100000, 1));
        io.AddSource("b.bin", testutil::RandomBytes(50000, 2));
        io.AddSource("empty", "");
    }
    void TearDown() override {
        if (h) FCIDestroy(h);
    }
    HFCI Create() {
        h = io.Create(ccab);
        return h;
    }
    void Destroy() {
        ASSERT_TRUE(FCIDestroy(h));
        h = nullptr;
    }
};

TEST_F(EngineTest, EverythingGoesThroughTheCallbacks) {
    ASSERT_TRUE(Create()) << io.erf.erfOper;
    ASSERT_TRUE(io.Add(h, "a.txt", "a.txt"));
    ASSERT_TRUE(io.Add(h, "b.bin", "dir\\b.bin"));
    ASSERT_TRUE(io.Add(h, "empty", "empty"));
    ASSERT_TRUE(io.Flush(h));
    Destroy();

    // The temporary file was asked for, created exclusively, and deleted.
    ASSERT_EQ(io.tempNames.size(), 1u);
    ASSERT_FALSE(io.opens.empty());
    EXPECT_EQ(io.opens[0].name, io.tempNames[0]);
    EXPECT_EQ(io.opens[0].flags & (FCI_O_CREAT | FCI_O_EXCL | FCI_O_RDWR),
              FCI_O_CREAT | FCI_O_EXCL | FCI_O_RDWR);
    EXPECT_NE(std::find(io.deleted.begin(), io.deleted.end(), io.tempNames[0]), io.deleted.end());
    // Only the cabinet is left; every handle is closed and all memory returned.
    ASSERT_EQ(io.files.size(), 1u);
    EXPECT_EQ(io.files.begin()->first, "mem/cab1.cab");
    EXPECT_EQ(io.openHandles, 0);
    EXPECT_GT(io.allocs, 0);
    EXPECT_EQ(io.allocs, io.frees);
    EXPECT_EQ(io.bytesRead, 150000u);
    EXPECT_EQ(io.openInfos, (std::vector<std::string>{"a.txt", "b.bin", "empty"}));

    CabImage cab = Cabinet(io);
    ASSERT_TRUE(cab.ok()) << cab.ProblemText();
    EXPECT_EQ(cab.setId, 0x1234);
    EXPECT_EQ(cab.iCabinet, 0);
    EXPECT_EQ(cab.flags, 0);
    auto files = cab.Extract();
    ASSERT_TRUE(cab.ok()) << cab.ProblemText();
    EXPECT_EQ(files["a.txt"], io.sources["a.txt"].data);
    EXPECT_EQ(files["dir\\b.bin"], io.sources["b.bin"].data);
    EXPECT_EQ(files.count("empty"), 1u);
    EXPECT_EQ(cab.files[0].date, 0x5022);
    EXPECT_EQ(cab.files[0].time, 0x1883);
    EXPECT_EQ(cab.files[0].attribs, 0x20);
    EXPECT_EQ(io.placed, (std::vector<std::string>{"a.txt:100000", "dir\\b.bin:50000", "empty:0"}));
}

TEST_F(EngineTest, StatusReportsBlocksFoldersAndTheCabinet) {
    ASSERT_TRUE(Create());
    ASSERT_TRUE(io.Add(h, "a.txt", "a.txt"));
    ASSERT_TRUE(io.Add(h, "b.bin", "b.bin", tcompTYPE_NONE));
    ASSERT_TRUE(io.Flush(h));
    CabImage cab = Cabinet(io);
    ASSERT_TRUE(cab.ok()) << cab.ProblemText();
    ASSERT_EQ(cab.folders.size(), 2u);

    std::uint64_t uncompressed = 0, compressed = 0, payload = 0;
    std::vector<ULONG> folderTotals;
    int cabinets = 0;
    for (const auto& s : io.statuses) {
        if (s.type == statusFile) {
            uncompressed += s.cb2;
            compressed += s.cb1;
            EXPECT_LE(s.cb2, 32768u);
        } else if (s.type == statusFolder) {
            EXPECT_LE(s.cb1, s.cb2);
            if (s.cb1 == s.cb2) folderTotals.push_back(s.cb2);
        } else if (s.type == statusCabinet) {
            ++cabinets;
            EXPECT_EQ(s.cb2, cab.cbCabinet);
        }
    }
    for (const auto& f : cab.folders)
        for (const auto& b : f.blocks)
            payload += b.cbData;
    EXPECT_EQ(uncompressed, 150000u);
    EXPECT_EQ(compressed, payload);
    EXPECT_EQ(cabinets, 1);
    ASSERT_EQ(folderTotals.size(), 2u);
    EXPECT_EQ(folderTotals[0] + folderTotals[1], cab.cbCabinet - cab.folders[0].offset);
}

TEST_F(EngineTest, FolderThresholdClosesFoldersAtFileBoundaries) {
    ccab.cbFolderThresh = 100000;
    ASSERT_TRUE(Create());
    for (int i = 0; i < 10; ++i) {
        std::string name = "f" + std::to_string(i);
        io.AddSource(name, testutil::RandomBytes(30000, i));
        ASSERT_TRUE(io.Add(h, name, name, tcompTYPE_NONE));
    }
    ASSERT_TRUE(io.Flush(h));
    CabImage cab = Cabinet(io);
    ASSERT_TRUE(cab.ok()) << cab.ProblemText();
    // After five files four full blocks (131072 bytes) are out: past the threshold.
    ASSERT_EQ(cab.folders.size(), 2u);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(cab.files[i].folder, i < 5 ? 0 : 1) << i;
    EXPECT_EQ(cab.files[5].offset, 0u);
    auto files = cab.Extract();
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(files["f" + std::to_string(i)], io.sources["f" + std::to_string(i)].data);
}

TEST_F(EngineTest, ChangingTheCompressionStartsAFolder) {
    ASSERT_TRUE(Create());
    ASSERT_TRUE(io.Add(h, "a.txt", "1", tcompTYPE_NONE));
    ASSERT_TRUE(io.Add(h, "a.txt", "2", tcompTYPE_MSZIP));
    ASSERT_TRUE(io.Add(h, "b.bin", "3", tcompTYPE_MSZIP));
    ASSERT_TRUE(io.Add(h, "b.bin", "4", tcompTYPE_NONE));
    ASSERT_TRUE(FCIFlushFolder(h, nullptr, nullptr));
    ASSERT_TRUE(io.Add(h, "empty", "5", tcompTYPE_NONE));
    ASSERT_TRUE(io.Flush(h));
    CabImage cab = Cabinet(io);
    ASSERT_TRUE(cab.ok()) << cab.ProblemText();
    ASSERT_EQ(cab.folders.size(), 4u);
    EXPECT_EQ(cab.folders[0].type, 0);
    EXPECT_EQ(cab.folders[1].type, 1);
    EXPECT_EQ(cab.folders[2].type, 0);
    EXPECT_EQ(cab.folders[3].type, 0);
    EXPECT_EQ(cab.folders[3].blockCount, 0); // only an empty file
    auto files = cab.Extract();
    ASSERT_TRUE(cab.ok()) << cab.ProblemText();
    EXPECT_EQ(files["2"], io.sources["a.txt"].data);
    EXPECT_EQ(files["4"], io.sources["b.bin"].data);
    EXPECT_EQ(files["5"], "");
}

TEST_F(EngineTest, ExecuteAndUtf8NamesSetTheirAttributes) {
    io.sources["a.txt"].attribs = 0x21 | 0x10 | 0x08; // folder and volume bits are not stored
    ASSERT_TRUE(Create());
    ASSERT_TRUE(io.Add(h, "a.txt", "run.exe", tcompTYPE_MSZIP, true));
    ASSERT_TRUE(io.Add(h, "empty", "gr\xC3\xBC\xC3\x9F"));
    ASSERT_TRUE(io.Add(h, "empty", "latin\xFC"));
    ASSERT_TRUE(io.Flush(h));
    CabImage cab = Cabinet(io);
    ASSERT_TRUE(cab.ok()) << cab.ProblemText();
    EXPECT_EQ(cab.files[0].attribs, 0x61);
    EXPECT_EQ(cab.files[1].attribs, 0xA0);
    EXPECT_EQ(cab.files[2].attribs, 0x20);
}

TEST_F(EngineTest, ReservesAreWrittenAsZeros) {
    ccab.cbReserveCFHeader = 60000;
    ccab.cbReserveCFFolder = 255;
    ccab.cbReserveCFData = 255;
    ASSERT_TRUE(Create());
    ASSERT_TRUE(io.Add(h, "a.txt", "a.txt"));
    ASSERT_TRUE(io.Flush(h));
    CabImage cab = Cabinet(io);
    ASSERT_TRUE(cab.ok()) << cab.ProblemText();
    EXPECT_EQ(cab.flags, 4);
    EXPECT_EQ(cab.cbCFHeader, 60000);
    EXPECT_EQ(cab.Extract()["a.txt"], io.sources["a.txt"].data);
}

TEST_F(EngineTest, ReserveLimitsAreChecked) {
    ccab.cbReserveCFHeader = 60001;
    EXPECT_FALSE(Create());
    EXPECT_EQ(io.erf.erfOper, FCIERR_CAB_FILE);
    ccab.cbReserveCFHeader = 0;
    ccab.cbReserveCFData = 256;
    EXPECT_FALSE(Create());
    EXPECT_EQ(io.allocs, io.frees);
}

TEST_F(EngineTest, FlushWithoutFilesWritesNothing) {
    ASSERT_TRUE(Create());
    EXPECT_TRUE(io.Flush(h));
    Destroy();
    EXPECT_TRUE(io.files.empty());
    EXPECT_TRUE(io.statuses.empty());
}

TEST_F(EngineTest, SourceThatCannotBeOpened) {
    io.failOpenInfoOf = "b.bin";
    ASSERT_TRUE(Create());
    EXPECT_FALSE(io.Add(h, "b.bin", "b.bin"));
    EXPECT_EQ(io.erf.erfOper, FCIERR_OPEN_SRC);
    EXPECT_EQ(io.erf.erfType, ENOENT);
    EXPECT_TRUE(io.erf.fError);
    // The context goes on.
    ASSERT_TRUE(io.Add(h, "a.txt", "a.txt"));
    ASSERT_TRUE(io.Flush(h));
    CabImage cab = Cabinet(io);
    ASSERT_TRUE(cab.ok()) << cab.ProblemText();
    EXPECT_EQ(cab.files.size(), 1u);
}

TEST_F(EngineTest, SourceThatFailsHalfWayIsLeftOut) {
    io.AddSource("big", Text(300000, 7));
    io.failReadOf = "big";
    io.failReadAfter = 200000; // six blocks are compressed by then
    ASSERT_TRUE(Create());
    ASSERT_TRUE(io.Add(h, "a.txt", "a.txt"));
    EXPECT_FALSE(io.Add(h, "big", "big"));
    EXPECT_EQ(io.erf.erfOper, FCIERR_READ_SRC);
    EXPECT_EQ(io.erf.erfType, EIO);
    EXPECT_EQ(io.openHandles, 1); // only the temporary file
    ASSERT_TRUE(io.Add(h, "b.bin", "b.bin"));
    ASSERT_TRUE(io.Flush(h));
    CabImage cab = Cabinet(io);
    ASSERT_TRUE(cab.ok()) << cab.ProblemText();
    auto files = cab.Extract();
    ASSERT_TRUE(cab.ok()) << cab.ProblemText();
    EXPECT_EQ(files.size(), 2u);
    EXPECT_EQ(files["a.txt"], io.sources["a.txt"].data);
    EXPECT_EQ(files["b.bin"], io.sources["b.bin"].data);
    EXPECT_EQ(cab.Find("b.bin")->offset, 0u) << "the next file starts a new folder";
}

TEST_F(EngineTest, TemporaryFileThatCannotBeMade) {
    io.failTempName = true;
    EXPECT_FALSE(Create());
    EXPECT_EQ(io.erf.erfOper, FCIERR_TEMP_FILE);
    io.failTempName = false;
    io.failCreate = true;
    EXPECT_FALSE(Create());
    EXPECT_EQ(io.erf.erfOper, FCIERR_TEMP_FILE);
    EXPECT_EQ(io.erf.erfType, EACCES);
    EXPECT_EQ(io.allocs, io.frees);
    EXPECT_TRUE(io.files.empty());
}

TEST_F(EngineTest, UnknownCompressionTypes) {
    ASSERT_TRUE(Create());
    for (TCOMP t : {TCOMP(0x1582), TCOMP(0x0972), TCOMP(0x0072), TCOMP(0x1603), TCOMP(0x0E03),
                    TCOMP(0x0101), TCOMP(0x000F), TCOMP(0x2001)}) {
        EXPECT_FALSE(io.Add(h, "a.txt", "a.txt", t)) << t;
        EXPECT_EQ(io.erf.erfOper, FCIERR_BAD_COMPR_TYPE) << t;
    }
    EXPECT_TRUE(io.openInfos.empty()) << "no source is opened for a bad type";
    ASSERT_TRUE(io.Add(h, "a.txt", "a.txt"));
    ASSERT_TRUE(io.Flush(h));
    EXPECT_TRUE(Cabinet(io).ok());
}

TEST_F(EngineTest, ExistingCabinetAndARetriedFlush) {
    io.files["mem/cab1.cab"] = std::make_shared<std::string>("old");
    ASSERT_TRUE(Create());
    ASSERT_TRUE(io.Add(h, "a.txt", "a.txt"));
    EXPECT_FALSE(io.Flush(h));
    EXPECT_EQ(io.erf.erfOper, FCIERR_CAB_FILE);
    EXPECT_EQ(io.erf.erfType, EEXIST);
    EXPECT_EQ(*io.files["mem/cab1.cab"], "old");
    io.files.erase("mem/cab1.cab");
    ASSERT_TRUE(io.Flush(h));
    CabImage cab = Cabinet(io);
    ASSERT_TRUE(cab.ok()) << cab.ProblemText();
    EXPECT_EQ(cab.Extract()["a.txt"], io.sources["a.txt"].data);
}

TEST_F(EngineTest, AbortByStatusOfABlock) {
    io.abortStatusType = statusFile;
    ASSERT_TRUE(Create());
    EXPECT_FALSE(io.Add(h, "a.txt", "a.txt"));
    EXPECT_EQ(io.erf.erfOper, FCIERR_USER_ABORT);
    Destroy();
    EXPECT_TRUE(io.files.empty());
    EXPECT_EQ(io.openHandles, 0);
    EXPECT_EQ(io.allocs, io.frees);
}

TEST_F(EngineTest, AbortByStatusWhileTheCabinetIsWritten) {
    io.abortStatusType = statusFolder;
    ASSERT_TRUE(Create());
    ASSERT_TRUE(io.Add(h, "a.txt", "a.txt"));
    EXPECT_FALSE(io.Flush(h));
    EXPECT_EQ(io.erf.erfOper, FCIERR_USER_ABORT);
    EXPECT_EQ(io.files.count("mem/cab1.cab"), 0u) << "a half-written cabinet is removed";
}

TEST_F(EngineTest, ExceptionInACallbackIsAFailureNotACrash) {
    io.throwInStatus = true;
    ASSERT_TRUE(Create());
    EXPECT_FALSE(io.Add(h, "a.txt", "a.txt"));
    EXPECT_EQ(io.erf.erfOper, FCIERR_USER_ABORT);
}

TEST_F(EngineTest, NamesUpTo255Bytes) {
    ASSERT_TRUE(Create());
    std::string longest(255, 'n');
    EXPECT_TRUE(io.Add(h, "a.txt", longest));
    EXPECT_FALSE(io.Add(h, "a.txt", longest + "n"));
    EXPECT_EQ(io.erf.erfOper, FCIERR_OPEN_SRC);
    EXPECT_FALSE(io.Add(h, "a.txt", ""));
    EXPECT_EQ(io.erf.erfOper, FCIERR_OPEN_SRC);
    ASSERT_TRUE(io.Flush(h));
    CabImage cab = Cabinet(io);
    ASSERT_TRUE(cab.ok()) << cab.ProblemText();
    ASSERT_EQ(cab.files.size(), 1u);
    EXPECT_EQ(cab.files[0].name, longest);
}

TEST_F(EngineTest, FilesTooLargeForAFolderAreRefusedUnread) {
    io.AddSource("huge", "x");
    io.sources["huge"].reportedSize = 0x7FFF8001;
    ASSERT_TRUE(Create());
    EXPECT_FALSE(io.Add(h, "huge", "huge"));
    EXPECT_EQ(io.erf.erfOper, FCIERR_OPEN_SRC);
    EXPECT_EQ(io.bytesRead, 0u);
    EXPECT_EQ(io.openHandles, 1);
}

TEST_F(EngineTest, TooManyFilesForOneCabinet) {
    ASSERT_TRUE(Create());
    for (int i = 0; i < 65535; ++i)
        ASSERT_TRUE(io.Add(h, "empty", std::to_string(i))) << i;
    EXPECT_FALSE(io.Add(h, "empty", "one too many"));
    EXPECT_EQ(io.erf.erfOper, FCIERR_CAB_FILE);
    ASSERT_TRUE(io.Flush(h));
    CabImage cab = Cabinet(io);
    ASSERT_TRUE(cab.ok()) << cab.ProblemText();
    EXPECT_EQ(cab.files.size(), 65535u);
}

TEST_F(EngineTest, CabinetTooSmallForAnything) {
    ccab.cb = 500;
    ASSERT_TRUE(Create());
    EXPECT_FALSE(io.Add(h, "a.txt", "a.txt"));
    EXPECT_EQ(io.erf.erfOper, FCIERR_CAB_FILE);
    EXPECT_TRUE(io.Flush(h));
    EXPECT_TRUE(io.Cabinets().empty());
}

TEST_F(EngineTest, OutOfMemoryAnywhereIsReportedAndCleanedUp) {
    // Let allocation fail at every point of a small run in turn.
    for (long limit = 0; limit < 400; limit += 3) {
        FakeIo run;
        run.AddSource("a.txt", Text(70000, 3));
        run.AddSource("b.bin", testutil::RandomBytes(40000, 4));
        run.failAllocAfter = limit;
        CCAB c = run.MakeCcab(30000);
        HFCI hh = run.Create(c);
        if (!hh) {
            EXPECT_EQ(run.erf.erfOper, FCIERR_ALLOC_FAIL) << limit;
            EXPECT_EQ(run.allocs, run.frees);
            continue;
        }
        bool ok = run.Add(hh, "a.txt", "a.txt") && run.Add(hh, "b.bin", "b.bin") && run.Flush(hh);
        if (!ok) {
            EXPECT_EQ(run.erf.erfOper, FCIERR_ALLOC_FAIL) << limit;
        }
        EXPECT_TRUE(FCIDestroy(hh));
        EXPECT_EQ(run.allocs, run.frees) << limit;
        EXPECT_EQ(run.openHandles, 0) << limit;
        for (const std::string& t : run.tempNames)
            EXPECT_EQ(run.files.count(t), 0u);
        if (ok) {
            for (const std::string& name : run.Cabinets()) {
                CabImage cab = Cabinet(run, name);
                EXPECT_TRUE(cab.ok()) << cab.ProblemText();
            }
        }
    }
}

TEST_F(EngineTest, BrokenContextKeepsFailingButDestroysCleanly) {
    ccab.cb = 20000;
    io.refuseNextAt = 0;
    ASSERT_TRUE(Create());
    EXPECT_FALSE(io.Add(h, "b.bin", "b.bin"));
    EXPECT_EQ(io.erf.erfOper, FCIERR_USER_ABORT);
    io.erf = ERF{};
    EXPECT_FALSE(io.Add(h, "a.txt", "a.txt"));
    EXPECT_EQ(io.erf.erfOper, FCIERR_USER_ABORT);
    EXPECT_FALSE(io.Flush(h));
    Destroy();
    EXPECT_TRUE(io.files.empty());
    EXPECT_EQ(io.allocs, io.frees);
}

TEST(EngineHandles, NullAndForeignHandlesAreRefused) {
    EXPECT_FALSE(FCIDestroy(nullptr));
    EXPECT_FALSE(FCIFlushCabinet(nullptr, FALSE, nullptr, nullptr));
    int notAContext = 42;
    EXPECT_FALSE(FCIFlushFolder(&notAContext, nullptr, nullptr));
}

} // namespace
