// CRC-32 throughput: CrcUpdate against zlib's crc32 and libdeflate's libdeflate_crc32 over
// the same buffer in one run, best of several repetitions. Not a test: it prints a table.
//
//   crc_bench [MiB [repetitions]]      defaults: 256 MiB, 7 repetitions
#include "uCRC32.h"
#include "uCRC32Paths.h"

#include <zlib.h>
#ifdef HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using CrcFn = std::function<std::uint32_t(const std::uint8_t*, std::size_t)>;

struct Contender {
    std::string name;
    CrcFn crc; // finished checksum, start value FFFFFFFF
    bool ours = false;
    bool checksum = true; // false for the plain read, whose value is no CRC
    double best = 0;      // GB/s
    std::uint32_t value = 0;
};

// Reads every byte once without computing anything: the ceiling for a buffer that does not
// fit in the caches. Wide loads into eight independent accumulators.
typedef std::uint64_t Wide16 __attribute__((vector_size(16)));
typedef std::uint64_t Wide64 __attribute__((vector_size(64)));

template <typename Wide>
inline __attribute__((always_inline)) std::uint32_t XorAll(const std::uint8_t* p, std::size_t n) {
    constexpr std::size_t width = sizeof(Wide);
    Wide a[8] = {};
    std::size_t i = 0;
    for (; i + 8 * width <= n; i += 8 * width)
        for (std::size_t k = 0; k < 8; ++k) {
            Wide w;
            __builtin_memcpy(&w, p + i + width * k, width);
            a[k] ^= w;
        }
    for (int k = 1; k < 8; ++k)
        a[0] ^= a[k];
    std::uint64_t lanes[width / 8];
    __builtin_memcpy(lanes, &a[0], width);
    std::uint64_t r = 0;
    for (auto v : lanes)
        r ^= v;
    for (; i < n; ++i)
        r ^= p[i];
    return static_cast<std::uint32_t>(r ^ (r >> 32));
}

#if defined(__x86_64__)
__attribute__((target("avx512f"))) std::uint32_t XorAll64(const std::uint8_t* p, std::size_t n) {
    return XorAll<Wide64>(p, n);
}
#endif

std::uint32_t ReadAll(const std::uint8_t* p, std::size_t n) {
#if defined(__x86_64__)
    if (__builtin_cpu_supports("avx512f")) return XorAll64(p, n);
#endif
    return XorAll<Wide16>(p, n);
}

double Seconds(const std::function<void()>& f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Runs every contender `reps` times, interleaved, each pass over `total` bytes made of
// `calls` calls on the same `chunk` bytes; keeps the best rate.
void Measure(std::vector<Contender>& cs, const std::uint8_t* data, std::size_t chunk,
             std::size_t calls, int reps) {
    const double bytes = static_cast<double>(chunk) * static_cast<double>(calls);
    for (int r = 0; r < reps; ++r)
        for (auto& c : cs) {
            std::uint32_t v = 0;
            const double s = Seconds([&] {
                for (std::size_t i = 0; i < calls; ++i)
                    v = c.crc(data, chunk);
            });
            c.value = v;
            c.best = std::max(c.best, bytes / s / 1e9);
        }
}

bool Print(const std::vector<Contender>& cs, const char* title) {
    std::printf("\n%s\n", title);
    std::printf("  %-34s %9s  %s\n", "implementation", "GB/s", "checksum");
    const Contender* ours = nullptr;
    const Contender* zlib = nullptr;
    const Contender* deflate = nullptr;
    for (const auto& c : cs) {
        if (c.checksum)
            std::printf("  %-34s %9.2f  %08X\n", c.name.c_str(), c.best, c.value);
        else
            std::printf("  %-34s %9.2f  -\n", c.name.c_str(), c.best);
        if (c.ours && !ours) ours = &c;
        if (c.name == "zlib crc32") zlib = &c;
        if (c.name == "libdeflate_crc32") deflate = &c;
    }
    if (ours && zlib)
        std::printf("  %-34s %8.2fx\n", "ratio CrcUpdate / zlib", ours->best / zlib->best);
    if (ours && deflate)
        std::printf("  %-34s %8.2fx\n", "ratio CrcUpdate / libdeflate", ours->best / deflate->best);
    bool same = true;
    for (const auto& c : cs)
        if (c.checksum && c.value != cs.front().value) same = false;
    std::printf("  checksums agree: %s\n", same ? "yes" : "NO");
    return same;
}

} // namespace

int main(int argc, char** argv) {
    const std::size_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 256;
    const int reps = argc > 2 ? std::atoi(argv[2]) : 7;
    if (mib == 0 || reps <= 0) {
        std::fprintf(stderr, "usage: crc_bench [MiB [repetitions]]\n");
        return 2;
    }
    const std::size_t size = mib << 20;

    std::vector<std::uint8_t> buffer(size);
    std::mt19937_64 rng(20240601);
    for (std::size_t i = 0; i + 8 <= size; i += 8) {
        const std::uint64_t w = rng();
        __builtin_memcpy(buffer.data() + i, &w, 8);
    }

    std::vector<Contender> cs;
    cs.push_back({std::string("CrcUpdate [") + ucrc32::ActivePathName() + "]",
                  [](const std::uint8_t* p, std::size_t n) {
                      return CrcFinish(CrcUpdate(0xFFFFFFFFu, n, p));
                  },
                  true});
    cs.push_back({"zlib crc32", [](const std::uint8_t* p, std::size_t n) {
                      return static_cast<std::uint32_t>(crc32_z(0, p, n));
                  }});
#ifdef HAVE_LIBDEFLATE
    cs.push_back({"libdeflate_crc32", [](const std::uint8_t* p, std::size_t n) {
                      return static_cast<std::uint32_t>(libdeflate_crc32(0, p, n));
                  }});
#endif
    for (const auto& path : ucrc32::AllPaths())
        if (path.available && std::string(path.name) != "bytewise") {
            const auto fn = path.update;
            cs.push_back({std::string("  our path ") + path.name,
                          [fn](const std::uint8_t* p, std::size_t n) {
                              return CrcFinish(fn(0xFFFFFFFFu, n, p));
                          }});
        }
    cs.push_back({"plain read, no CRC", ReadAll, false, false});

    std::printf("CRC-32 benchmark: %zu MiB buffer, best of %d repetitions, GB = 1e9 bytes\n", mib,
                reps);
    std::printf("(\"plain read\" only loads the bytes: from main memory it is the ceiling)\n");
#ifndef HAVE_LIBDEFLATE
    std::printf("(libdeflate not found at build time: compared with zlib only)\n");
#endif

    Measure(cs, buffer.data(), size, 1, reps);
    char title[128];
    std::snprintf(title, sizeof title,
                  "One pass over the whole %zu MiB buffer (main memory):", mib);
    const bool sameBig = Print(cs, title);

    // The same work on a block that stays in the cache shows the speed of the code itself.
    const std::size_t block = std::min<std::size_t>(size, 256 << 10);
    for (auto& c : cs)
        c.best = 0;
    Measure(cs, buffer.data(), block, size / block, reps);
    std::snprintf(title, sizeof title,
                  "%zu passes over its first %zu KiB (in cache):", size / block, block >> 10);
    const bool sameSmall = Print(cs, title);

    return sameBig && sameSmall ? 0 : 1;
}
