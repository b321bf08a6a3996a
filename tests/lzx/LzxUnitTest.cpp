// The pieces of the LZX encoder on their own: Huffman code construction,
// bit order, position slots, call translation and the encoder's framing.
#include "LzxBitWriter.h"
#include "LzxCodec.h"
#include "LzxEncoder.h"
#include "LzxHuffman.h"
#include "LzxTables.h"

#include "LzxTestData.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace lzx;

namespace {

std::vector<std::uint32_t> Fibonacci(std::size_t n) {
    std::vector<std::uint32_t> f(n);
    std::uint32_t a = 1, b = 1;
    for (std::size_t i = 0; i < n; ++i) {
        f[i] = a;
        std::uint32_t c = a + b;
        a = b;
        b = c > 100000000 ? 100000000 : c;
    }
    return f;
}

int MaxLength(const std::vector<std::uint8_t>& l) {
    int m = 0;
    for (auto x : l)
        m = std::max<int>(m, x);
    return m;
}

std::vector<Payload> Encode(int w, const std::string& data, int forceE8 = -1) {
    Encoder e(w);
    e.ForceCallTranslation(forceE8);
    e.BeginFolder();
    std::vector<Payload> out;
    Payload p;
    for (std::size_t at = 0; at < data.size(); at += FrameSize) {
        const std::size_t n = std::min<std::size_t>(FrameSize, data.size() - at);
        EXPECT_TRUE(e.PutFrame(reinterpret_cast<const std::uint8_t*>(data.data()) + at, n));
        while (e.Take(p))
            out.push_back(std::move(p));
    }
    e.EndFolder();
    while (e.Take(p))
        out.push_back(std::move(p));
    return out;
}

// The decoder's side of call translation, to check ours against.
void UndoCalls(std::uint8_t* d, std::size_t n, std::uint32_t framePos, std::int32_t t) {
    if (n <= 10) return;
    for (std::size_t i = 0; i < n - 10;) {
        if (d[i] != 0xE8) {
            ++i;
            continue;
        }
        std::int32_t abs;
        std::memcpy(&abs, d + i + 1, 4);
        const std::int64_t cur = framePos + static_cast<std::int64_t>(i);
        if (abs >= -cur && abs < t) {
            std::int64_t rel = abs >= 0 ? abs - cur : abs + static_cast<std::int64_t>(t);
            std::int32_t r = static_cast<std::int32_t>(rel);
            std::memcpy(d + i + 1, &r, 4);
        }
        i += 5;
    }
}

} // namespace

TEST(LzxHuffman, SkewedFrequenciesStayWithinTheLimitAndComplete) {
    struct Case {
        std::size_t symbols;
        int limit;
    } cases[] = {{656, 16}, {249, 16}, {20, 15}, {8, 7}, {496, 16}};
    for (const Case& c : cases) {
        auto lens = BuildLengths(Fibonacci(c.symbols), c.limit);
        EXPECT_LE(MaxLength(lens), c.limit) << c.symbols;
        EXPECT_EQ(KraftSum(lens, c.limit), std::uint64_t{1} << c.limit) << c.symbols;
        for (auto l : lens)
            EXPECT_GT(l, 0);
    }
}

TEST(LzxHuffman, OptimalOnSmallInputs) {
    auto lens = BuildLengths({1, 1, 2, 4}, 16);
    EXPECT_EQ(lens, (std::vector<std::uint8_t>{3, 3, 2, 1}));
    lens = BuildLengths({5, 0, 5, 0}, 16);
    EXPECT_EQ(lens, (std::vector<std::uint8_t>{1, 0, 1, 0}));
    // The most frequent symbol never gets a longer code than a rarer one.
    auto skew = BuildLengths(Fibonacci(30), 7);
    for (std::size_t i = 1; i < skew.size(); ++i)
        EXPECT_LE(skew[i], skew[i - 1]);
}

TEST(LzxHuffman, OneOrNoSymbol) {
    auto lens = BuildLengths({0, 0, 7, 0}, 16);
    EXPECT_EQ(lens, (std::vector<std::uint8_t>{1, 0, 1, 0}));
    lens = BuildLengths({9, 0, 0}, 16);
    EXPECT_EQ(lens, (std::vector<std::uint8_t>{1, 1, 0}));
    lens = BuildLengths({0, 0, 0}, 16);
    EXPECT_EQ(lens, (std::vector<std::uint8_t>{0, 0, 0}));
}

TEST(LzxBits, WordsAreLittleEndianFilledFromTheTop) {
    BitWriter w;
    w.Put(0, 1);
    w.Put(3, 3);
    w.Align();
    EXPECT_EQ(w.TakeBytes(), (std::vector<std::uint8_t>{0x00, 0x30}));
    w.Put(0x1FFFF, 17);
    w.Align();
    EXPECT_EQ(w.TakeBytes(), (std::vector<std::uint8_t>{0xFF, 0xFF, 0x00, 0x80}));
}

TEST(LzxSlots, TableMatchesTheFormat) {
    EXPECT_EQ(SlotCount(15), 30);
    EXPECT_EQ(SlotCount(19), 38);
    EXPECT_EQ(SlotCount(20), 42);
    EXPECT_EQ(SlotCount(21), 50);
    EXPECT_EQ(Slots.base[4], 4u);
    EXPECT_EQ(Slots.base[30], 32768u);
    EXPECT_EQ(Slots.base[36], 262144u);
    EXPECT_EQ(Slots.base[49], 1966080u);
    for (int s = 0; s < MaxSlots; ++s) {
        EXPECT_EQ(SlotOf(Slots.base[s]), s);
        EXPECT_EQ(SlotOf(Slots.base[s + 1] - 1), s);
    }
    // The largest offset of each window needs exactly the slots it has.
    for (int w = MinWindowExponent; w <= MaxWindowExponent; ++w)
        EXPECT_EQ(SlotOf((1u << w) - 3 + 2), SlotCount(w) - 1) << w;
}

TEST(LzxCalls, TranslationIsUndoneByTheDecoderRule) {
    std::string s = testutil::RandomBytes(32768, 7);
    auto* d = reinterpret_cast<std::uint8_t*>(s.data());
    for (std::size_t i = 0; i + 5 < s.size(); i += 37) {
        d[i] = 0xE8;
        std::int32_t rel = static_cast<std::int32_t>(i % 3 == 0 ? -static_cast<int>(i) / 2 : i * 5);
        std::memcpy(d + i + 1, &rel, 4);
    }
    const std::string original = s;
    TranslateCalls(d, s.size(), 5 * 32768, 5, TranslationSize);
    EXPECT_NE(s, original);
    UndoCalls(d, s.size(), 5 * 32768, TranslationSize);
    EXPECT_EQ(s, original);
}

TEST(LzxCalls, OnlyWhereTheDecoderLooks) {
    // In a frame of 100 bytes the last E8 considered is at 89.
    std::string s(100, '\0');
    auto* d = reinterpret_cast<std::uint8_t*>(s.data());
    d[89] = 0xE8;
    TranslateCalls(d, s.size(), 1000, 0, TranslationSize);
    EXPECT_EQ(d[90], (1000 + 89) & 0xFF);
    EXPECT_EQ(d[91], (1000 + 89) >> 8);
    std::string late(100, '\0');
    late[90] = static_cast<char>(0xE8);
    std::string copy = late;
    TranslateCalls(reinterpret_cast<std::uint8_t*>(copy.data()), copy.size(), 1000, 0,
                   TranslationSize);
    EXPECT_EQ(copy, late);
    // Frames of 10 bytes or less and frames past the first 32768 stay as they are.
    std::string small(10, '\0');
    small[0] = static_cast<char>(0xE8);
    copy = small;
    TranslateCalls(reinterpret_cast<std::uint8_t*>(copy.data()), copy.size(), 1000, 0,
                   TranslationSize);
    EXPECT_EQ(copy, small);
    std::string early(100, '\0');
    early[0] = static_cast<char>(0xE8);
    copy = early;
    TranslateCalls(reinterpret_cast<std::uint8_t*>(copy.data()), copy.size(), 1000, 32768,
                   TranslationSize);
    EXPECT_EQ(copy, early);
    // The operand is skipped: an E8 inside it is not a call of its own.
    std::string chain(40, '\0');
    chain[0] = static_cast<char>(0xE8);
    chain[1] = static_cast<char>(0xE8);
    TranslateCalls(reinterpret_cast<std::uint8_t*>(chain.data()), chain.size(), 100, 0,
                   TranslationSize);
    EXPECT_EQ(static_cast<std::uint8_t>(chain[1]), (0xE8 + 100) & 0xFF);
    EXPECT_EQ(static_cast<std::uint8_t>(chain[2]), (0xE8 + 100) >> 8);
    EXPECT_EQ(chain[5], 0);
}

namespace {

// Chinese text in UTF-8: many E8 lead bytes that are not calls.
std::string Utf8Chinese(std::size_t n) {
    const char* chars[] = {"\xe8\xbf\x99", "\xe6\x98\xaf", "\xe8\xaf\xad", "\xe8\xa8\x80",
                           "\xe7\x9a\x84", "\xe4\xb8\xad", "\xe6\x96\x87", "\xe8\x80\x8c"};
    std::string s;
    for (std::size_t i = 0; s.size() < n; ++i)
        s += chars[(i * 7 + i / 3) % 8];
    s.resize(n);
    return s;
}

bool Want(const std::string& s) {
    return WantCallTranslation(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

} // namespace

TEST(LzxCalls, OffOnlyWhereE8BytesAreCommonButNotCalls) {
    EXPECT_TRUE(Want("\x7f"
                     "ELF" +
                     std::string(1000, 'x')));
    std::string code;
    for (int i = 0; i < 3000; ++i)
        code += std::string("\x55\x89\xE5\xE8\x10\x20\x00\x00\x5D\xC3", 10);
    EXPECT_TRUE(Want(code));
    std::string text;
    while (text.size() < 32768)
        text += "The quick brown fox jumps over the lazy dog. ";
    EXPECT_TRUE(Want(text));
    EXPECT_TRUE(Want(testutil::RandomBytes(32768, 3)));
    EXPECT_FALSE(Want(Utf8Chinese(32768)));
}

TEST(LzxEncoderFraming, TinyInputIsOneUncompressedBlock) {
    // Header bit 0 (no call translation), block type 3, size 5, padding, then
    // R0..R2 = 1, the bytes and a pad byte for the odd size.
    auto out = Encode(15, "Hello", 0);
    ASSERT_EQ(out.size(), 1u);
    const std::vector<std::uint8_t> expected = {
        0x00, 0x30, 0x50, 0x00, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 'H', 'e', 'l', 'l', 'o', 0};
    EXPECT_EQ(out[0].data, expected);
    EXPECT_EQ(out[0].uncompressedSize, 5u);
}

TEST(LzxEncoderFraming, OnePayloadPerFrameWithinTheReadersLimit) {
    std::string data = testutil::RandomBytes(100000, 11);
    std::string text;
    while (text.size() < 150000)
        text += "one two three four five six seven " + std::to_string(text.size());
    data += text;
    for (int w : {15, 21}) {
        auto out = Encode(w, data);
        ASSERT_EQ(out.size(), (data.size() + FrameSize - 1) / FrameSize);
        std::size_t total = 0;
        for (std::size_t i = 0; i < out.size(); ++i) {
            EXPECT_LE(out[i].data.size(), 38912u);
            EXPECT_EQ(out[i].data.size() % 2, 0u) << "frames end on whole words";
            EXPECT_EQ(out[i].uncompressedSize,
                      i + 1 < out.size() ? FrameSize : data.size() % FrameSize);
            total += out[i].data.size();
        }
        EXPECT_LT(total, data.size() - text.size() / 2);
    }
}

TEST(LzxEncoderFraming, CallTranslationFlagFollowsTheFirstFrame) {
    std::string elf = "\x7f"
                      "ELF" +
                      testutil::RandomBytes(40000, 5);
    auto out = Encode(16, elf);
    ASSERT_FALSE(out.empty());
    EXPECT_TRUE(out[0].data[1] & 0x80) << "translation on for machine code";
    out = Encode(16, Utf8Chinese(40000));
    ASSERT_FALSE(out.empty());
    EXPECT_FALSE(out[0].data[1] & 0x80);
}

namespace {

// Type of the first block of a folder, read from its first payload.
int FirstBlockType(const std::vector<std::uint8_t>& payload) {
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i + 1 < payload.size() && i < 8; i += 2) {
        bits = (bits << 16) | payload[i] | (payload[i + 1] << 8);
        if (i == 2) break;
    }
    // bits holds the first 32 bits: E8 flag, then the block type (with the
    // flag set, the type follows the 32-bit translation size).
    if (bits >> 31) {
        std::uint32_t word = payload[4] | (payload[5] << 8);
        return static_cast<int>((word >> 12) & 7);
    }
    return static_cast<int>((bits >> 28) & 7);
}

} // namespace

TEST(LzxEncoderFraming, BlockTypeFollowsTheData) {
    for (int e8 : {0, 1}) {
        auto text = Encode(17, lzxtest::Text(100000, 3), e8);
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(FirstBlockType(text[0].data), Verbatim) << e8;
        auto records = Encode(17, lzxtest::Records(200000, 4), e8);
        ASSERT_FALSE(records.empty());
        EXPECT_EQ(FirstBlockType(records[0].data), Aligned) << e8;
        auto noise = Encode(17, testutil::RandomBytes(50000, 5), e8);
        ASSERT_FALSE(noise.empty());
        EXPECT_EQ(FirstBlockType(noise[0].data), Uncompressed) << e8;
        EXPECT_LE(noise[0].data.size(), 32768u + 20);
    }
}

TEST(LzxEncoderFraming, FoldersAreIndependentAndDeterministic) {
    std::string data =
        testutil::RandomBytes(20000, 1) + std::string(50000, 'z') + testutil::RandomBytes(20000, 1);
    Encoder e(17);
    std::vector<std::vector<std::uint8_t>> first, second;
    for (auto* sink : {&first, &second}) {
        e.BeginFolder();
        for (std::size_t at = 0; at < data.size(); at += FrameSize)
            ASSERT_TRUE(e.PutFrame(reinterpret_cast<const std::uint8_t*>(data.data()) + at,
                                   std::min<std::size_t>(FrameSize, data.size() - at)));
        e.EndFolder();
        Payload p;
        while (e.Take(p))
            sink->push_back(p.data);
    }
    EXPECT_EQ(first, second);
}

TEST(LzxEncoderFraming, RefusesMisshapenInput) {
    Encoder e(15);
    e.BeginFolder();
    std::string s(100, 'q');
    EXPECT_TRUE(e.PutFrame(reinterpret_cast<const std::uint8_t*>(s.data()), s.size()));
    EXPECT_FALSE(e.PutFrame(reinterpret_cast<const std::uint8_t*>(s.data()), s.size()));
    std::string big(FrameSize + 1, 'q');
    e.BeginFolder();
    EXPECT_FALSE(e.PutFrame(reinterpret_cast<const std::uint8_t*>(big.data()), big.size()));
    EXPECT_EQ(cab::MakeLzxCodec(14), nullptr);
    EXPECT_EQ(cab::MakeLzxCodec(22), nullptr);
    for (int w = 15; w <= 21; ++w)
        EXPECT_NE(cab::MakeLzxCodec(w), nullptr);
}
