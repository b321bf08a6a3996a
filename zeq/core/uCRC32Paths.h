// The implementations behind CrcUpdate, each reachable by itself so that tests and the
// benchmark can run every one of them whatever this CPU is. Not for use by the rest of the
// program: call CrcUpdate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ucrc32 {

using UpdateFn = std::uint32_t (*)(std::uint32_t c, std::size_t n, const void* bytes);

// One table lookup per byte: the definition itself.
std::uint32_t UpdateBytewise(std::uint32_t c, std::size_t n, const void* bytes);
// Sixteen bytes per step through sixteen tables; runs on any CPU.
std::uint32_t UpdateSlice16(std::uint32_t c, std::size_t n, const void* bytes);
// Folding with PCLMULQDQ on 128-bit registers. Needs HasClmul128().
std::uint32_t UpdateClmul128(std::uint32_t c, std::size_t n, const void* bytes);
// Folding with VPCLMULQDQ on 512-bit registers. Needs HasVpclmul512().
std::uint32_t UpdateVpclmul512(std::uint32_t c, std::size_t n, const void* bytes);

bool HasClmul128();
bool HasVpclmul512();

struct Path {
    const char* name;
    UpdateFn update;
    bool available; // this CPU can run it
};

// Every implementation, plainest first.
std::vector<Path> AllPaths();
// Name of the implementation CrcUpdate uses on this CPU.
const char* ActivePathName();

} // namespace ucrc32
