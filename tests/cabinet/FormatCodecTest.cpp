// The checksum, name flags and block codecs on their own.
#include "CabFormat.h"
#include "CabImage.h"
#include "MsZipCodec.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

namespace {

using cab::CompressedBlock;

std::vector<std::uint8_t> Bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

TEST(Checksum, WorkedExamples) {
    auto a = Bytes("ABCDEFG");
    EXPECT_EQ(cab::Checksum(a.data(), a.size(), 0), 0x44060406u);
    EXPECT_EQ(cab::DataBlockChecksum(a.data(), 7, 7), 0x44010401u);
    auto b = Bytes("Hello, world!\nSecond file\n");
    EXPECT_EQ(cab::DataBlockChecksum(b.data(), 26, 26), 0x126E5D3Au);
}

TEST(NameFlags, Utf8OnlyWithHighBytes) {
    EXPECT_FALSE(cab::IsUtf8WithHighBytes("plain.txt"));
    EXPECT_TRUE(cab::IsUtf8WithHighBytes("gr\xC3\xBC\xC3\x9F.txt"));
    EXPECT_TRUE(cab::IsUtf8WithHighBytes("\xF0\x9F\x98\x80"));
    EXPECT_FALSE(cab::IsUtf8WithHighBytes("latin\xFC.txt")); // a lone high byte
    EXPECT_FALSE(cab::IsUtf8WithHighBytes("\xC0\xAF"));      // overlong
    EXPECT_FALSE(cab::IsUtf8WithHighBytes("\xED\xA0\x80"));  // surrogate
    EXPECT_FALSE(cab::IsUtf8WithHighBytes("cut\xE2\x82"));   // truncated
}

std::string InflateFolder(const std::vector<CompressedBlock>& blocks) {
    std::vector<std::string> payloads, problems;
    std::vector<std::uint16_t> sizes;
    for (const CompressedBlock& b : blocks) {
        payloads.emplace_back(b.data.begin(), b.data.end());
        sizes.push_back(b.uncompressedSize);
    }
    std::string data = cabtest::InflateMsZip(payloads, sizes, problems);
    EXPECT_TRUE(problems.empty()) << problems.front();
    return data;
}

std::vector<CompressedBlock> Compress(cab::Codec& c, const std::string& data) {
    std::vector<CompressedBlock> blocks;
    c.BeginFolder();
    for (std::size_t i = 0; i < data.size(); i += cab::BlockSize) {
        std::size_t n = std::min(cab::BlockSize, data.size() - i);
        EXPECT_TRUE(c.Put(reinterpret_cast<const std::uint8_t*>(data.data()) + i, n));
    }
    EXPECT_TRUE(c.EndFolder());
    CompressedBlock b;
    while (c.Take(b))
        blocks.push_back(b);
    return blocks;
}

TEST(MsZipCodec, RefersBackIntoThePreviousBlock) {
    // The second block begins with 20000 bytes of the first: with the history
    // they cost almost nothing.
    std::string first = testutil::RandomBytes(32768, 11);
    std::string second = first.substr(12768) + testutil::RandomBytes(12768, 12);
    auto c = cab::MakeMsZipCodec();
    auto blocks = Compress(*c, first + second);
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_LT(blocks[1].data.size(), 12768u + 1000u);
    EXPECT_EQ(InflateFolder(blocks), first + second);
}

TEST(MsZipCodec, NewFolderForgetsTheOldOne) {
    std::string chunk = testutil::RandomBytes(32768, 12);
    auto c = cab::MakeMsZipCodec();
    Compress(*c, chunk);
    auto again = Compress(*c, chunk); // must not refer to the previous folder
    EXPECT_EQ(InflateFolder(again), chunk);
    EXPECT_GT(again[0].data.size(), 32768u);
}

TEST(MsZipCodec, IncompressibleDataIsStoredWithinTheBound) {
    auto c = cab::MakeMsZipCodec();
    std::string data = testutil::RandomBytes(5 * 32768 + 123, 5);
    auto blocks = Compress(*c, data);
    for (const auto& b : blocks)
        EXPECT_LE(b.data.size(), b.uncompressedSize + 7u);
    EXPECT_EQ(InflateFolder(blocks), data);
}

} // namespace
