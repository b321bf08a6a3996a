#include "CabFormat.h"

namespace cab {

std::uint32_t Checksum(const std::uint8_t* data, std::size_t size, std::uint32_t seed) {
    std::uint32_t sum = seed;
    std::size_t words = size / 4;
    for (std::size_t i = 0; i < words; ++i, data += 4) {
        sum ^= static_cast<std::uint32_t>(data[0]) | static_cast<std::uint32_t>(data[1]) << 8 |
               static_cast<std::uint32_t>(data[2]) << 16 |
               static_cast<std::uint32_t>(data[3]) << 24;
    }
    // The leftover bytes count most significant first.
    std::uint32_t tail = 0;
    for (std::size_t i = 0; i < size % 4; ++i)
        tail = tail << 8 | data[i];
    return sum ^ tail;
}

std::uint32_t DataBlockChecksum(const std::uint8_t* payload, std::uint16_t cbData,
                                std::uint16_t cbUncomp) {
    std::uint8_t sizes[4];
    Put16(sizes, cbData);
    Put16(sizes + 2, cbUncomp);
    return Checksum(sizes, sizeof sizes, Checksum(payload, cbData, 0));
}

bool IsUtf8WithHighBytes(std::string_view name) {
    bool high = false;
    for (std::size_t i = 0; i < name.size();) {
        auto c = static_cast<unsigned char>(name[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        high = true;
        std::size_t len;
        std::uint32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + len > name.size()) return false;
        for (std::size_t k = 1; k < len; ++k) {
            auto cc = static_cast<unsigned char>(name[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = cp << 6 | (cc & 0x3F);
        }
        // No overlong forms, no surrogates, nothing beyond U+10FFFF.
        if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return high;
}

} // namespace cab
