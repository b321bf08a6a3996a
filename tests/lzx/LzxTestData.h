// Inputs for the LZX round trips: text, machine code, and seeded structured
// random data built from literal runs, copies at chosen distances and runs.
#pragma once

#include <cstdint>
#include <string>

namespace lzxtest {

// Word salad with a skewed vocabulary: compresses like prose.
std::string Text(std::size_t n, std::uint32_t seed);
// 32-bit x86-like code: an "MZ" start, instructions and many E8 calls to a
// set of routines, so call translation pays.
std::string X86Code(std::size_t n, std::uint32_t seed);
// n bytes of the running test program (an x86-64 executable), repeated if short.
std::string OwnExecutable(std::size_t n);
// Fixed-size records that repeat parts of earlier records: match offsets are
// multiples of the record size, which is what aligned-offset blocks are for.
std::string Records(std::size_t n, std::uint32_t seed);
// A random mix of the patterns an encoder has to get right; its size is
// drawn from a range that favours frame-boundary sizes.
std::string Structured(std::uint32_t seed, std::size_t maxSize, std::uint32_t window);

} // namespace lzxtest
