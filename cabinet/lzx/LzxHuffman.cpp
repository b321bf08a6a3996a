#include "LzxHuffman.h"

#include <algorithm>
#include <numeric>

namespace lzx {

namespace {

// Depths of the leaves of an ordinary Huffman tree for the sorted (ascending)
// frequencies, computed with the two-queue method.
std::vector<int> HuffmanDepths(const std::vector<std::uint64_t>& sorted) {
    const std::size_t n = sorted.size();
    std::vector<std::uint64_t> weight(2 * n);
    std::vector<std::size_t> parent(2 * n, 0);
    for (std::size_t i = 0; i < n; ++i)
        weight[i] = sorted[i];
    std::size_t leaf = 0, inner = n, next = n;
    auto take = [&]() {
        if (leaf < n && (inner >= next || weight[leaf] <= weight[inner])) return leaf++;
        return inner++;
    };
    while (next < 2 * n - 1) {
        std::size_t a = take();
        std::size_t b = take();
        weight[next] = weight[a] + weight[b];
        parent[a] = parent[b] = next;
        ++next;
    }
    std::vector<int> depth(2 * n - 1, 0);
    for (std::size_t i = 2 * n - 2; i-- > 0;)
        depth[i] = depth[parent[i]] + 1;
    return std::vector<int>(depth.begin(), depth.begin() + static_cast<std::ptrdiff_t>(n));
}

} // namespace

std::vector<std::uint8_t> BuildLengths(const std::vector<std::uint32_t>& freq, int maxLen,
                                       int minSymbols) {
    const std::size_t n = freq.size();
    std::vector<std::uint8_t> lengths(n, 0);
    std::vector<std::uint32_t> used;
    for (std::uint32_t s = 0; s < n; ++s)
        if (freq[s] != 0) used.push_back(s);
    if (used.empty()) return lengths;
    if (used.size() == 1) {
        if (minSymbols < 2) {
            lengths[used[0]] = 1;
            return lengths;
        }
        std::uint32_t other = used[0] == 0 ? 1 : 0;
        lengths[used[0]] = 1;
        lengths[other] = 1;
        return lengths;
    }
    // Most frequent last; ties broken by symbol so the result is deterministic.
    std::stable_sort(used.begin(), used.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return freq[a] < freq[b]; });
    std::vector<std::uint64_t> sorted(used.size());
    for (std::size_t i = 0; i < used.size(); ++i)
        sorted[i] = freq[used[i]];
    std::vector<int> depth = HuffmanDepths(sorted);

    // Count codes per length, folding everything deeper than maxLen back in
    // while keeping the Kraft sum at exactly one.
    int deepest = *std::max_element(depth.begin(), depth.end());
    std::vector<int> count(std::max(deepest, maxLen) + 2, 0);
    for (int d : depth)
        ++count[d];
    for (int len = deepest; len > maxLen; --len) {
        while (count[len] > 0) {
            int j = len - 2;
            while (count[j] == 0)
                --j;
            count[len] -= 2;
            count[len - 1] += 1;
            count[j + 1] += 2;
            count[j] -= 1;
        }
    }
    // Hand the shortest codes to the most frequent symbols.
    std::size_t k = used.size();
    for (int len = 1; len <= maxLen; ++len)
        for (int c = 0; c < count[len]; ++c)
            lengths[used[--k]] = static_cast<std::uint8_t>(len);
    return lengths;
}

std::vector<std::uint32_t> CanonicalCodes(const std::vector<std::uint8_t>& lengths) {
    std::vector<std::uint32_t> codes(lengths.size(), 0);
    std::uint32_t code = 0;
    for (int len = 1; len <= 16; ++len) {
        for (std::size_t s = 0; s < lengths.size(); ++s)
            if (lengths[s] == len) codes[s] = code++;
        code <<= 1;
    }
    return codes;
}

std::uint64_t KraftSum(const std::vector<std::uint8_t>& lengths, int maxLen) {
    std::uint64_t sum = 0;
    for (std::uint8_t l : lengths)
        if (l != 0) sum += std::uint64_t{1} << (maxLen - l);
    return sum;
}

} // namespace lzx
