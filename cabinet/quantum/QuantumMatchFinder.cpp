#include "QuantumMatchFinder.h"

#include <algorithm>

namespace quantum {

MatchFinder::MatchFinder(int windowExponent, std::uint32_t near)
    : window_(1u << windowExponent), mask_(window_ - 1), near_(near),
      hash4Bits_(std::clamp(windowExponent, 12, 18)), head3_(1u << Hash3Bits),
      head4_(1u << hash4Bits_), chain_(window_) {}

void MatchFinder::Reset() {
    std::fill(head3_.begin(), head3_.end(), 0);
    std::fill(head4_.begin(), head4_.end(), 0);
}

std::size_t MatchFinder::Find(const std::uint8_t* cur, std::uint32_t pos, std::uint32_t maxLen,
                              std::uint32_t depth, std::uint32_t nice, std::vector<Match>& out) {
    const std::size_t before = out.size();
    const std::uint32_t v = Load32(cur);
    std::uint32_t& head3 = head3_[Hash3(v)];
    const std::uint32_t near = head3;
    head3 = pos + 1;
    std::uint32_t& head4 = head4_[Hash4(v)];
    std::uint32_t c = head4;
    chain_[pos & mask_] = c;
    head4 = pos + 1;
    if (maxLen < 3) return 0;

    std::uint32_t best = 2;
    if (near != 0 && pos - (near - 1) <= near_) {
        const std::uint32_t d = pos - (near - 1);
        const std::uint32_t len = CommonLength(cur, cur - d, maxLen);
        if (len >= 3) {
            out.push_back({len, d});
            best = len;
        }
    }
    while (c != 0 && depth-- != 0 && best < maxLen && best < nice) {
        const std::uint32_t cand = c - 1;
        const std::uint32_t d = pos - cand;
        if (d > window_) break;
        const std::uint8_t* p = cur - d;
        if (p[best] == cur[best] && Load32(p) == v) {
            const std::uint32_t len = CommonLength(cur, p, maxLen);
            if (len > best) {
                out.push_back({len, d});
                best = len;
            }
        }
        const std::uint32_t next = chain_[cand & mask_];
        if (next >= c) break; // the slot was reused by a newer position
        c = next;
    }
    return out.size() - before;
}

} // namespace quantum
