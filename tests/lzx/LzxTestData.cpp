#include "LzxTestData.h"

#include "TestUtil.h"

#include <random>
#include <vector>

namespace lzxtest {

std::string Text(std::size_t n, std::uint32_t seed) {
    static const char* words[] = {"the",     "cabinet",  "of",      "window",  "and",      "a",
                                  "folder",  "block",    "to",      "is",      "data",     "file",
                                  "offset",  "length",   "tree",    "which",   "with",     "in",
                                  "frame",   "compress", "reader",  "byte",    "stream",   "for",
                                  "matches", "literal",  "Huffman", "encoder", "position", "slot"};
    std::mt19937 rng(seed);
    std::geometric_distribution<int> pick(0.15);
    std::string s;
    s.reserve(n + 16);
    int col = 0;
    while (s.size() < n) {
        int w = pick(rng) % 30;
        s += words[w];
        col += 1;
        if (rng() % 13 == 0) {
            s += std::to_string(rng() % 1000);
        }
        if (col > 10 && rng() % 4 == 0) {
            s += ".\n";
            col = 0;
        } else {
            s += ' ';
        }
    }
    s.resize(n);
    return s;
}

std::string X86Code(std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint32_t> routines(300);
    for (auto& r : routines)
        r = rng() % (n + 1);
    static const std::uint8_t ops[][3] = {{0x55, 0, 0},       {0x89, 0xE5, 0}, {0x8B, 0x45, 0x08},
                                          {0x83, 0xEC, 0x10}, {0x5D, 0xC3, 0}, {0x31, 0xC0, 0},
                                          {0x85, 0xC0, 0},    {0x74, 0x05, 0}, {0x8B, 0x4D, 0x0C}};
    static const int opLen[] = {1, 2, 3, 3, 2, 2, 2, 2, 3};
    std::string s = "MZ";
    while (s.size() < n) {
        if (rng() % 4 == 0) {
            const std::uint32_t target = routines[rng() % routines.size()];
            const std::int32_t rel = static_cast<std::int32_t>(target - (s.size() + 5));
            s.push_back(static_cast<char>(0xE8));
            for (int k = 0; k < 4; ++k)
                s.push_back(static_cast<char>((rel >> (8 * k)) & 0xFF));
        } else {
            const int k = static_cast<int>(rng() % 9);
            for (int j = 0; j < opLen[k]; ++j)
                s.push_back(static_cast<char>(ops[k][j]));
            if (rng() % 7 == 0) s.push_back(static_cast<char>(rng() & 0xFF));
        }
    }
    s.resize(n);
    return s;
}

std::string OwnExecutable(std::size_t n) {
    std::string exe = testutil::ReadFile("/proc/self/exe");
    if (exe.empty()) exe = X86Code(65536, 1);
    std::string s;
    while (s.size() < n)
        s += exe.substr(0, n - s.size());
    return s;
}

std::string Records(std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::string s;
    while (s.size() < n) {
        const std::size_t records = s.size() / 24;
        if (records > 4 && rng() % 8 != 0) {
            const std::size_t from =
                (records - 1 - rng() % std::min<std::size_t>(records, 3000)) * 24;
            s += s.substr(from, 20);
        } else {
            for (int k = 0; k < 20; ++k)
                s.push_back(static_cast<char>(rng() % 64));
        }
        for (int k = 0; k < 4; ++k)
            s.push_back(static_cast<char>(rng()));
    }
    s.resize(n);
    return s;
}

std::string Structured(std::uint32_t seed, std::size_t maxSize, std::uint32_t window) {
    std::mt19937 rng(seed);
    std::size_t target;
    switch (rng() % 8) {
    case 0:
        target = rng() % 40;
        break;
    case 1:
        target = 32768 - 2 + rng() % 5;
        break;
    case 2:
        target = 65536 - 2 + rng() % 5;
        break;
    default:
        target = rng() % (maxSize + 1);
        break;
    }
    std::string s;
    if (rng() % 4 == 0) s = "MZ"; // call translation on for this folder
    std::uint32_t recent[3] = {1, 2, 3};
    const int alphabet = rng() % 2 ? 256 : 4 + static_cast<int>(rng() % 20);
    while (s.size() < target) {
        const int kind = static_cast<int>(rng() % 10);
        if (kind <= 2 || s.size() < 4) {
            std::size_t len = 1 + rng() % (kind == 0 ? 400 : 20);
            for (std::size_t i = 0; i < len; ++i)
                s.push_back(static_cast<char>(rng() % alphabet));
        } else if (kind <= 5) {
            // A copy from somewhere earlier: near, far, or right at the window's edge.
            std::uint32_t maxDist =
                static_cast<std::uint32_t>(std::min<std::size_t>(s.size(), window - 3));
            std::uint32_t d;
            switch (rng() % 4) {
            case 0:
                d = 1 + rng() % std::min<std::uint32_t>(maxDist, 16);
                break;
            case 1:
                d = maxDist - rng() % std::min<std::uint32_t>(maxDist, 8);
                break;
            default:
                d = 1 + rng() % maxDist;
                break;
            }
            if (d == 0) d = 1;
            std::size_t len = 2 + rng() % (rng() % 4 == 0 ? 600 : 12);
            for (std::size_t i = 0; i < len; ++i)
                s.push_back(s[s.size() - d]);
            recent[2] = recent[1];
            recent[1] = recent[0];
            recent[0] = d;
        } else if (kind == 6) {
            std::uint32_t d = recent[rng() % 3];
            if (d > s.size()) d = 1;
            std::size_t len = 2 + rng() % 10;
            for (std::size_t i = 0; i < len; ++i)
                s.push_back(s[s.size() - d]);
        } else if (kind == 7) {
            s.append(1 + rng() % 3000, static_cast<char>(rng() % alphabet));
        } else if (kind == 8) {
            for (int k = 0; k < 8; ++k) {
                s.push_back(static_cast<char>(0xE8));
                std::int32_t rel = static_cast<std::int32_t>(rng() % 200000) - 100000;
                for (int b = 0; b < 4; ++b)
                    s.push_back(static_cast<char>((rel >> (8 * b)) & 0xFF));
                s.push_back(static_cast<char>(rng() % alphabet));
            }
        } else {
            s += Text(1 + rng() % 500, rng());
        }
    }
    s.resize(target);
    return s;
}

} // namespace lzxtest
