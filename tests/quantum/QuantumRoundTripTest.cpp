// Cabinets made through the engine with our Quantum encoder, extracted by
// cabextract, 7-Zip and libmspack, must give back every file byte for byte.
#include "CabImage.h"
#include "QuantumCodec.h"
#include "EngineCabinet.h"
#include "LzxTestData.h"
#include "Readers.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <tuple>

using lzxtest::Text;
using namespace cabtest;

namespace {

std::string Hex(const std::string& s) {
    static const char* digits = "0123456789abcdef";
    std::string r;
    for (unsigned char c : s) {
        r.push_back(digits[c >> 4]);
        r.push_back(digits[c & 15]);
    }
    return r;
}

// Text with runs of zeros in between: longer than the window, with matches
// both near and as far back as the window reaches.
std::string TextAndRuns(std::size_t n, std::uint32_t seed) {
    std::string s;
    std::uint32_t k = 0;
    while (s.size() < n) {
        s += Text(20000, seed + k % 3);
        s.append(3000 + 977 * (k % 5), '\0');
        ++k;
    }
    s.resize(n);
    return s;
}

class QuantumWindowLevel : public ::testing::TestWithParam<std::tuple<int, int>> {};

} // namespace

TEST(QuantumReaders, ReadersArePresent) {
    EXPECT_TRUE(ExtractWithCabextract("/nonexistent.cab").available) << "install cabextract";
    EXPECT_TRUE(Extract7z("/nonexistent.cab").available) << "install 7zip";
}

TEST(QuantumCodec, TakesLevelsOneToSevenAndWindowsTenToTwentyOne) {
    EXPECT_EQ(cab::MakeQuantumCodec(0, 15), nullptr);
    EXPECT_EQ(cab::MakeQuantumCodec(8, 15), nullptr);
    EXPECT_EQ(cab::MakeQuantumCodec(4, 9), nullptr);
    EXPECT_EQ(cab::MakeQuantumCodec(4, 22), nullptr);
    EXPECT_NE(cab::MakeQuantumCodec(1, 10), nullptr);
    EXPECT_NE(cab::MakeQuantumCodec(7, 21), nullptr);
}

// The worked examples of the bitstream, byte for byte, and read by both readers.
TEST(QuantumVectors, SmallInputsGiveTheKnownPayloads) {
    const std::pair<std::string, std::string> vectors[] = {
        {"A", "da484000"}, {"AAAAAAAAAA", "da508b1b00"}, {"abcabcabcabc", "c853ec9c2ed000"}};
    std::vector<CabFolder> folders;
    for (const auto& [input, payload] : vectors)
        folders.push_back({TcompQuantum(7, 15), {{"v" + std::to_string(folders.size()), input}}});
    std::string bytes;
    ASSERT_TRUE(BuildCabinet(folders, bytes));
    const CabImage cab = CabImage::Parse(bytes);
    ASSERT_EQ(cab.folders.size(), std::size(vectors));
    for (std::size_t k = 0; k < std::size(vectors); ++k) {
        ASSERT_EQ(cab.folders[k].blocks.size(), 1u);
        EXPECT_EQ(Hex(cab.folders[k].blocks[0].payload), vectors[k].second) << vectors[k].first;
    }
    ExpectRoundTrip(folders);
}

// Every kind of input for one window and level, one folder each, in one cabinet.
TEST_P(QuantumWindowLevel, EveryKindOfInput) {
    const auto [w, level] = GetParam();
    const std::uint32_t window = 1u << w;
    const std::uint32_t seed = static_cast<std::uint32_t>(w * 10 + level);
    std::vector<CabFolder> folders;
    auto add = [&](const std::string& name, const std::string& data) {
        folders.push_back({TcompQuantum(level, w), {{name, data}}});
    };
    add("empty", "");
    add("one", "Q");
    add("block-1", Text(32767, seed));
    add("block", Text(32768, seed + 1));
    add("block+1", Text(32769, seed + 2));
    add("text", Text(100000, seed + 3));
    add("random", testutil::RandomBytes(40000, seed));
    std::string pattern;
    while (pattern.size() < 100000)
        pattern += "abcde";
    add("repeats", pattern);
    add("long", TextAndRuns(window + 40000, seed));
    // Several files in one folder, their ends inside blocks, with an empty one
    // and zero runs across multiples of small windows.
    CabFolder many{TcompQuantum(level, w), {}};
    for (int i = 0; i < 12; ++i)
        many.files.push_back({"part" + std::to_string(i),
                              i % 4 == 3
                                  ? std::string(static_cast<std::size_t>(i * 997), '\0')
                                  : Text(static_cast<std::size_t>(i * 4111 % 9000), seed + i)});
    many.files.push_back({"zeros1023", std::string(1023, '\0')});
    many.files.push_back({"zeros5000", std::string(5000, '\0')});
    folders.push_back(std::move(many));
    ExpectRoundTrip(folders);
}

INSTANTIATE_TEST_SUITE_P(Windows, QuantumWindowLevel,
                         ::testing::Combine(::testing::Range(10, 22), ::testing::Values(1, 4, 7)),
                         [](const auto& info) {
                             return "w" + std::to_string(std::get<0>(info.param)) + "_level" +
                                    std::to_string(std::get<1>(info.param));
                         });

// A match crossing a multiple of a small window while a file ends before it
// makes libmspack fail; the encoder must cut such matches.
TEST(QuantumRoundTrip, ZeroRunsAcrossSmallWindows) {
    std::vector<CabFolder> folders;
    for (int w = 10; w <= 15; ++w)
        for (int level : {1, 4, 7})
            folders.push_back(
                {TcompQuantum(level, w),
                 {{"a" + std::to_string(w) + "_" + std::to_string(level), std::string(1023, '\0')},
                  {"b" + std::to_string(w) + "_" + std::to_string(level),
                   std::string(5000, '\0')}}});
    ExpectRoundTrip(folders);
}

// Copies from exactly the window size back (the farthest offset there is) and
// from one byte farther, which must not be taken as a match.
TEST(QuantumRoundTrip, CopiesAtTheWindowsEdge) {
    std::vector<CabFolder> folders;
    for (int w : {10, 11, 12, 13, 14, 15, 16, 21}) {
        const std::size_t window = std::size_t{1} << w;
        std::string data = testutil::RandomBytes(window + 3000, static_cast<std::uint32_t>(w));
        for (int i = 0; i < 300; ++i)
            data.push_back(data[data.size() - window]);
        data += testutil::RandomBytes(100, 200 + static_cast<std::uint32_t>(w));
        for (int i = 0; i < 300; ++i)
            data.push_back(data[data.size() - window - 1]);
        for (int level : {1, 7})
            if (w < 21 || level == 1)
                folders.push_back(
                    {TcompQuantum(level, w),
                     {{"edge" + std::to_string(w) + "_" + std::to_string(level), data}}});
    }
    ExpectRoundTrip(folders);
}

// The binary trees of the priced levels order positions by the bytes that
// follow; near a block's end those bytes are not there yet. Text files in one
// folder with many block ends, searched deep, must keep every match real.
TEST(QuantumRoundTrip, DeepSearchesAcrossBlockEnds) {
    std::vector<CabFolder> folders;
    for (int level : {5, 6, 7}) {
        CabFolder f{TcompQuantum(level, 21), {}};
        for (int i = 0; i < 5; ++i)
            f.files.push_back({"text" + std::to_string(level) + "_" + std::to_string(i),
                               Text(120000 + 977 * static_cast<std::size_t>(i),
                                    50 + static_cast<std::uint32_t>(i))});
        folders.push_back(std::move(f));
    }
    ExpectRoundTrip(folders);
}

// Blocks of random bytes stay within the readers' payload limit.
TEST(QuantumRoundTrip, RandomBlocksStayWithinTheLimit) {
    std::string bytes;
    CabStats stats;
    ASSERT_TRUE(
        BuildCabinet({{TcompQuantum(7, 21), {{"random", testutil::RandomBytes(4 * 32768, 77)}}}},
                     bytes, &stats));
    EXPECT_EQ(stats.blocks, 4u);
    EXPECT_LE(stats.largestPayload, 38912u);
}

// Seeded inputs of random shape, each in a folder of its own with its own
// window and level, all in one cabinet; many tiny folders end their blocks at
// every bit position.
TEST(QuantumRoundTrip, StructuredRandomInputs) {
    // QUANTUM_SEED_BASE picks another set (for longer runs by hand).
    const char* baseText = std::getenv("QUANTUM_SEED_BASE");
    const std::uint32_t base = baseText ? static_cast<std::uint32_t>(std::atoi(baseText)) : 1;
    std::vector<CabFolder> folders;
    for (std::uint32_t seed = base; seed < base + 120; ++seed) {
        const int w = 10 + static_cast<int>(seed % 12);
        const int level = 1 + static_cast<int>(seed / 12 % 7);
        CabFolder f{TcompQuantum(level, w), {}};
        const int files = 1 + static_cast<int>(seed % 3);
        for (int k = 0; k < files; ++k)
            f.files.push_back({"case" + std::to_string(seed) + "_" + std::to_string(k),
                               lzxtest::Structured(seed * 7 + k, 60000 / files, 1u << w)});
        folders.push_back(std::move(f));
    }
    for (std::uint32_t i = 0; i < 64; ++i)
        folders.push_back({TcompQuantum(1 + static_cast<int>(i % 7), 10 + static_cast<int>(i % 12)),
                           {{"tiny" + std::to_string(i), testutil::RandomBytes(1 + i, base + i)}}});
    ExpectRoundTrip(folders);
}
