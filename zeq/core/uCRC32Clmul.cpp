// CRC-32 by folding with carry-less multiplication.
//
// Bytes are loaded little-endian, so bit i of a 128-bit lane is the coefficient of x^(127-i)
// of that lane's polynomial: the lane holds the polynomial bit-reversed. Multiplying two
// bit-reversed values of a and b bits with PCLMULQDQ gives their bit-reversed product of
// a+b-1 bits. A lane A = H*x^64 + L (H in the low quadword) that lies F bits ahead of later
// data is moved over them as
//     A*x^F = H*x^(F+64) + L*x^F  ==  H*(x^(F+32) mod P)*x^32 + L*(x^(F-32) mod P)*x^32,
// two 64x33-bit products whose bit-reversed 96-bit results already carry the factor x^32.
// Each fold therefore needs the pair of constants (x^(F+32) mod P, x^(F-32) mod P), reversed
// into 33 bits. The last 128 bits are brought down to 64 with two such products and to the
// 32-bit register by Barrett reduction with mu = floor(x^64 / P).
//
// All constants are computed below at compile time from P itself.
#include "uCRC32Paths.h"

#if defined(__x86_64__) && defined(__GNUC__)

#include <immintrin.h>

namespace {

// P = x^32 + x^26 + ... + 1, most significant bit = highest power.
constexpr std::uint64_t kPoly = 0x104C11DB7ull;

// x^e mod P, most significant bit = highest power.
consteval std::uint32_t XPowMod(unsigned e) {
    std::uint64_t r = 1;
    for (unsigned i = 0; i < e; ++i) {
        r <<= 1;
        if (r >> 32) r ^= kPoly;
    }
    return static_cast<std::uint32_t>(r);
}

// floor(x^64 / P), a polynomial of degree 32.
consteval std::uint64_t BarrettMu() {
    std::uint64_t rem = 0;
    std::uint64_t q = 0;
    for (int i = 64; i >= 0; --i) {
        rem = (rem << 1) | (i == 64 ? 1u : 0u);
        if ((rem >> 32) & 1u) {
            q |= std::uint64_t{1} << i;
            rem ^= kPoly;
        }
    }
    return q;
}

// Reverses the lowest `bits` bits of v.
consteval std::uint64_t Reverse(std::uint64_t v, int bits) {
    std::uint64_t r = 0;
    for (int i = 0; i < bits; ++i)
        if ((v >> i) & 1u) r |= std::uint64_t{1} << (bits - 1 - i);
    return r;
}

// Multiplier for the quadword that holds the earlier (higher) half of a lane moved F bits.
consteval std::uint64_t KEarly(unsigned f) {
    return Reverse(XPowMod(f + 32), 33);
}
// Multiplier for the later (lower) half.
consteval std::uint64_t KLate(unsigned f) {
    return Reverse(XPowMod(f - 32), 33);
}

constexpr std::uint64_t kMu33 = Reverse(BarrettMu(), 33);
constexpr std::uint64_t kPoly33 = Reverse(kPoly & 0xFFFFFFFFu, 33); // P without x^32

static_assert(BarrettMu() == 0x104D101DFull);
static_assert(kPoly33 == (std::uint64_t{0xEDB88320u} << 1));
// A single byte 01 is the polynomial x^7, so its register is x^39 mod P, reversed: table entry 1.
static_assert(Reverse(XPowMod(39), 32) == 0x77073096u);

// pshufb selectors: 16 bytes read at offset s shift a lane by 16 - s bytes towards its end
// (s < 16) or by s - 16 bytes towards its start (s >= 16), filling with zeros.
alignas(16) constexpr std::uint8_t kShift[48] = {
    0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80,
    0,    1,    2,    3,    4,    5,    6,    7,    8,    9,    10,   11,   12,   13,   14,   15,
    0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80};

#define CRC_TARGET_128 __attribute__((target("pclmul,sse4.1")))
#define CRC_TARGET_512 __attribute__((target("pclmul,sse4.1,avx2,avx512f,avx512vl,vpclmulqdq")))
#define CRC_INLINE inline __attribute__((always_inline))

CRC_TARGET_128 CRC_INLINE __m128i Load(const std::uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Constants of the 128-bit path, one pair per fold distance.
struct alignas(16) Pair {
    std::uint64_t q[2];
};

consteval Pair Distance(unsigned f) {
    return {{KEarly(f), KLate(f)}};
}

constexpr Pair kPair128 = Distance(128);
constexpr Pair kPair256 = Distance(256);
constexpr Pair kPair384 = Distance(384);
constexpr Pair kPair512 = Distance(512);
// Final reduction: x^96 and x^64 mod P, then Barrett's mu and P.
constexpr Pair kReduce = {{Reverse(XPowMod(96), 33), Reverse(XPowMod(64), 33)}};
constexpr Pair kBarrett = {{kMu33, kPoly33}};

CRC_TARGET_128 CRC_INLINE __m128i Consts128(const Pair& k) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(k.q));
}

// The lane moved F bits ahead (by the constants k), xor the data that lies there.
CRC_TARGET_128 CRC_INLINE __m128i Fold(__m128i x, __m128i k, __m128i data) {
    return _mm_xor_si128(
        _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), data);
}

// The register for the message whose polynomial (start register already applied) is x.
CRC_TARGET_128 CRC_INLINE std::uint32_t Reduce(__m128i x) {
    const __m128i k = Consts128(kReduce);
    const __m128i b = Consts128(kBarrett);
    const __m128i low32 = _mm_set_epi32(0, 0, 0, -1);
    // x*x^32 = H*x^96 + L*x^32: 96 bits.
    __m128i t = _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_srli_si128(x, 8));
    // Top 32 of those times x^64 mod P, plus the other 64: 64 bits.
    t = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(t, low32), k, 0x10), _mm_srli_si128(t, 4));
    // Barrett: quotient from the top 32 bits, then subtract quotient * P.
    const __m128i q = _mm_and_si128(_mm_clmulepi64_si128(_mm_and_si128(t, low32), b, 0x00), low32);
    t = _mm_xor_si128(t, _mm_clmulepi64_si128(q, b, 0x10));
    return static_cast<std::uint32_t>(_mm_extract_epi32(t, 1));
}

// Folds in 16-byte blocks from p, then the last n % 16 bytes, and reduces. The caller has
// consumed at least 16 bytes before p, which the last partial block may read again.
CRC_TARGET_128 CRC_INLINE std::uint32_t Finish(__m128i x, const std::uint8_t* p, std::size_t n) {
    const __m128i k128 = Consts128(kPair128);
    while (n >= 16) {
        x = Fold(x, k128, Load(p));
        p += 16;
        n -= 16;
    }
    if (n > 0) {
        // x followed by n bytes is the same polynomial as two blocks: 16 - n zero bytes and
        // the first n bytes of x, then the rest of x and the n new bytes (re-read as the end
        // of the last 16 bytes).
        const __m128i toEnd = Load(kShift + n);
        const __m128i toStart = Load(kShift + 16 + n);
        const __m128i head = _mm_shuffle_epi8(x, toEnd);
        const __m128i rest =
            _mm_blendv_epi8(_mm_shuffle_epi8(x, toStart), Load(p + n - 16), toStart);
        x = Fold(head, k128, rest);
    }
    return Reduce(x);
}

CRC_TARGET_128 CRC_INLINE std::uint32_t Update128(std::uint32_t c, const std::uint8_t* p,
                                                  std::size_t n) {
    // n >= 16
    __m128i x = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(c)));
    p += 16;
    n -= 16;
    if (n >= 48) {
        __m128i x1 = Load(p), x2 = Load(p + 16), x3 = Load(p + 32);
        p += 48;
        n -= 48;
        const __m128i k512 = Consts128(kPair512);
        while (n >= 64) {
            x = Fold(x, k512, Load(p));
            x1 = Fold(x1, k512, Load(p + 16));
            x2 = Fold(x2, k512, Load(p + 32));
            x3 = Fold(x3, k512, Load(p + 48));
            p += 64;
            n -= 64;
        }
        // All four moved onto the last at once: by 384, 256 and 128 bits.
        const __m128i a = Fold(x, Consts128(kPair384), x3);
        const __m128i b = Fold(x1, Consts128(kPair256), _mm_setzero_si128());
        x = Fold(x2, Consts128(kPair128), _mm_xor_si128(a, b));
    }
    return Finish(x, p, n);
}

CRC_TARGET_512 CRC_INLINE __m512i Load512(const std::uint8_t* p) {
    return _mm512_loadu_si512(p);
}

// Constants of the 512-bit path, one pair per 128-bit lane.
struct alignas(64) Lanes {
    std::uint64_t q[8];
};

consteval Lanes Broadcast(unsigned f) {
    return {{KEarly(f), KLate(f), KEarly(f), KLate(f), KEarly(f), KLate(f), KEarly(f), KLate(f)}};
}

constexpr Lanes kLanes2048 = Broadcast(2048);
constexpr Lanes kLanes512 = Broadcast(512);
// Lanes 0..2 moved ahead by 384, 256 and 128 bits onto lane 3, which stays.
constexpr Lanes kLanesToOne = {
    {KEarly(384), KLate(384), KEarly(256), KLate(256), KEarly(128), KLate(128), 0, 0}};

CRC_TARGET_512 CRC_INLINE __m512i Consts512(const Lanes& k) {
    return _mm512_load_si512(k.q);
}

CRC_TARGET_512 CRC_INLINE __m512i Fold512(__m512i z, __m512i k, __m512i data) {
    return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(z, k, 0x00),
                                     _mm512_clmulepi64_epi128(z, k, 0x11), data, 0x96);
}

} // namespace

namespace ucrc32 {

bool HasClmul128() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
}

bool HasVpclmul512() {
    __builtin_cpu_init();
    return HasClmul128() && __builtin_cpu_supports("avx512f") &&
           __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("vpclmulqdq");
}

CRC_TARGET_128 std::uint32_t UpdateClmul128(std::uint32_t c, std::size_t n, const void* bytes) {
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    if (n < 16) return UpdateSlice16(c, n, p);
    return Update128(c, p, n);
}

CRC_TARGET_512 std::uint32_t UpdateVpclmul512(std::uint32_t c, std::size_t n, const void* bytes) {
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    if (n < 16) return UpdateSlice16(c, n, p);
    if (n < 64) return Update128(c, p, n);

    __m512i z0 = _mm512_xor_si512(Load512(p),
                                  _mm512_zextsi128_si512(_mm_cvtsi32_si128(static_cast<int>(c))));
    p += 64;
    n -= 64;
    const __m512i k512 = Consts512(kLanes512);
    if (n >= 192) {
        // Four registers, 256 bytes per step.
        __m512i z1 = Load512(p), z2 = Load512(p + 64), z3 = Load512(p + 128);
        p += 192;
        n -= 192;
        const __m512i k2048 = Consts512(kLanes2048);
        while (n >= 256) {
            z0 = Fold512(z0, k2048, Load512(p));
            z1 = Fold512(z1, k2048, Load512(p + 64));
            z2 = Fold512(z2, k2048, Load512(p + 128));
            z3 = Fold512(z3, k2048, Load512(p + 192));
            p += 256;
            n -= 256;
        }
        z0 = Fold512(z0, k512, z1);
        z0 = Fold512(z0, k512, z2);
        z0 = Fold512(z0, k512, z3);
    }
    while (n >= 64) {
        z0 = Fold512(z0, k512, Load512(p));
        p += 64;
        n -= 64;
    }
    // Lanes 0..2 moved onto lane 3, then the four xored into one.
    const __m512i t = Fold512(z0, Consts512(kLanesToOne), _mm512_maskz_mov_epi64(0xC0, z0));
    const __m256i y = _mm256_xor_si256(_mm512_maskz_extracti64x4_epi64(0xF, t, 0),
                                       _mm512_maskz_extracti64x4_epi64(0xF, t, 1));
    const __m128i x = _mm_xor_si128(_mm256_maskz_extracti32x4_epi32(0xF, y, 0),
                                    _mm256_maskz_extracti32x4_epi32(0xF, y, 1));
    return Finish(x, p, n);
}

} // namespace ucrc32

#else // no x86-64 carry-less multiplication: only the portable paths exist

namespace ucrc32 {

bool HasClmul128() {
    return false;
}
bool HasVpclmul512() {
    return false;
}

std::uint32_t UpdateClmul128(std::uint32_t c, std::size_t n, const void* bytes) {
    return UpdateSlice16(c, n, bytes);
}

std::uint32_t UpdateVpclmul512(std::uint32_t c, std::size_t n, const void* bytes) {
    return UpdateSlice16(c, n, bytes);
}

} // namespace ucrc32

#endif
