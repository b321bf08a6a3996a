// Sets of cabinets: cut blocks, continued files, links, numbering, codecs that
// hold blocks back, and a randomized sweep over sizes and settings. Sets are
// read back with libmspack and checked rule by rule with CabImage.
#include "CabImage.h"
#include "CodecRegistry.h"
#include "FakeIo.h"
#include "Readers.h"
#include "TestData.h"
#include "TestUtil.h"
#include "fci.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <random>

namespace {

using cabtest::CabImage;
using cabtest::FakeIo;
using cabtest::Text;

// Wraps a codec and keeps up to `hold` finished blocks back until more come
// or the folder ends, the way a look-ahead encoder may.
class HoldingCodec : public cab::Codec {
  public:
    HoldingCodec(std::unique_ptr<cab::Codec> inner, std::size_t hold)
        : inner_(std::move(inner)), hold_(hold) {}
    void BeginFolder() override {
        inner_->BeginFolder();
        queue_.clear();
        ended_ = false;
    }
    bool Put(const std::uint8_t* data, std::size_t size) override {
        if (!inner_->Put(data, size)) return false;
        Drain();
        return true;
    }
    bool EndFolder() override {
        if (!inner_->EndFolder()) return false;
        Drain();
        ended_ = true;
        return true;
    }
    bool Take(cab::CompressedBlock& block) override {
        if (queue_.empty() || (!ended_ && queue_.size() <= hold_)) return false;
        block = std::move(queue_.front());
        queue_.pop_front();
        return true;
    }

  private:
    void Drain() {
        cab::CompressedBlock b;
        while (inner_->Take(b))
            queue_.push_back(std::move(b));
    }
    std::unique_ptr<cab::Codec> inner_;
    std::size_t hold_;
    std::deque<cab::CompressedBlock> queue_;
    bool ended_ = false;
};

std::size_t g_hold = 0;
std::unique_ptr<cab::Codec> HoldingFactory(TCOMP type) {
    auto inner = cab::MakeCodec(type);
    if (!inner) return nullptr;
    return std::make_unique<HoldingCodec>(std::move(inner), g_hold);
}

// The contexts io makes hold n blocks back in every codec.
void HoldBlocks(FakeIo& io, std::size_t n) {
    g_hold = n;
    io.codecs = HoldingFactory;
}

bool Continues(std::uint16_t folder) {
    return folder == 0xFFFE || folder == 0xFFFF;
}
bool Continued(std::uint16_t folder) {
    return folder == 0xFFFD || folder == 0xFFFF;
}

// Checks a set rule by rule, then reads it with libmspack.
void CheckSet(const FakeIo& io, ULONG cb, const std::map<std::string, std::string>& expected,
              std::size_t minCabinets = 1) {
    std::vector<std::string> names = io.Cabinets();
    // Order of the set: follow the links from cab1.cab.
    std::vector<CabImage> cabs;
    std::vector<std::string> order;
    std::string name = "mem/cab1.cab";
    while (io.files.count(name) && order.size() <= names.size()) {
        order.push_back(name);
        cabs.push_back(CabImage::Parse(*io.files.at(name)));
        if (!(cabs.back().flags & 2)) break;
        name = "mem/" + cabs.back().nextCab;
    }
    ASSERT_EQ(order.size(), names.size()) << "cabinets not linked in one chain";
    ASSERT_GE(cabs.size(), minCabinets);
    for (std::size_t k = 0; k < cabs.size(); ++k) {
        const CabImage& c = cabs[k];
        SCOPED_TRACE("cabinet " + order[k]);
        EXPECT_TRUE(c.ok()) << c.ProblemText();
        EXPECT_LE(c.cbCabinet, cb);
        EXPECT_EQ(c.iCabinet, k);
        EXPECT_EQ(c.setId, cabs[0].setId);
        EXPECT_EQ((c.flags & 1) != 0, k > 0);
        EXPECT_EQ((c.flags & 2) != 0, k + 1 < cabs.size());
        if (k > 0) {
            EXPECT_EQ("mem/" + c.prevCab, order[k - 1]);
        }
        if (k + 1 >= cabs.size()) continue;
        // The files continued at the end of this cabinet start the next one, in order.
        const CabImage& n = cabs[k + 1];
        std::vector<std::string> out, in;
        for (const auto& f : c.files)
            if (Continues(f.folder)) out.push_back(f.name + "@" + std::to_string(f.offset));
        for (const auto& f : n.files)
            if (Continued(f.folder)) in.push_back(f.name + "@" + std::to_string(f.offset));
        EXPECT_EQ(out, in);
        bool cut = !c.folders.empty() && !c.folders.back().blocks.empty() &&
                   c.folders.back().blocks.back().cbUncomp == 0;
        EXPECT_EQ(cut, !out.empty()) << "a continued folder ends in a cut piece";
        if (cut) {
            EXPECT_EQ(n.folders[0].type, c.folders.back().type);
        }
    }
    testutil::TempDir dir("cabset");
    io.WriteCabinets(dir.path());
    const cabtest::Extraction set = cabtest::ExtractWithLibmspack(dir / "cab1.cab");
    ASSERT_TRUE(set.ok) << set.log;
    const auto& files = set.files;
    ASSERT_EQ(files.size(), expected.size());
    for (const auto& [n, data] : expected) {
        ASSERT_EQ(files.count(n), 1u) << n << " missing";
        EXPECT_TRUE(files.at(n) == data) << n << " differs";
    }
}

TEST(SpanTest, SetWithFilesAndBlocksSplitAcrossCabinets) {
    FakeIo io;
    std::map<std::string, std::string> expect = {{"small1", testutil::RandomBytes(2000, 1)},
                                                 {"small2", testutil::RandomBytes(8000, 2)},
                                                 {"medium1", testutil::RandomBytes(60000, 3)},
                                                 {"medium2", testutil::RandomBytes(100000, 4)},
                                                 {"text", Text(150000, 5)},
                                                 {"medium3", testutil::RandomBytes(40000, 6)}};
    for (const auto& [n, d] : expect)
        io.AddSource(n, d);
    CCAB ccab = io.MakeCcab(30000, 20000);
    ccab.cbReserveCFHeader = 100;
    ccab.cbReserveCFFolder = 50;
    ccab.cbReserveCFData = 10;
    io.onNext = [](CCAB& c) {
        std::snprintf(c.szCab, sizeof c.szCab, "cab%d.cab", c.iCab);
        std::snprintf(c.szDisk, sizeof c.szDisk, "Disk %d", c.iCab);
        c.iDisk = c.iCab * 10;
    };
    HFCI h = io.Create(ccab);
    ASSERT_TRUE(h);
    for (const char* n : {"small1", "small2", "medium1", "medium2", "text", "medium3"})
        ASSERT_TRUE(io.Add(h, n, n)) << n << " " << io.erf.erfOper;
    ASSERT_TRUE(io.Flush(h));
    ASSERT_TRUE(FCIDestroy(h));
    CheckSet(io, 30000, expect, 4);

    // The next-cabinet callback numbers cabinets from 2 and sees the disk it set.
    ASSERT_GE(io.nextCalls.size(), 3u);
    for (std::size_t i = 0; i < io.nextCalls.size(); ++i) {
        EXPECT_EQ(io.nextCalls[i].iCab, static_cast<int>(i) + 2);
        EXPECT_EQ(io.nextCalls[i].iDisk, i == 0 ? 1 : static_cast<int>(i + 1) * 10);
    }
    // Cabinets that end in a cut block are filled to the byte; a file spans three.
    int full = 0, spansThree = 0;
    for (const std::string& n : io.Cabinets()) {
        CabImage c = CabImage::Parse(*io.files[n]);
        full += c.cbCabinet == 30000;
        for (const auto& f : c.files)
            spansThree += f.folder == 0xFFFF;
    }
    EXPECT_GE(full, 3);
    EXPECT_GE(spansThree, 1);
    EXPECT_EQ(CabImage::Parse(*io.files["mem/cab2.cab"]).prevDisk, "disk1");
    EXPECT_EQ(CabImage::Parse(*io.files["mem/cab2.cab"]).nextDisk, "Disk 3");
}

TEST(SpanTest, FlushWithNextLinksCabinetsWithoutContinuing) {
    FakeIo io;
    io.AddSource("one", Text(50000, 1));
    io.AddSource("two", Text(50000, 2));
    CCAB ccab = io.MakeCcab();
    HFCI h = io.Create(ccab);
    ASSERT_TRUE(io.Add(h, "one", "one"));
    ASSERT_TRUE(io.Flush(h, true));
    ASSERT_TRUE(io.Add(h, "two", "two"));
    ASSERT_TRUE(io.Flush(h));
    ASSERT_TRUE(FCIDestroy(h));
    ASSERT_EQ(io.nextCalls.size(), 1u);
    CheckSet(io, 0x7FFFFFFF, {{"one", io.sources["one"].data}, {"two", io.sources["two"].data}}, 2);
    CabImage first = CabImage::Parse(*io.files["mem/cab1.cab"]);
    EXPECT_EQ(first.files[0].folder, 0);
}

TEST(SpanTest, AbortByTheNextCabinetCallback) {
    FakeIo io;
    io.AddSource("big", testutil::RandomBytes(100000, 8));
    io.refuseNextAt = 1;
    CCAB ccab = io.MakeCcab(30000);
    HFCI h = io.Create(ccab);
    EXPECT_FALSE(io.Add(h, "big", "big"));
    EXPECT_EQ(io.erf.erfOper, FCIERR_USER_ABORT);
    EXPECT_EQ(io.nextCalls.size(), 2u);
    ASSERT_TRUE(FCIDestroy(h));
    EXPECT_EQ(io.Cabinets().size(), 1u) << "the first cabinet was complete";
    EXPECT_EQ(io.allocs, io.frees);
}

TEST(SpanTest, EmptyFilesAtBlockBoundariesAndCuts) {
    FakeIo io;
    std::map<std::string, std::string> expect = {{"a", testutil::RandomBytes(32768, 1)},
                                                 {"e1", ""},
                                                 {"b", testutil::RandomBytes(65536, 2)},
                                                 {"e2", ""},
                                                 {"e3", ""}};
    for (const auto& [n, d] : expect)
        io.AddSource(n, d);
    for (ULONG cb : {20000u, 32800u, 32830u, 65600u, 70000u}) {
        FakeIo run;
        run.sources = io.sources;
        CCAB ccab = run.MakeCcab(cb);
        HFCI h = run.Create(ccab);
        for (const char* n : {"e1", "a", "e2", "b", "e3"})
            ASSERT_TRUE(run.Add(h, n, n)) << n;
        ASSERT_TRUE(run.Flush(h));
        ASSERT_TRUE(FCIDestroy(h));
        SCOPED_TRACE("cabinet size " + std::to_string(cb));
        CheckSet(run, cb, expect);
    }
}

TEST(SpanTest, CodecThatHoldsBlocksBack) {
    for (std::size_t hold : {1u, 4u, 1000u}) {
        FakeIo io;
        HoldBlocks(io, hold);
        std::map<std::string, std::string> expect;
        std::mt19937 rng(static_cast<unsigned>(hold));
        for (int i = 0; i < 120; ++i) {
            std::string n = "f" + std::to_string(i);
            std::size_t size = rng() % 6000;
            expect[n] = i % 3 ? Text(size, i) : testutil::RandomBytes(size, i);
            io.AddSource(n, expect[n]);
        }
        io.AddSource("large", testutil::RandomBytes(200000, 99));
        expect["large"] = io.sources["large"].data;
        CCAB ccab = io.MakeCcab(45000, 150000);
        HFCI h = io.Create(ccab);
        for (int i = 0; i < 120; ++i) {
            std::string n = "f" + std::to_string(i);
            ASSERT_TRUE(io.Add(h, n, n, i % 40 < 20 ? tcompTYPE_MSZIP : tcompTYPE_NONE)) << n;
            if (i == 60) {
                ASSERT_TRUE(io.Add(h, "large", "large"));
            }
        }
        ASSERT_TRUE(io.Flush(h));
        ASSERT_TRUE(FCIDestroy(h));
        SCOPED_TRACE("holding " + std::to_string(hold));
        // Every file must be listed where libmspack looks for it.
        CheckSet(io, 45000, expect, 4);
        std::size_t blocks = 0;
        for (const auto& s : io.statuses)
            blocks += s.type == statusFile;
        std::size_t stored = 0;
        for (const std::string& n : io.Cabinets())
            for (const auto& f : CabImage::Parse(*io.files[n]).folders)
                for (const auto& b : f.blocks)
                    stored += b.cbUncomp != 0;
        EXPECT_EQ(blocks, stored) << "one status report per block";
    }
}

// Random sizes, settings, compression and flushes; every set must follow the
// rules and read back whole.
TEST(SpanTest, RandomizedSets) {
    // CAB_SPAN_SEEDS runs a longer sweep by hand.
    const char* seeds = std::getenv("CAB_SPAN_SEEDS");
    const unsigned count = seeds ? static_cast<unsigned>(std::atoi(seeds)) : 40;
    for (unsigned seed = 1; seed <= count; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        FakeIo io;
        if (seed % 4 == 0) HoldBlocks(io, rng() % 6);
        CCAB ccab =
            io.MakeCcab(4000 + rng() % 150000, rng() % 2 ? 50000 + rng() % 500000 : 0x7FFFFFFF);
        if (seed % 3 == 0) {
            ccab.cbReserveCFHeader = rng() % 3000;
            ccab.cbReserveCFFolder = rng() % 256;
            ccab.cbReserveCFData = rng() % 256;
        }
        std::map<std::string, std::string> expect;
        HFCI h = io.Create(ccab);
        ASSERT_TRUE(h);
        int count = 1 + static_cast<int>(rng() % 25);
        for (int i = 0; i < count; ++i) {
            std::string n = "file" + std::to_string(i) + ".dat";
            std::size_t size = rng() % 5 == 0 ? 0 : rng() % 120000;
            switch (rng() % 3) {
            case 0:
                expect[n] = testutil::RandomBytes(size, seed * 100 + i);
                break;
            case 1:
                expect[n] = Text(size, seed + i);
                break;
            default:
                expect[n] = std::string(size, static_cast<char>(i));
                break;
            }
            io.AddSource(n, expect[n]);
            ASSERT_TRUE(io.Add(h, n, n, rng() % 3 ? tcompTYPE_MSZIP : tcompTYPE_NONE))
                << n << " failed with " << io.erf.erfOper;
            if (rng() % 8 == 0) {
                ASSERT_TRUE(io.FlushFolder(h));
            }
        }
        ASSERT_TRUE(io.Flush(h));
        ASSERT_TRUE(FCIDestroy(h));
        EXPECT_EQ(io.allocs, io.frees);
        CheckSet(io, ccab.cb, expect);
        if (seed % 8 == 1) {
            // The independent readers agree.
            testutil::TempDir dir("cabrand");
            io.WriteCabinets(dir.path());
            for (cabtest::Reader r : cabtest::SetReaders()) {
                cabtest::Extraction x = cabtest::ExtractWith(r, dir / "cab1.cab");
                ASSERT_TRUE(x.ok) << cabtest::ReaderName(r) << ": " << x.log;
                EXPECT_TRUE(x.files == expect) << cabtest::ReaderName(r);
            }
        }
    }
}

} // namespace
