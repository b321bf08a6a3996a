#include "uCRC32.h"
#include "uCRC32Paths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace ucrc32 {
// Test names and messages show the path by its name.
void PrintTo(const Path& path, std::ostream* os) {
    *os << path.name;
}
} // namespace ucrc32

namespace {

// The register update shifted one bit at a time, written from the polynomial alone, so it
// shares nothing with the tables or the folding constants.
std::uint32_t BitwiseCrc(std::uint32_t c, const std::uint8_t* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k)
            c = (c & 1u) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    }
    return c;
}

std::vector<std::uint8_t> RandomBytes(std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> v(n);
    for (auto& b : v)
        b = static_cast<std::uint8_t>(rng());
    return v;
}

std::uint32_t Checksum(const std::string& s) {
    return CrcFinish(CrcUpdate(0xFFFFFFFFu, s.size(), s.data()));
}

// ---- the public routines -------------------------------------------------------------------

TEST(Crc, CheckValues) {
    EXPECT_EQ(Checksum("123456789"), 0xCBF43926u);
    EXPECT_EQ(Checksum("abc"), 0x352441C2u);
    EXPECT_EQ(Checksum("abc"), 891568578u);
    EXPECT_EQ(Checksum("a"), 0xE8B7BE43u);
    EXPECT_EQ(Checksum("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
}

TEST(Crc, FinishInvertsAllBits) {
    EXPECT_EQ(CrcFinish(0xFFFFFFFFu), 0u);
    EXPECT_EQ(CrcFinish(0u), 0xFFFFFFFFu);
    EXPECT_EQ(CrcFinish(0x12345678u), 0xEDCBA987u);
}

TEST(Crc, UpdateByteMatchesBitwiseForEveryByte) {
    const std::uint32_t registers[] = {0u, 0xFFFFFFFFu, 0x12345678u, 0x80000001u, 0xDEADBEEFu};
    for (std::uint32_t c : registers)
        for (unsigned b = 0; b < 256; ++b) {
            const auto byte = static_cast<std::uint8_t>(b);
            ASSERT_EQ(CrcUpdateByte(byte, c), BitwiseCrc(c, &byte, 1)) << b << " " << c;
        }
}

TEST(Crc, TableEntries) {
    EXPECT_EQ(CrcUpdateByte(0, 0), 0u);
    EXPECT_EQ(CrcUpdateByte(1, 0), 0x77073096u);
    EXPECT_EQ(CrcUpdateByte(0x80, 0), 0xEDB88320u);
    EXPECT_EQ(CrcUpdateByte(0xFF, 0), 0x2D02EF8Du);
}

TEST(Crc, NoBytesLeavesRegisterUnchanged) {
    const std::uint8_t byte = 0x5A;
    for (std::uint32_t c : {0u, 1u, 0xFFFFFFFFu, 0xABCD0123u}) {
        EXPECT_EQ(CrcUpdate(c, 0, &byte), c);
        EXPECT_EQ(CrcUpdate(c, 0, nullptr), c);
    }
}

TEST(Crc, UpdateMatchesUpdateByte) {
    const auto data = RandomBytes(5000, 1);
    for (std::size_t n : {1u, 15u, 16u, 17u, 63u, 64u, 255u, 256u, 257u, 1000u, 4999u, 5000u}) {
        std::uint32_t c = 0xFFFFFFFFu;
        for (std::size_t i = 0; i < n; ++i)
            c = CrcUpdateByte(data[i], c);
        EXPECT_EQ(CrcUpdate(0xFFFFFFFFu, n, data.data()), c) << n;
    }
}

TEST(Crc, AppendedChecksumLeavesTheResidue) {
    // A message followed by its own checksum, least significant byte first, always ends
    // with the same register.
    for (std::size_t n : {0u, 1u, 9u, 100u, 4096u, 70001u}) {
        auto data = RandomBytes(n + 4, static_cast<std::uint32_t>(n));
        const std::uint32_t crc = CrcFinish(CrcUpdate(0xFFFFFFFFu, n, data.data()));
        for (int i = 0; i < 4; ++i)
            data[n + i] = static_cast<std::uint8_t>(crc >> (8 * i));
        EXPECT_EQ(CrcUpdate(0xFFFFFFFFu, n + 4, data.data()), 0xDEBB20E3u) << n;
    }
}

TEST(Crc, ActivePathIsTheFastestAvailable) {
    const auto paths = ucrc32::AllPaths();
    std::string best;
    for (const auto& p : paths)
        if (p.available) best = p.name;
    EXPECT_EQ(best, ucrc32::ActivePathName());
    ASSERT_GE(paths.size(), 2u);
    EXPECT_TRUE(paths[0].available);
    EXPECT_TRUE(paths[1].available);
}

TEST(Crc, FirstUseFromManyThreadsAtOnce) {
    // Each test runs in a process of its own, so this is the first call of CrcUpdate here.
    const auto data = RandomBytes(100000, 7);
    const std::uint32_t expected = BitwiseCrc(0xFFFFFFFFu, data.data(), data.size());
    std::vector<std::uint32_t> results(8);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < results.size(); ++t)
        threads.emplace_back(
            [&, t] { results[t] = CrcUpdate(0xFFFFFFFFu, data.size(), data.data()); });
    for (auto& th : threads)
        th.join();
    for (std::uint32_t r : results)
        EXPECT_EQ(r, expected);
}

// ---- every implementation, forced ----------------------------------------------------------

class CrcPath : public ::testing::TestWithParam<ucrc32::Path> {
  protected:
    void SetUp() override {
        if (!GetParam().available) GTEST_SKIP() << GetParam().name << ": not on this CPU";
    }
    std::uint32_t Update(std::uint32_t c, std::size_t n, const void* p) const {
        return GetParam().update(c, n, p);
    }
};

TEST_P(CrcPath, CheckValues) {
    const std::string s = "123456789";
    EXPECT_EQ(CrcFinish(Update(0xFFFFFFFFu, s.size(), s.data())), 0xCBF43926u);
    EXPECT_EQ(CrcFinish(Update(0xFFFFFFFFu, 3, "abc")), 0x352441C2u);
    EXPECT_EQ(Update(0x1234u, 0, nullptr), 0x1234u);
}

TEST_P(CrcPath, AllLengthsAndAlignmentsAgainstBitwise) {
    // Lengths 0..640 start at every offset 0..15 of an aligned block, with a random start
    // register, so every tail length meets every alignment and every fold width.
    const auto data = RandomBytes(640 + 64, 11);
    std::mt19937 rng(3);
    for (std::size_t offset = 0; offset < 16; ++offset)
        for (std::size_t n = 0; n <= 640; ++n) {
            const std::uint32_t c = static_cast<std::uint32_t>(rng());
            const std::uint8_t* p = data.data() + offset;
            ASSERT_EQ(Update(c, n, p), BitwiseCrc(c, p, n)) << "offset " << offset << " n " << n;
        }
}

TEST_P(CrcPath, SpecialRegistersAndContents) {
    // Zero and all-ones data and registers, where a lost start register would not show in
    // a random test as easily.
    for (std::uint8_t fill : {std::uint8_t{0x00}, std::uint8_t{0xFF}, std::uint8_t{0x80}}) {
        const std::vector<std::uint8_t> data(1500, fill);
        for (std::uint32_t c : {0u, 0xFFFFFFFFu, 1u, 0x80000000u})
            for (std::size_t n : {16u, 17u, 31u, 64u, 100u, 256u, 300u, 1024u, 1500u})
                ASSERT_EQ(Update(c, n, data.data()), BitwiseCrc(c, data.data(), n))
                    << int(fill) << " " << c << " " << n;
    }
}

TEST_P(CrcPath, SplitUpdatesEqualOneUpdate) {
    const auto data = RandomBytes(20000, 5);
    const std::uint32_t whole = BitwiseCrc(0xFFFFFFFFu, data.data(), data.size());
    std::mt19937 rng(9);
    for (int round = 0; round < 200; ++round) {
        std::uint32_t c = 0xFFFFFFFFu;
        std::size_t pos = 0;
        while (pos < data.size()) {
            // Mostly short pieces, some long, so the pieces cross every path boundary.
            std::size_t len = (rng() % 4 == 0) ? rng() % 3000 : rng() % 70;
            len = std::min(len, data.size() - pos);
            c = Update(c, len, data.data() + pos);
            pos += len;
        }
        ASSERT_EQ(c, whole) << "round " << round;
    }
}

TEST_P(CrcPath, BlockBoundaries) {
    const auto data = RandomBytes(8192 + 32, 13);
    for (std::size_t base : {16u, 32u, 48u, 64u, 128u, 192u, 256u, 320u, 512u, 1024u, 4096u, 8192u})
        for (std::size_t n = base - 3; n <= base + 3 && n <= 8192 + 17; ++n)
            for (std::size_t offset : {0u, 1u, 7u, 15u}) {
                const std::uint8_t* p = data.data() + offset;
                ASSERT_EQ(Update(0xFFFFFFFFu, n, p), BitwiseCrc(0xFFFFFFFFu, p, n))
                    << "n " << n << " offset " << offset;
            }
}

TEST_P(CrcPath, IgnoresBytesOutsideTheRange) {
    // Some paths re-read bytes near the end of the range; nothing outside it may count.
    auto data = RandomBytes(2000, 17);
    for (std::size_t n : {16u, 17u, 20u, 31u, 33u, 47u, 65u, 79u, 255u, 257u, 333u, 1000u}) {
        const std::size_t start = 500;
        const std::uint32_t before = Update(0xFFFFFFFFu, n, data.data() + start);
        for (std::size_t i = 0; i < data.size(); ++i)
            if (i < start || i >= start + n) data[i] ^= 0xA5;
        EXPECT_EQ(Update(0xFFFFFFFFu, n, data.data() + start), before) << n;
    }
}

TEST_P(CrcPath, BuffersOfExactSize) {
    // Each buffer is allocated with exactly its length, so a read past either end shows
    // under the address sanitizer.
    std::mt19937 rng(19);
    for (std::size_t n = 1; n <= 700; ++n) {
        std::vector<std::uint8_t> exact(n);
        for (auto& b : exact)
            b = static_cast<std::uint8_t>(rng());
        ASSERT_EQ(Update(0xFFFFFFFFu, n, exact.data()), BitwiseCrc(0xFFFFFFFFu, exact.data(), n))
            << n;
    }
}

TEST_P(CrcPath, LargeBufferAgainstBytewise) {
    // 8 MiB plus an odd tail, from an odd address.
    const auto data = RandomBytes((8u << 20) + 77 + 3, 21);
    const std::uint8_t* p = data.data() + 3;
    const std::size_t n = data.size() - 3;
    const std::uint32_t expected = ucrc32::UpdateBytewise(0xFFFFFFFFu, n, p);
    EXPECT_EQ(Update(0xFFFFFFFFu, n, p), expected);
    EXPECT_EQ(CrcUpdate(0xFFFFFFFFu, n, p), expected);
    EXPECT_EQ(expected, BitwiseCrc(0xFFFFFFFFu, p, n));
}

TEST_P(CrcPath, AgreesWithOtherPathsOnRandomSizes) {
    const auto data = RandomBytes(300000, 23);
    std::mt19937 rng(29);
    for (int i = 0; i < 100; ++i) {
        const std::size_t offset = rng() % 64;
        const std::size_t n = rng() % (data.size() - offset);
        const std::uint32_t c = static_cast<std::uint32_t>(rng());
        ASSERT_EQ(Update(c, n, data.data() + offset),
                  ucrc32::UpdateSlice16(c, n, data.data() + offset))
            << n;
    }
}

std::string PathName(const ::testing::TestParamInfo<ucrc32::Path>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Each, CrcPath, ::testing::ValuesIn(ucrc32::AllPaths()), PathName);

} // namespace
