#include "LzxMatchFinder.h"

#include <algorithm>
#include <bit>

namespace lzx {

namespace {

inline std::uint32_t Hash3(const std::uint8_t* p, int bits) {
    std::uint32_t v =
        std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16);
    return (v * 0x9E3779B1u) >> (32 - bits);
}

inline std::uint32_t Hash4(const std::uint8_t* p, int bits) {
    std::uint32_t v = std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) |
                      (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
    return (v * 0x9E3779B1u) >> (32 - bits);
}

} // namespace

MatchFinder::MatchFinder(std::uint32_t window, std::uint32_t nice, std::uint32_t depth)
    : window_(window), mask_(window - 1), nice_(nice), depth_(depth),
      hash4Bits_(std::clamp(static_cast<int>(std::bit_width(window)) - 2, 16, 20)),
      head3_(std::size_t{1} << Hash3Bits, 0), head4_(std::size_t{1} << hash4Bits_, 0),
      tree_(std::size_t{2} * window, 0) {}

void MatchFinder::Reset() {
    std::fill(head3_.begin(), head3_.end(), 0);
    std::fill(head4_.begin(), head4_.end(), 0);
}

void MatchFinder::Prefetch(const std::uint8_t* next, std::uint32_t nextPos) {
    // Two steps ahead: the hash buckets. One step ahead: the first tree node,
    // whose bucket was asked for on the previous call.
    const std::uint8_t* later = next + 1;
    __builtin_prefetch(&head4_[Hash4(later, hash4Bits_)]);
    __builtin_prefetch(&head3_[Hash3(later, Hash3Bits)]);
    const std::uint32_t node = head4_[Hash4(next, hash4Bits_)];
    if (node != 0 && node - 1 < nextPos) {
        __builtin_prefetch(&tree_[2 * ((node - 1) & mask_)]);
        __builtin_prefetch(next - (nextPos - (node - 1)));
    }
}

std::size_t MatchFinder::Find(const std::uint8_t* cur, std::uint32_t pos, std::uint32_t avail,
                              std::uint32_t maxLen, std::vector<Match>& out) {
    if (avail < 4) return 0;
    const std::uint32_t limit = std::min(nice_, avail);
    // The format allows offsets up to window - 3, but 7-Zip misreads some
    // copies from exactly that far back, so we stop one byte short of it.
    const std::uint32_t reach = window_ - 4;
    const std::uint32_t oldest = pos >= reach ? pos - reach : 0;
    std::uint32_t best = 2;
    std::size_t added = 0;

    // The newest string sharing a 3-byte hash gives the short matches the
    // 4-byte tree cannot.
    const std::uint32_t h3 = Hash3(cur, Hash3Bits);
    const std::uint32_t cand3 = head3_[h3];
    head3_[h3] = pos + 1;
    if (cand3 != 0 && cand3 - 1 >= oldest) {
        const std::uint8_t* p = cur - (pos - (cand3 - 1));
        if (p[0] == cur[0] && p[1] == cur[1] && p[2] == cur[2] && maxLen >= 3) {
            // Longer ones are left to the tree.
            const bool longer = std::min(maxLen, limit) > 3 && p[3] == cur[3];
            if (!longer) {
                out.push_back({3, pos - (cand3 - 1)});
                ++added;
                best = 3;
            }
        }
    }

    const std::uint32_t h4 = Hash4(cur, hash4Bits_);
    std::uint32_t node = head4_[h4];
    head4_[h4] = pos + 1;
    std::uint32_t* less = &tree_[2 * (pos & mask_)];
    std::uint32_t* more = less + 1;
    std::uint32_t lenLess = 0, lenMore = 0;
    std::uint32_t depth = depth_;
    for (;;) {
        if (node == 0 || node - 1 < oldest || depth-- == 0) {
            *less = 0;
            *more = 0;
            break;
        }
        const std::uint32_t m = node - 1;
        std::uint32_t* pair = &tree_[2 * (m & mask_)];
        const std::uint8_t* p = cur - (pos - m);
        std::uint32_t len = std::min(lenLess, lenMore);
        if (p[len] == cur[len]) {
            len = CommonLength(p, cur, len + 1, limit);
            if (len > best) {
                best = len;
                std::uint32_t full = len;
                if (len == limit) {
                    // Long enough to stop; see how far it really goes.
                    const std::uint32_t cap = std::min(maxLen, avail);
                    full = CommonLength(p, cur, full, cap);
                }
                if (full > maxLen) full = maxLen;
                if (full >= 3) {
                    out.push_back({full, pos - m});
                    ++added;
                }
            }
            if (len >= limit) {
                *less = pair[0];
                *more = pair[1];
                break;
            }
        }
        if (p[len] < cur[len]) {
            *less = node;
            less = pair + 1;
            node = *less;
            lenLess = len;
        } else {
            *more = node;
            more = pair;
            node = *more;
            lenMore = len;
        }
    }
    return added;
}

} // namespace lzx
