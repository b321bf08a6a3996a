// Hash-chain match finder over a folder's window. Every position is inserted
// under a hash of its next four bytes into one chain; a separate table keeps
// the newest position of each 3-byte hash, because length-3 matches only pay
// (and can only be coded) over short distances.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

namespace quantum {

struct Match {
    std::uint32_t length;
    std::uint32_t distance;
};

// How many bytes a and b have in common, at most limit.
inline std::uint32_t CommonLength(const std::uint8_t* a, const std::uint8_t* b,
                                  std::uint32_t limit) {
    std::uint32_t len = 0;
    while (len + 8 <= limit) {
        std::uint64_t x, y;
        std::memcpy(&x, a + len, 8);
        std::memcpy(&y, b + len, 8);
        if (x != y) return len + static_cast<std::uint32_t>(__builtin_ctzll(x ^ y) >> 3);
        len += 8;
    }
    while (len < limit && a[len] == b[len])
        ++len;
    return len;
}

class MatchFinder {
  public:
    // window: the largest distance; near: the largest distance of a length-3 match.
    MatchFinder(int windowExponent, std::uint32_t near);
    void Reset();
    // cur points at the byte of folder position pos; at least four bytes and
    // maxLen bytes are readable from there, and every earlier position down
    // to pos - window. Inserts pos and appends the matches found (ascending
    // length, each at the nearest distance seen for it) to out; returns how
    // many. The search visits at most depth chain entries and ends at the
    // first match of nice bytes.
    std::size_t Find(const std::uint8_t* cur, std::uint32_t pos, std::uint32_t maxLen,
                     std::uint32_t depth, std::uint32_t nice, std::vector<Match>& out);
    // Inserts pos without searching (four bytes readable at cur).
    void Insert(const std::uint8_t* cur, std::uint32_t pos) {
        const std::uint32_t v = Load32(cur);
        head3_[Hash3(v)] = pos + 1;
        std::uint32_t& head = head4_[Hash4(v)];
        chain_[pos & mask_] = head;
        head = pos + 1;
    }

  private:
    static constexpr int Hash3Bits = 14;
    static std::uint32_t Load32(const std::uint8_t* p) {
        std::uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
    static std::uint32_t Hash3(std::uint32_t v) {
        return ((v & 0xFFFFFF) * 0x9E3779B1u) >> (32 - Hash3Bits);
    }
    std::uint32_t Hash4(std::uint32_t v) const { return (v * 0x9E3779B1u) >> (32 - hash4Bits_); }

    std::uint32_t window_;
    std::uint32_t mask_;
    std::uint32_t near_;
    int hash4Bits_;
    std::vector<std::uint32_t> head3_; // newest position + 1 per 3-byte hash
    std::vector<std::uint32_t> head4_; // newest position + 1 per 4-byte hash
    std::vector<std::uint32_t> chain_; // per position (mod window): the previous one + 1
};

} // namespace quantum
