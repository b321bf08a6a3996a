// Length-limited Huffman codes for the LZX trees, in canonical form.
#pragma once

#include <cstdint>
#include <vector>

namespace lzx {

// Code lengths for the given symbol frequencies, none longer than maxLen.
// Unused symbols get length 0. With minSymbols = 2 a code with a single used
// symbol gets a second (unused) symbol so the code stays complete; with no used
// symbol at all every length is 0. The resulting code is always complete when
// at least two lengths are non-zero.
std::vector<std::uint8_t> BuildLengths(const std::vector<std::uint32_t>& freq, int maxLen,
                                       int minSymbols = 2);

// Canonical codes for the lengths: shorter codes first, equal lengths in
// symbol order.
std::vector<std::uint32_t> CanonicalCodes(const std::vector<std::uint8_t>& lengths);

// Sum of 2^(maxLen - len) over the used symbols; equals 2^maxLen for a
// complete code.
std::uint64_t KraftSum(const std::vector<std::uint8_t>& lengths, int maxLen);

} // namespace lzx
