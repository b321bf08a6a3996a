#include "QuantumMatchFinder.h"

#include <algorithm>

namespace quantum {

MatchFinder::MatchFinder(int windowExponent, std::uint32_t near, int hashBits)
    : window_(1u << windowExponent), mask_(window_ - 1), near_(near),
      hash4Bits_(std::min(std::clamp(windowExponent - 2, 12, 18), hashBits ? hashBits : 18)),
      head3_(1u << Hash3Bits), head4_(1u << hash4Bits_), chain_(window_) {}

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

TreeFinder::TreeFinder(int windowExponent, std::uint32_t near)
    : window_(1u << windowExponent), mask_(window_ - 1), near_(near),
      hash4Bits_(std::clamp(windowExponent - 1, 12, 20)), head3_(1u << Hash3Bits),
      head4_(1u << hash4Bits_), tree_(2 * static_cast<std::size_t>(window_)) {}

void TreeFinder::Reset() {
    std::fill(head3_.begin(), head3_.end(), 0);
    std::fill(head4_.begin(), head4_.end(), 0);
}

std::size_t TreeFinder::Find(const std::uint8_t* cur, std::uint32_t pos, std::uint32_t avail,
                             std::uint32_t maxLen, std::uint32_t depth, std::uint32_t nice,
                             bool insert, std::vector<Match>& out) {
    const std::size_t before = out.size();
    std::uint32_t best = 2;
    const std::uint32_t v = Load32(cur);
    std::uint32_t& head3 = head3_[((v & 0xFFFFFF) * 0x9E3779B1u) >> (32 - Hash3Bits)];
    if (head3 != 0 && pos - (head3 - 1) <= near_ && maxLen >= 3) {
        const std::uint32_t d = pos - (head3 - 1);
        const std::uint32_t len = CommonLength(cur, cur - d, maxLen);
        if (len >= 3) {
            out.push_back({len, d});
            best = len;
        }
    }
    head3 = pos + 1;
    const std::size_t treeFirst = out.size();
    if (insert)
        Walk(cur, pos, avail, depth, nice, &out);
    else
        Search(cur, pos, avail, depth, nice, out);
    // The tree compares at most nice bytes: a match that long may go on.
    if (out.size() > treeFirst && out.back().length == std::min(avail, nice) && nice < maxLen)
        out.back().length = CommonLength(cur, cur - out.back().distance, maxLen);
    // Keep the tree's matches that are longer than the near one, cut to maxLen.
    std::size_t kept = treeFirst;
    for (std::size_t i = treeFirst; i < out.size(); ++i) {
        Match m = out[i];
        m.length = std::min(m.length, maxLen);
        if (m.length <= best) continue;
        best = m.length;
        out[kept++] = m;
    }
    out.resize(kept);
    return out.size() - before;
}

void TreeFinder::Walk(const std::uint8_t* cur, std::uint32_t pos, std::uint32_t avail,
                      std::uint32_t depth, std::uint32_t nice, std::vector<Match>* out) {
    const std::uint32_t limit = std::min(avail, nice);
    std::uint32_t& root = head4_[(Load32(cur) * 0x9E3779B1u) >> (32 - hash4Bits_)];
    std::uint32_t c = root;
    root = pos + 1;
    std::uint32_t* smaller = &tree_[2 * (pos & mask_)];
    std::uint32_t* larger = smaller + 1;
    std::uint32_t lenSmaller = 0, lenLarger = 0, best = 0;
    for (;;) {
        const std::uint32_t d = c == 0 ? 0 : pos - (c - 1);
        if (c == 0 || d >= window_ || depth-- == 0) {
            *smaller = 0;
            *larger = 0;
            return;
        }
        std::uint32_t* pair = &tree_[2 * ((c - 1) & mask_)];
        const std::uint8_t* p = cur - d;
        std::uint32_t len = std::min(lenSmaller, lenLarger);
        if (p[len] == cur[len]) {
            len = len + CommonLength(cur + len, p + len, limit - len);
            if (len > best) {
                best = len;
                if (out) out->push_back({len, d});
                if (len == limit) {
                    // The candidate is equal as far as the tree looks: the new
                    // position takes its place and its subtrees.
                    *smaller = pair[0];
                    *larger = pair[1];
                    return;
                }
            }
        }
        if (p[len] < cur[len]) {
            *smaller = c;
            smaller = pair + 1;
            c = *smaller;
            lenSmaller = len;
        } else {
            *larger = c;
            larger = pair;
            c = *larger;
            lenLarger = len;
        }
    }
}

void TreeFinder::Search(const std::uint8_t* cur, std::uint32_t pos, std::uint32_t avail,
                        std::uint32_t depth, std::uint32_t nice, std::vector<Match>& out) const {
    const std::uint32_t limit = std::min(avail, nice);
    std::uint32_t c = head4_[(Load32(cur) * 0x9E3779B1u) >> (32 - hash4Bits_)];
    std::uint32_t lenSmaller = 0, lenLarger = 0, best = 0;
    while (c != 0 && depth-- != 0) {
        const std::uint32_t d = pos - (c - 1);
        if (d >= window_) return;
        const std::uint32_t* pair = &tree_[2 * ((c - 1) & mask_)];
        const std::uint8_t* p = cur - d;
        std::uint32_t len = std::min(lenSmaller, lenLarger);
        if (p[len] == cur[len]) {
            len = len + CommonLength(cur + len, p + len, limit - len);
            if (len > best) {
                best = len;
                out.push_back({len, d});
                if (len == limit) return;
            }
        }
        if (p[len] < cur[len]) {
            c = pair[1];
            lenSmaller = len;
        } else {
            c = pair[0];
            lenLarger = len;
        }
    }
}

} // namespace quantum
