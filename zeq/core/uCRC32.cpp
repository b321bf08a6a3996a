#include "uCRC32.h"

#include <array>

namespace {
constexpr std::array<std::uint32_t, 256> MakeTable() {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
        t[i] = c;
    }
    return t;
}
constexpr auto Table = MakeTable();
} // namespace

std::uint32_t CrcUpdateByte(std::uint8_t b, std::uint32_t c) {
    return Table[(c ^ b) & 0xFFu] ^ (c >> 8);
}

std::uint32_t CrcUpdate(std::uint32_t c, std::size_t n, const void* bytes) {
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    for (std::size_t i = 0; i < n; ++i) c = CrcUpdateByte(p[i], c);
    return c;
}
