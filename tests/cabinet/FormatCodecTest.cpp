// The checksum, name flags and block codecs on their own.
#include "BlockCodecs.h"
#include "CabFormat.h"
#include "CodecFactory.h"
#include "TestUtil.h"

#include <gtest/gtest.h>
#include <zlib.h>

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

TEST(Checksum, TailBytesCountMostSignificantFirst) {
    std::uint8_t two[] = {0x12, 0x34};
    EXPECT_EQ(cab::Checksum(two, 2, 0), 0x1234u);
    std::uint8_t three[] = {0x12, 0x34, 0x56};
    EXPECT_EQ(cab::Checksum(three, 3, 0), 0x123456u);
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

// Inflates a folder's MSZIP blocks as the readers do: each block a complete
// raw deflate stream, the previous block's output as its window.
std::string InflateFolder(const std::vector<CompressedBlock>& blocks) {
    std::string out, window;
    for (const CompressedBlock& b : blocks) {
        EXPECT_GE(b.data.size(), 2u);
        EXPECT_EQ(b.data[0], 'C');
        EXPECT_EQ(b.data[1], 'K');
        z_stream z{};
        inflateInit2(&z, -15);
        if (!window.empty())
            inflateSetDictionary(&z, reinterpret_cast<const Bytef*>(window.data()),
                                 static_cast<uInt>(window.size()));
        std::string block(40000, '\0');
        z.next_in = const_cast<Bytef*>(b.data.data()) + 2;
        z.avail_in = static_cast<uInt>(b.data.size() - 2);
        z.next_out = reinterpret_cast<Bytef*>(block.data());
        z.avail_out = static_cast<uInt>(block.size());
        EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END);
        EXPECT_EQ(z.avail_in, 0u) << "bytes after the final block";
        block.resize(block.size() - z.avail_out);
        inflateEnd(&z);
        EXPECT_EQ(block.size(), b.uncompressedSize);
        window = block;
        out += block;
    }
    return out;
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

TEST(MsZipCodec, RoundTripsTextAndBinary) {
    auto c = cab::MakeMsZipCodec();
    std::string text;
    for (int i = 0; text.size() < 200000; ++i)
        text += "line " + std::to_string(i * 7 % 1000) + " of text\n";
    std::string data = text + testutil::RandomBytes(70000, 3) + std::string(50000, 'z');
    auto blocks = Compress(*c, data);
    ASSERT_EQ(blocks.size(), (data.size() + 32767) / 32768);
    EXPECT_EQ(InflateFolder(blocks), data);
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

TEST(MsZipCodec, ShortAndTinyBlocks) {
    for (std::size_t n : {1u, 2u, 100u, 32767u, 32768u, 32769u}) {
        auto c = cab::MakeMsZipCodec();
        std::string data = testutil::RandomBytes(n, static_cast<std::uint32_t>(n));
        EXPECT_EQ(InflateFolder(Compress(*c, data)), data) << n;
    }
}

TEST(MsZipCodec, RefusesEmptyAndOversizedBlocks) {
    auto c = cab::MakeMsZipCodec();
    c->BeginFolder();
    std::vector<std::uint8_t> big(cab::BlockSize + 1);
    EXPECT_FALSE(c->Put(big.data(), 0));
    EXPECT_FALSE(c->Put(big.data(), big.size()));
}

TEST(StoreCodec, BlocksAreTheBytes) {
    auto c = cab::MakeStoreCodec();
    std::string data = testutil::RandomBytes(40000, 9);
    auto blocks = Compress(*c, data);
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(std::string(blocks[0].data.begin(), blocks[0].data.end()), data.substr(0, 32768));
    EXPECT_EQ(blocks[1].uncompressedSize, 40000 - 32768);
}

TEST(CodecChoice, KnownAndUnknownCodes) {
    EXPECT_NE(cab::MakeCodec(0x0000), nullptr);
    EXPECT_NE(cab::MakeCodec(0x0001), nullptr);
    EXPECT_EQ(cab::MakeCodec(0x0002), nullptr); // Quantum
    EXPECT_EQ(cab::MakeCodec(0x0E03), nullptr); // LZX window below 15
    EXPECT_EQ(cab::MakeCodec(0x1603), nullptr); // LZX window above 21
    EXPECT_EQ(cab::MakeCodec(0x0101), nullptr); // MSZIP with a high byte
    EXPECT_EQ(cab::MakeCodec(0x0004), nullptr);
}

} // namespace
