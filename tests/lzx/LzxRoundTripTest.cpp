// Cabinets made through the engine with our LZX encoder, extracted by
// cabextract, 7-Zip and libmspack, must give back every file byte for byte.
#include "EngineCabinet.h"
#include "LzxTestData.h"
#include "Readers.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <random>

using namespace cabtest;
using lzxtest::OwnExecutable;
using lzxtest::Records;
using lzxtest::Structured;
using lzxtest::Text;
using lzxtest::X86Code;

namespace {

std::size_t Total(const std::vector<CabFolder>& folders) {
    std::size_t n = 0;
    for (const CabFolder& f : folders)
        for (const CabFile& file : f.files)
            n += file.data.size();
    return n;
}

class LzxWindow : public ::testing::TestWithParam<int> {};

} // namespace

TEST(LzxReaders, ReadersArePresent) {
    testutil::TempDir dir("lzx-probe");
    std::string cab;
    ASSERT_TRUE(BuildCabinet({{TCOMPfromLZXWindow(15), {{"a.txt", "probe"}}}}, cab));
    testutil::WriteFile(dir / "p.cab", cab);
    EXPECT_TRUE(ExtractWithCabextract(dir / "p.cab").available) << "install cabextract";
    EXPECT_TRUE(Extract7z(dir / "p.cab").available) << "install 7zip";
}

TEST_P(LzxWindow, EverydayKindsOfData) {
    const int w = GetParam();
    const std::uint32_t seed = static_cast<std::uint32_t>(w);
    std::vector<CabFolder> folders;
    folders.push_back({TCOMPfromLZXWindow(w),
                       {{"empty.txt", ""},
                        {"one.bin", "x"},
                        {"zeros.bin", std::string(200000, '\0')},
                        {"random.bin", testutil::RandomBytes(70000, seed)},
                        {"text.txt", Text(300000, seed)},
                        {"empty2.txt", ""}}});
    folders.push_back({TCOMPfromLZXWindow(w), {{"x86.exe", X86Code(250000, seed)}}});
    folders.push_back({TCOMPfromLZXWindow(w), {{"x64.elf", OwnExecutable(400000)}}});
    folders.push_back({TCOMPfromLZXWindow(w), {{"records.dat", Records(300000, seed)}}});
    folders.push_back({TCOMPfromLZXWindow(w), {{"lonely.txt", ""}}});
    folders.push_back({TCOMPfromLZXWindow(w), {{"single.bin", "\xE8"}}});
    CabStats stats = ExpectRoundTrip(folders);
    EXPECT_LT(stats.compressedBytes, Total(folders) / 2);
}

TEST_P(LzxWindow, RepeatsFartherApartThanTheWindow) {
    const int w = GetParam();
    const std::uint32_t window = 1u << w;
    // A random piece, a window's worth of other random data, the piece again:
    // it can only be found again if the encoder looked too far back.
    std::string piece = testutil::RandomBytes(40000, 99);
    std::string data = piece + testutil::RandomBytes(window, 100) + piece;
    // Copies at exactly the largest distance allowed and one beyond it.
    std::string edge = testutil::RandomBytes(window + 5000, 101);
    for (int i = 0; i < 300; ++i)
        edge.push_back(edge[edge.size() - (window - 3)]);
    edge += testutil::RandomBytes(100, 102);
    for (int i = 0; i < 300; ++i)
        edge.push_back(edge[edge.size() - (window - 2)]);
    for (int i = 0; i < 300; ++i)
        edge.push_back(edge[edge.size() - (window - 1)]);
    ExpectRoundTrip({{TCOMPfromLZXWindow(w), {{"far.bin", data}, {"edge.bin", edge}}}});
}

TEST_P(LzxWindow, FrameAndBlockBoundaries) {
    const int w = GetParam();
    std::vector<CabFolder> folders;
    // Sizes around frame ends, odd sizes in uncompressed blocks.
    std::size_t sizes[] = {32767, 32768, 32769, 65535, 65537, 98304 + 11};
    int k = 0;
    for (std::size_t n : sizes) {
        folders.push_back({TCOMPfromLZXWindow(w),
                           {{"r" + std::to_string(k), testutil::RandomBytes(n, 300 + k)}}});
        folders.push_back({TCOMPfromLZXWindow(w), {{"t" + std::to_string(k), Text(n, 400 + k)}}});
        ++k;
    }
    // Incompressible and compressible frames taking turns, with repeats that
    // reach across the stored frames (repeated offsets survive them).
    std::string mixed;
    std::string phrase = Text(5000, 7);
    for (int f = 0; f < 8; ++f) {
        std::string frame =
            f % 2 ? testutil::RandomBytes(32768, 500 + f) : phrase + Text(32768 - 5000, 600 + f);
        mixed += frame;
    }
    folders.push_back({TCOMPfromLZXWindow(w), {{"mixed.bin", mixed}}});
    ExpectRoundTrip(folders);
}

INSTANTIATE_TEST_SUITE_P(Exponents, LzxWindow, ::testing::Range(15, 22),
                         [](const auto& info) { return "w" + std::to_string(info.param); });

TEST(LzxRoundTrip, FilesLargerThanTheLargestWindow) {
    std::string big = Text(1200000, 1) + X86Code(800000, 2) + OwnExecutable(500000) +
                      testutil::RandomBytes(200000, 3) + Text(300000, 1);
    ExpectRoundTrip({{TCOMPfromLZXWindow(21), {{"big.bin", big}}},
                     {TCOMPfromLZXWindow(15), {{"big15.bin", big.substr(0, 2200000)}}}});
}

// Random stretches are stored without a full search; the text between them
// must still be compressed, and a later copy of a random stretch still found
// although the stretch went into the match finder only sparsely. Data whose
// bytes look random one by one but that has many short matches must still be
// compressed.
TEST(LzxRoundTrip, TextBetweenIncompressibleStretches) {
    const std::string noise = testutil::RandomBytes(300001, 11);
    const std::string text = Text(400000, 12);
    const std::string other = testutil::RandomBytes(200003, 13);
    // Random, text and random again inside single frames too.
    const std::string mixed =
        testutil::RandomBytes(20000, 14) + Text(30000, 15) + testutil::RandomBytes(10001, 16);
    std::vector<CabFolder> folders{{TCOMPfromLZXWindow(21),
                                    {{"noise.bin", noise},
                                     {"a.txt", text.substr(0, 123457)},
                                     {"b.txt", text.substr(123457)},
                                     {"other.bin", other},
                                     {"mixed.bin", mixed},
                                     {"noise-again.bin", noise},
                                     {"c.txt", Text(50000, 17)}}}};
    const CabStats stats = ExpectRoundTrip(folders);
    const std::size_t textOnly = text.size() + 30000 + 50000;
    const std::size_t randomOnly = noise.size() + other.size() + 30001;
    // The text comes to about a fifth and the copy to almost nothing; storing
    // the copy or leaving the text uncompressed would each break this.
    EXPECT_LT(stats.compressedBytes, randomOnly + textOnly / 3);

    // Every byte value as common as any other, but a third of the bytes in
    // 3-byte copies from close by: only short matches pay here, and the
    // encoder must not take such data for random.
    std::mt19937 rng(18);
    // The random start is longer than the farthest copy reaches back.
    std::string shortCopies = testutil::RandomBytes(128, 19);
    while (shortCopies.size() < 600000) {
        if (rng() % 3 == 0) {
            const std::uint32_t n = 1 + rng() % 11;
            for (std::uint32_t k = 0; k < n; ++k)
                shortCopies.push_back(static_cast<char>(rng()));
        } else {
            const std::size_t d = 8 + rng() % 92;
            for (int k = 0; k < 3; ++k)
                shortCopies.push_back(shortCopies[shortCopies.size() - d]);
        }
    }
    const CabStats copies =
        ExpectRoundTrip({{TCOMPfromLZXWindow(21), {{"short-copies.bin", shortCopies}}}});
    EXPECT_LT(copies.compressedBytes, shortCopies.size() * 4 / 5);
}

// A few hundred seeded inputs of random shape, each in a folder of its own
// with its own window, all in one cabinet, and a folder of 600 small files.
TEST(LzxRoundTrip, StructuredRandomInputs) {
    // LZX_SEED_BASE picks another set of 300 (for longer runs by hand).
    const char* baseText = std::getenv("LZX_SEED_BASE");
    const std::uint32_t base = baseText ? static_cast<std::uint32_t>(std::atoi(baseText)) : 1;
    std::vector<CabFolder> folders;
    for (std::uint32_t seed = base; seed < base + 300; ++seed) {
        const int w = 15 + static_cast<int>(seed % 7);
        CabFolder f{TCOMPfromLZXWindow(w), {}};
        const int files = 1 + static_cast<int>(seed % 3);
        for (int k = 0; k < files; ++k) {
            f.files.push_back({"case" + std::to_string(seed) + "_" + std::to_string(k),
                               Structured(seed * 7 + k, 90000 / files, 1u << w)});
        }
        folders.push_back(std::move(f));
    }
    CabFolder many{TCOMPfromLZXWindow(18), {}};
    for (int i = 0; i < 600; ++i)
        many.files.push_back(
            {"small" + std::to_string(i), Text(static_cast<std::size_t>(i * 37 % 2000), i)});
    folders.push_back(std::move(many));
    ExpectRoundTrip(folders);
}
