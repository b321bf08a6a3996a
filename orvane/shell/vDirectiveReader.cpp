#include "vDirectiveReader.h"

#include <limits>

namespace {

constexpr char CR = 13;
constexpr char LF = 10;
constexpr char CtrlZ = 26;

bool IsBlankOrControl(int c) {
    return c <= ' ';
}

} // namespace

bool TDirectiveReader::Open(const std::string& path) {
    Close();
    failed_ = false;
    return file_.Open(path, plat::OpenMode::Read);
}

void TDirectiveReader::Close() {
    file_.Close();
    pos_ = size_ = 0;
    end_ = false;
}

void TDirectiveReader::Fill() {
    if (end_ || pos_ < size_) return;
    pos_ = size_ = 0;
    if (!file_.IsOpen()) {
        end_ = true;
        return;
    }
    std::int64_t n = plat::ReadFile(file_.Handle(), buffer_, sizeof buffer_);
    if (n < 0) failed_ = true;
    if (n <= 0) {
        end_ = true;
        return;
    }
    size_ = static_cast<std::size_t>(n);
}

int TDirectiveReader::Peek() {
    Fill();
    if (end_) return -1;
    char c = buffer_[pos_];
    if (c == CtrlZ) {
        end_ = true;
        return -1;
    }
    return static_cast<unsigned char>(c);
}

bool TDirectiveReader::Eof() {
    return Peek() < 0;
}

std::string TDirectiveReader::ReadLine() {
    std::string line;
    for (int c = Peek(); c >= 0; c = Peek()) {
        ++pos_;
        if (c == CR) {
            if (Peek() == LF) ++pos_;
            break;
        }
        line += static_cast<char>(c);
    }
    return line;
}

bool TDirectiveReader::ParseInteger(const std::string& token, std::int32_t& value) {
    value = 0;
    std::size_t i = 0;
    bool negative = false;
    if (i < token.size() && (token[i] == '+' || token[i] == '-')) negative = token[i++] == '-';
    if (i == token.size()) return false;
    std::int64_t v = 0;
    for (; i < token.size(); ++i) {
        if (token[i] < '0' || token[i] > '9') return false;
        v = v * 10 + (token[i] - '0');
        if (v > std::int64_t(std::numeric_limits<std::int32_t>::max()) + 1) return false;
    }
    if (negative) v = -v;
    if (v > std::numeric_limits<std::int32_t>::max()) return false;
    value = static_cast<std::int32_t>(v);
    return true;
}

bool TDirectiveReader::ReadInteger(std::int32_t& value) {
    value = 0;
    int c = Peek();
    while (c >= 0 && IsBlankOrControl(c)) {
        ++pos_;
        c = Peek();
    }
    if (c < 0) return true;
    std::string token;
    while (c >= 0 && !IsBlankOrControl(c)) {
        token += static_cast<char>(c);
        ++pos_;
        c = Peek();
    }
    ReadLine();
    return ParseInteger(token, value);
}
