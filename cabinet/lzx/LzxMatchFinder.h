// Binary-tree match finder over a sliding window. Every position of the input
// is inserted into a tree of earlier positions ordered by the bytes that follow
// them; a search walks the tree once, collecting the nearest match for every
// new longest length on the way.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

namespace lzx {

// How many bytes from `from` on a and b have in common, at most limit (in
// total); compares eight bytes at a time where it can.
inline std::uint32_t CommonLength(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t from,
                                  std::uint32_t limit) {
    std::uint32_t len = from;
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

struct Match {
    std::uint32_t length;
    std::uint32_t distance;
};

class MatchFinder {
  public:
    // window: the window size (a power of two); distances stay below window - 3; nice: matches this
    // long end the search; depth: most tree nodes visited per search.
    MatchFinder(std::uint32_t window, std::uint32_t nice, std::uint32_t depth);
    void Reset();
    // data points at the byte of position pos; avail bytes are readable from
    // there. Appends the matches found (ascending length, at most maxLen)
    // to out and returns how many were added.
    std::size_t Find(const std::uint8_t* data, std::uint32_t pos, std::uint32_t avail,
                     std::uint32_t maxLen, std::vector<Match>& out);
    // Asks for what the searches at nextPos and the position after it will
    // read first to be loaded early (next points at nextPos; at least 5 bytes
    // from there must be readable).
    void Prefetch(const std::uint8_t* next, std::uint32_t nextPos);

  private:
    static constexpr int Hash3Bits = 15;
    std::uint32_t window_;
    std::uint32_t mask_;
    std::uint32_t nice_;
    std::uint32_t depth_;
    int hash4Bits_;                    // about one bucket per two positions of the window
    std::vector<std::uint32_t> head3_; // position + 1 of the newest 3-byte string per hash
    std::vector<std::uint32_t> head4_; // tree root (position + 1) per 4-byte hash
    // Per position: position + 1 of the smaller subtree, then of the larger one.
    std::vector<std::uint32_t> tree_;
};

} // namespace lzx
