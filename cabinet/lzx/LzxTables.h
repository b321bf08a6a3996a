// Constants of the LZX bitstream: position slots, tree sizes, match lengths.
#pragma once

#include <array>
#include <cstdint>

namespace lzx {

inline constexpr int MinWindowExponent = 15;
inline constexpr int MaxWindowExponent = 21;
inline constexpr std::uint32_t FrameSize = 32768;
inline constexpr int MinMatch = 2;
inline constexpr int MaxMatch = 257;
inline constexpr int NumChars = 256;
inline constexpr int NumPrimaryLengths = 7; // length headers 0..6 stand for 2..8
inline constexpr int LengthTreeSize = 249;
inline constexpr int AlignedTreeSize = 8;
inline constexpr int PreTreeSize = 20;
inline constexpr int MaxSlots = 50;
inline constexpr int MaxMainTreeSize = NumChars + 8 * MaxSlots;
inline constexpr int MainMaxCodeLen = 16;
inline constexpr int LengthMaxCodeLen = 16;
inline constexpr int AlignedMaxCodeLen = 7;
inline constexpr int PreTreeMaxCodeLen = 15;

enum BlockType { Verbatim = 1, Aligned = 2, Uncompressed = 3 };

// Position slots a window of 2^w bytes needs.
constexpr int SlotCount(int w) {
    return w < 20 ? 2 * w : (w == 20 ? 42 : 50);
}

constexpr int ExtraBits(int slot) {
    return slot < 4 ? 0 : (slot < 36 ? slot / 2 - 1 : 17);
}

struct SlotTable {
    std::array<std::uint32_t, MaxSlots + 1> base{};
    std::array<std::uint8_t, MaxSlots> extra{};
    constexpr SlotTable() {
        std::uint32_t b = 0;
        for (int s = 0; s < MaxSlots; ++s) {
            base[s] = b;
            extra[s] = static_cast<std::uint8_t>(ExtraBits(s));
            b += std::uint32_t{1} << extra[s];
        }
        base[MaxSlots] = b;
    }
};
inline constexpr SlotTable Slots{};

// Slot of a formatted offset (real offset + 2, so at least 3).
inline int SlotOf(std::uint32_t formatted) {
    if (formatted < 4) return static_cast<int>(formatted);
    if (formatted < (1u << 18)) {
        int log = 31 - __builtin_clz(formatted);
        return 2 * log + static_cast<int>((formatted >> (log - 1)) & 1);
    }
    return 36 + static_cast<int>((formatted - (1u << 18)) >> 17);
}

} // namespace lzx
