#include "Text.h"

namespace {
bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

std::string ShortenedLine(const std::string& line, std::size_t limit) {
    static const std::string gap = " ... ";
    if (line.size() <= limit || limit <= gap.size() + 2) return line;
    const std::size_t keep = limit - gap.size();
    std::size_t head = keep - keep / 2, tail = line.size() - keep / 2;
    while (head > 0 && IsContinuationByte(line[head]))
        --head;
    while (tail < line.size() && IsContinuationByte(line[tail]))
        ++tail;
    return line.substr(0, head) + gap + line.substr(tail);
}
} // namespace

std::string ShortenedText(const std::string& text, std::size_t limit) {
    std::string out;
    std::string::size_type start = 0;
    for (;;) {
        const std::string::size_type end = text.find('\r', start);
        out += ShortenedLine(text.substr(start, end - start), limit);
        if (end == std::string::npos) return out;
        out += '\r';
        start = end + 1;
    }
}
