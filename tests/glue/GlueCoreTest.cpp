// The joiner's operating-system-free parts: CRC-32, name patterns, data block.
#include "gluecore.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>
#include <zlib.h>

namespace {

std::string Expand(const char* pattern, unsigned zeros, uint64_t m,
                   const char* source = "/clips/movie.avi") {
    char out[256];
    if (glue_expand(pattern, zeros, m, source, out, sizeof out) < 0) return "<too long>";
    return out;
}

// A block as the split engine writes it, with lines joined by CR LF.
std::string Block(const std::vector<std::string>& lines) {
    std::string b;
    for (const auto& l : lines)
        b += l + "\r\n";
    return b;
}

std::vector<std::string> Lines(const std::string& offset, const std::string& crcFlag,
                               const std::vector<std::string>& tail) {
    std::vector<std::string> l{
        "2", offset, "Job", "/home/ann/movie.avi", "30", crcFlag, "Title", "1", "out", "bye", "3"};
    l.insert(l.end(), tail.begin(), tail.end());
    return l;
}

// The block with its offset line pointing just past itself, from base on.
std::string WithOffset(uint64_t base, const std::string& crcFlag,
                       const std::vector<std::string>& tail) {
    std::string off = "0";
    for (int i = 0; i < 4; i++)
        off = std::to_string(base + Block(Lines(off, crcFlag, tail)).size());
    return Block(Lines(off, crcFlag, tail));
}

struct Parsed {
    int rc;
    std::string why;
    GlueData d;
    Parsed(const std::string& bytes, uint64_t base) {
        const char* w = "";
        rc = glue_parse(bytes.data(), bytes.size(), base, &d, &w);
        why = w;
    }
    ~Parsed() { glue_free(&d); }
    Parsed(const Parsed&) = delete;
};

TEST(GlueCrc, StandardCheckValues) {
    EXPECT_EQ(~glue_crc_update(0xFFFFFFFFu, "123456789", 9), 0xCBF43926u);
    EXPECT_EQ(~glue_crc_update(0xFFFFFFFFu, "abc", 3), 891568578u);
    EXPECT_EQ(glue_crc_update(0x1234u, "", 0), 0x1234u);
    // Every length and alignment, in one call and split at every point, as zlib has it.
    std::string bytes(259, 0);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7 + 3);
    for (std::size_t from = 0; from < 5; ++from) {
        for (std::size_t n = 0; from + n <= bytes.size(); n += 1 + n / 8) {
            const char* p = bytes.data() + from;
            uint32_t want = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(p), n));
            ASSERT_EQ(~glue_crc_update(0xFFFFFFFFu, p, n), want) << from << " " << n;
            for (std::size_t cut = 0; cut <= n; cut += 3)
                ASSERT_EQ(~glue_crc_update(glue_crc_update(0xFFFFFFFFu, p, cut), p + cut, n - cut),
                          want);
        }
    }
}

TEST(GlueNames, ZeroCountWritesThePlainNumber) {
    EXPECT_EQ(Expand("\\.*", 0, 1), "movie.1");
    EXPECT_EQ(Expand("\\.*", 0, 123), "movie.123");
}

TEST(GlueNames, PadsToCountPlusOneAndNeverDropsDigits) {
    EXPECT_EQ(Expand("\\.*", 2, 1), "movie.001");
    EXPECT_EQ(Expand("\\.*", 2, 123), "movie.123");
    EXPECT_EQ(Expand("\\.*", 2, 1234), "movie.1234");
    EXPECT_EQ(Expand("\\.*", 1, 100), "movie.100");
    EXPECT_EQ(Expand("*-*", 1, 7), "07-07");
}

TEST(GlueNames, SlashAndBackslashTakeExtensionAndName) {
    EXPECT_EQ(Expand("\\*./", 2, 1), "movie001.avi");
    EXPECT_EQ(Expand("\\*./", 2, 1, "/home/ann/clips/movie.avi"), "movie001.avi");
    EXPECT_EQ(Expand("\\./", 0, 1, "/home/ann/README"), "README.");
    EXPECT_STREQ(glue_last_component("/home/ann/"), "");
    // Names are split where the split engine of the same platform splits them.
#ifdef _WIN32
    EXPECT_EQ(Expand("\\_/", 0, 1, "C:\\a.b/c\\archive.tar.gz"), "archive.tar_gz");
    EXPECT_STREQ(glue_last_component("D:\\clips/x\\movie.avi"), "movie.avi");
#else
    EXPECT_EQ(Expand("\\_/", 0, 1, "C:\\a.b/c\\archive.tar.gz"), "c\\archive.tar_gz");
    EXPECT_STREQ(glue_last_component("D:\\clips/x\\movie.avi"), "x\\movie.avi");
#endif
}

TEST(GlueNames, TooLongNameIsRefused) {
    char out[8];
    EXPECT_EQ(glue_expand("\\.*", 2, 1, "movie.avi", out, sizeof out), -1);
    EXPECT_EQ(glue_expand("abcd*", 2, 1, "x", out, sizeof out), 7);
    EXPECT_STREQ(out, "abcd001");
    EXPECT_EQ(glue_expand("abcde*", 2, 1, "x", out, sizeof out), -1);
}

TEST(GlueNames, PiecesBeyondTheLastLineReuseIt) {
    Parsed p(Block(Lines("0", "0", {"2", "first.*", "\\.*", "$", "$"})), 0);
    ASSERT_EQ(p.rc, 0) << p.why;
    EXPECT_STREQ(glue_pattern(&p.d, 1), "first.*");
    EXPECT_STREQ(glue_pattern(&p.d, 2), "\\.*");
    EXPECT_STREQ(glue_pattern(&p.d, 9), "\\.*");
}

TEST(GlueData, ReadsEveryField) {
    uint64_t base = 5000;
    std::string b = WithOffset(base, "1", {" 2 ", "\\.*", "$", "1", "22", "4294967295", "$"});
    Parsed p(b + "piece bytes", base);
    ASSERT_EQ(p.rc, 0) << p.why;
    EXPECT_EQ(p.d.k, 2u);
    EXPECT_EQ(p.d.block_end, base + b.size());
    EXPECT_TRUE(p.d.offset_agrees);
    EXPECT_STREQ(p.d.title, "Job");
    EXPECT_STREQ(p.d.source, "/home/ann/movie.avi");
    EXPECT_EQ(p.d.source_size, 30u);
    EXPECT_TRUE(p.d.has_crc);
    EXPECT_STREQ(p.d.setting[0], "Title");
    EXPECT_STREQ(p.d.setting[3], "bye");
    EXPECT_EQ(p.d.pieces, 3u);
    EXPECT_EQ(p.d.zeros, 2u);
    EXPECT_EQ(p.d.name_count, 2u);
    EXPECT_EQ(p.d.crc[1], 22u);
    EXPECT_EQ(p.d.crc[2], 4294967295u);
}

TEST(GlueData, DollarAsPatternIsReadThroughTheOffset) {
    // Read by structure alone, the first "$" would end the names too early.
    Parsed p(WithOffset(100, "0", {"0", "a", "$", "b", "$", "$"}), 100);
    ASSERT_EQ(p.rc, 0) << p.why;
    EXPECT_TRUE(p.d.offset_agrees);
    EXPECT_EQ(p.d.name_count, 4u);
    EXPECT_STREQ(glue_pattern(&p.d, 2), "$");
    EXPECT_STREQ(glue_pattern(&p.d, 5), "b");
}

TEST(GlueData, WrongOffsetFallsBackToTheStructure) {
    std::string b = Block(Lines("99999", "0", {"2", "\\.*", "$", "$"}));
    Parsed p(b + "\r\n$\r\nmore", 10);
    ASSERT_EQ(p.rc, 0) << p.why;
    EXPECT_FALSE(p.d.offset_agrees);
    EXPECT_EQ(p.d.block_end, 10 + b.size());
}

TEST(GlueData, RejectsUnsoundBlocks) {
    auto bad = [](const std::vector<std::string>& lines) {
        Parsed p(Block(lines), 0);
        return p.rc;
    };
    // checksum count differs from the pieces
    EXPECT_EQ(bad(Lines("0", "1", {"2", "\\.*", "$", "1", "2", "$"})), -1);
    // flag other than 1 or 0
    EXPECT_EQ(bad(Lines("0", "2", {"2", "\\.*", "$", "$"})), -1);
    // no final "$"
    EXPECT_EQ(bad(Lines("0", "0", {"2", "\\.*", "$"})), -1);
    // no pattern line
    EXPECT_EQ(bad(Lines("0", "0", {"2", "$", "$"})), -1);
    // count of zeros not a number
    EXPECT_EQ(bad(Lines("0", "0", {"x", "\\.*", "$", "$"})), -1);
    // carried piece beyond the last one
    auto l = Lines("0", "0", {"2", "\\.*", "$", "$"});
    l[0] = "4";
    EXPECT_EQ(bad(l), -1);
    // more pieces than bytes
    l[0] = "0";
    l[4] = "2";
    EXPECT_EQ(bad(l), -1);
    // not terminated by a line end
    std::string b = Block(Lines("0", "0", {"2", "\\.*", "$", "$"}));
    b.pop_back();
    Parsed p(b, 0);
    EXPECT_EQ(p.rc, -1);
}

} // namespace
