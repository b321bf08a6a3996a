// CRC-32 of IEEE 802.3 and zlib (reflected polynomial EDB88320).
//
// The register is kept raw: a checksum is CrcFinish(CrcUpdate(0xFFFFFFFF, n, bytes)), and a
// piece may be fed in any number of CrcUpdate calls.
#pragma once

#include <cstddef>
#include <cstdint>

// One step of the table-driven register update.
std::uint32_t CrcUpdateByte(std::uint8_t b, std::uint32_t c);
// Applies CrcUpdateByte to n bytes in order; n = 0 returns c unchanged. Uses carry-less
// multiplication when the CPU has it, slicing-by-16 otherwise; the result is the same.
std::uint32_t CrcUpdate(std::uint32_t c, std::size_t n, const void* bytes);
// The register with all bits inverted.
inline std::uint32_t CrcFinish(std::uint32_t c) {
    return ~c;
}
