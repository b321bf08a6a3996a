// Bit output in LZX order: 16-bit little-endian words filled from their most
// significant bit.
#pragma once

#include <cstdint>
#include <vector>

namespace lzx {

class BitWriter {
  public:
    // Appends the low n bits of value (n <= 32), most significant first.
    void Put(std::uint32_t value, int n) {
        if (n == 0) return;
        acc_ = (acc_ << n) | (value & ((n == 32) ? 0xFFFFFFFFu : ((1u << n) - 1)));
        bits_ += n;
        while (bits_ >= 16) {
            bits_ -= 16;
            std::uint32_t word = static_cast<std::uint32_t>(acc_ >> bits_) & 0xFFFF;
            out_.push_back(static_cast<std::uint8_t>(word));
            out_.push_back(static_cast<std::uint8_t>(word >> 8));
        }
    }
    // Zero bits up to the next word boundary; nothing when already there.
    void Align() {
        if (bits_ != 0) Put(0, 16 - bits_);
    }
    // The padding before raw bytes: 1 to 16 zero bits, a whole word when the
    // writer already sits on a boundary.
    void AlignForBytes() { Put(0, bits_ == 0 ? 16 : 16 - bits_); }
    // Raw bytes; only valid on a word boundary.
    void PutBytes(const std::uint8_t* p, std::size_t n) { out_.insert(out_.end(), p, p + n); }
    bool Aligned() const { return bits_ == 0; }
    std::size_t BitCount() const { return out_.size() * 8 + static_cast<std::size_t>(bits_); }
    // Hands out the bytes written so far (the writer must be aligned).
    std::vector<std::uint8_t> TakeBytes() {
        std::vector<std::uint8_t> r;
        r.swap(out_);
        return r;
    }

  private:
    std::uint64_t acc_ = 0;
    int bits_ = 0;
    std::vector<std::uint8_t> out_;
};

} // namespace lzx
