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
    // window: the largest distance; near: the largest distance of a length-3
    // match; hashBits: 2^hashBits heads for 4-byte hashes (0: by window size).
    MatchFinder(int windowExponent, std::uint32_t near, int hashBits = 0);
    void Reset();
    // cur points at the byte of folder position pos; at least four bytes and
    // maxLen bytes are readable from there, and every earlier position down
    // to pos - window. Inserts pos and appends the matches found (ascending
    // length, each at the nearest distance seen for it) to out; returns how
    // many. The search visits at most depth chain entries and ends at the
    // first match of nice bytes.
    std::size_t Find(const std::uint8_t* cur, std::uint32_t pos, std::uint32_t maxLen,
                     std::uint32_t depth, std::uint32_t nice, std::vector<Match>& out);
    // Asks for the table entries a search at cur will read to be loaded early.
    void Prefetch(const std::uint8_t* cur) const {
        const std::uint32_t v = Load32(cur);
        __builtin_prefetch(&head3_[Hash3(v)]);
        __builtin_prefetch(&head4_[Hash4(v)]);
    }
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

// Binary-tree match finder for the thorough levels: the positions under one
// 4-byte hash form a tree ordered by the bytes that follow them, so a search
// walks one path, meets the longest matches first hand and keeps the tree in
// order as it goes. Length-3 matches come from a 3-byte hash table as above.
// Distances stay below the window size (the tree is a ring of that many nodes).
class TreeFinder {
  public:
    TreeFinder(int windowExponent, std::uint32_t near);
    void Reset();
    // As MatchFinder::Find; avail bytes (at least four) are readable from cur
    // and the tree is ordered by at most nice of them. Lengths are cut to maxLen.
    // A position inserted must have nice bytes after it (avail >= nice), or the
    // trees lose their order; with insert false the trees are only read.
    std::size_t Find(const std::uint8_t* cur, std::uint32_t pos, std::uint32_t avail,
                     std::uint32_t maxLen, std::uint32_t depth, std::uint32_t nice, bool insert,
                     std::vector<Match>& out);
    // Asks for the table entries a search at cur will read to be loaded early.
    void Prefetch(const std::uint8_t* cur) const {
        const std::uint32_t v = Load32(cur);
        __builtin_prefetch(&head3_[((v & 0xFFFFFF) * 0x9E3779B1u) >> (32 - Hash3Bits)]);
        __builtin_prefetch(&head4_[(v * 0x9E3779B1u) >> (32 - hash4Bits_)]);
    }
    // Inserts pos without collecting matches (avail >= nice).
    void Insert(const std::uint8_t* cur, std::uint32_t pos, std::uint32_t avail,
                std::uint32_t depth, std::uint32_t nice) {
        Walk(cur, pos, avail, depth, nice, nullptr);
    }

  private:
    static constexpr int Hash3Bits = 14;
    static std::uint32_t Load32(const std::uint8_t* p) {
        std::uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
    // Inserts pos into its tree; with out, appends every new longest match.
    void Walk(const std::uint8_t* cur, std::uint32_t pos, std::uint32_t avail, std::uint32_t depth,
              std::uint32_t nice, std::vector<Match>* out);
    // Follows pos's path through its tree without changing it, appending every
    // new longest match.
    void Search(const std::uint8_t* cur, std::uint32_t pos, std::uint32_t avail,
                std::uint32_t depth, std::uint32_t nice, std::vector<Match>& out) const;

    std::uint32_t window_;
    std::uint32_t mask_;
    std::uint32_t near_;
    int hash4Bits_;
    std::vector<std::uint32_t> head3_;
    std::vector<std::uint32_t> head4_; // root (position + 1) per 4-byte hash
    // Per position (mod window): position + 1 of the smaller subtree, then of the larger.
    std::vector<std::uint32_t> tree_;
};

} // namespace quantum
