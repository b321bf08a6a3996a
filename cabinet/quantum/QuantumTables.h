// Fixed tables of the Quantum bitstream: position and length slots, the
// selectors and the sizes of the adaptive models.
#pragma once

#include <array>
#include <cstdint>

namespace quantum {

inline constexpr int MinWindowExponent = 10;
inline constexpr int MaxWindowExponent = 21;
inline constexpr int MinLevel = 1;
inline constexpr int MaxLevel = 7;
inline constexpr std::uint32_t FrameSize = 32768; // one data block = one coder frame
// Largest payload of one block the readers take (libmspack's limit).
inline constexpr std::size_t MaxPayload = 38912;

inline constexpr std::uint32_t MinMatch = 3;
inline constexpr std::uint32_t MaxMatch = 259;

// Selectors: 0..3 literal bytes (b >> 6), 4 a match of length 3, 5 of length
// 4, 6 of length 5..259.
inline constexpr int SelectorCount = 7;
inline constexpr int SelectorLength3 = 4;
inline constexpr int SelectorLength4 = 5;
inline constexpr int SelectorLong = 6;
inline constexpr int LengthSlots = 27;
inline constexpr int MaxPositionSlots = 42;

// Largest offsets a length-3 and a length-4 match can carry (before the
// window's own limit).
inline constexpr std::uint32_t MaxOffsetLength3 = 4096;
inline constexpr std::uint32_t MaxOffsetLength4 = 262144;

constexpr int PositionExtra(int slot) {
    return slot < 2 ? 0 : (slot - 2) >> 1;
}

inline constexpr std::array<std::uint32_t, MaxPositionSlots> PositionBase = [] {
    std::array<std::uint32_t, MaxPositionSlots> b{};
    for (int s = 1; s < MaxPositionSlots; ++s)
        b[s] = b[s - 1] + (1u << PositionExtra(s - 1));
    return b;
}();

// Slot of an offset's code d = offset - 1.
inline int PositionSlot(std::uint32_t d) {
    if (d < 4) return static_cast<int>(d);
    const int top = 31 - __builtin_clz(d);
    return 2 * top + static_cast<int>((d >> (top - 1)) & 1);
}

constexpr int LengthExtra(int slot) {
    return slot >= 26 ? 0 : (slot < 2 ? 0 : (slot - 2) >> 2);
}

inline constexpr std::array<std::uint32_t, LengthSlots> LengthBase = [] {
    std::array<std::uint32_t, LengthSlots> b{};
    for (int s = 1; s < 26; ++s)
        b[s] = b[s - 1] + (1u << LengthExtra(s - 1));
    b[26] = 254;
    return b;
}();

// Slot of a long match's code l = length - 5 (0..254).
inline constexpr std::array<std::uint8_t, 255> LengthSlotOf = [] {
    std::array<std::uint8_t, 255> t{};
    for (int l = 0; l < 255; ++l) {
        int s = 0;
        while (s + 1 < LengthSlots && LengthBase[s + 1] <= static_cast<std::uint32_t>(l))
            ++s;
        t[l] = static_cast<std::uint8_t>(s);
    }
    return t;
}();

// Sizes of the three position models for a window of 2^w bytes.
inline int PositionModelSize(int selector, int w) {
    if (selector == SelectorLength3) return 2 * w < 24 ? 2 * w : 24;
    if (selector == SelectorLength4) return 2 * w < 36 ? 2 * w : 36;
    return 2 * w;
}

} // namespace quantum
