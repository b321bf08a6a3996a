#include "Text.h"

std::string ShortenedText(const std::string& text, std::size_t limit) {
    constexpr std::size_t Elision = 3;
    if (text.size() <= limit || limit <= Elision + 2) return text;
    const std::size_t keep = limit - Elision;
    const std::size_t head = keep / 2;
    return text.substr(0, head) + "..." + text.substr(text.size() - (keep - head));
}
