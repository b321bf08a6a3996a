#include "uCRC32.h"

#include "uCRC32Paths.h"

#include <array>
#include <atomic>

namespace {

constexpr std::uint32_t kReflectedPoly = 0xEDB88320u;

// Table k gives the register contribution of a byte followed by k zero bytes; table 0 is
// the usual 256-entry table.
using SliceTables = std::array<std::array<std::uint32_t, 256>, 16>;

constexpr SliceTables MakeTables() {
    SliceTables t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c >> 1) ^ (kReflectedPoly & (0u - (c & 1u)));
        t[0][i] = c;
    }
    for (std::size_t k = 1; k < t.size(); ++k)
        for (std::size_t i = 0; i < 256; ++i)
            t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFFu];
    return t;
}

constexpr SliceTables kTables = MakeTables();
constexpr const std::array<std::uint32_t, 256>& Table = kTables[0];

static_assert(Table[1] == 0x77073096u && Table[255] == 0x2D02EF8Du);

} // namespace

std::uint32_t CrcUpdateByte(std::uint8_t b, std::uint32_t c) {
    return Table[(c ^ b) & 0xFFu] ^ (c >> 8);
}

namespace ucrc32 {

std::uint32_t UpdateBytewise(std::uint32_t c, std::size_t n, const void* bytes) {
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    for (std::size_t i = 0; i < n; ++i)
        c = Table[(c ^ p[i]) & 0xFFu] ^ (c >> 8);
    return c;
}

std::uint32_t UpdateSlice16(std::uint32_t c, std::size_t n, const void* bytes) {
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    const auto& t = kTables;
    // Bytes are read one by one, so the result does not depend on the CPU's byte order; the
    // compiler merges the reads where it can.
    while (n >= 16) {
        c = t[15][(c ^ p[0]) & 0xFFu] ^ t[14][((c >> 8) ^ p[1]) & 0xFFu] ^
            t[13][((c >> 16) ^ p[2]) & 0xFFu] ^ t[12][((c >> 24) ^ p[3]) & 0xFFu] ^ t[11][p[4]] ^
            t[10][p[5]] ^ t[9][p[6]] ^ t[8][p[7]] ^ t[7][p[8]] ^ t[6][p[9]] ^ t[5][p[10]] ^
            t[4][p[11]] ^ t[3][p[12]] ^ t[2][p[13]] ^ t[1][p[14]] ^ t[0][p[15]];
        p += 16;
        n -= 16;
    }
    if (n >= 8) {
        c = t[7][(c ^ p[0]) & 0xFFu] ^ t[6][((c >> 8) ^ p[1]) & 0xFFu] ^
            t[5][((c >> 16) ^ p[2]) & 0xFFu] ^ t[4][((c >> 24) ^ p[3]) & 0xFFu] ^ t[3][p[4]] ^
            t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
        p += 8;
        n -= 8;
    }
    if (n >= 4) {
        c = t[3][(c ^ p[0]) & 0xFFu] ^ t[2][((c >> 8) ^ p[1]) & 0xFFu] ^
            t[1][((c >> 16) ^ p[2]) & 0xFFu] ^ t[0][((c >> 24) ^ p[3]) & 0xFFu];
        p += 4;
        n -= 4;
    }
    return UpdateBytewise(c, n, p);
}

std::vector<Path> AllPaths() {
    return {{"bytewise", &UpdateBytewise, true},
            {"slice16", &UpdateSlice16, true},
            {"clmul128", &UpdateClmul128, HasClmul128()},
            {"vpclmul512", &UpdateVpclmul512, HasVpclmul512()}};
}

namespace {

const Path& BestPath() {
    // Chosen once; a function-local static is initialised exactly once even when several
    // threads arrive at the same time.
    static const Path best = [] {
        const std::vector<Path> all = AllPaths();
        for (auto it = all.rbegin(); it != all.rend(); ++it)
            if (it->available) return *it;
        return all.front();
    }();
    return best;
}

std::uint32_t ResolveAndUpdate(std::uint32_t c, std::size_t n, const void* bytes);

// Starts at the resolver; the first call replaces it with the chosen implementation. Every
// thread that races here stores the same value.
std::atomic<UpdateFn> active{&ResolveAndUpdate};

std::uint32_t ResolveAndUpdate(std::uint32_t c, std::size_t n, const void* bytes) {
    const UpdateFn fn = BestPath().update;
    active.store(fn, std::memory_order_relaxed);
    return fn(c, n, bytes);
}

} // namespace

const char* ActivePathName() {
    return BestPath().name;
}

} // namespace ucrc32

std::uint32_t CrcUpdate(std::uint32_t c, std::size_t n, const void* bytes) {
    return ucrc32::active.load(std::memory_order_relaxed)(c, n, bytes);
}
