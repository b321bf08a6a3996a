// The adaptive frequency models and the arithmetic coder of Quantum.
//
// A model keeps its symbols in index order with cumulative frequencies
// cf[0] (the total) > cf[1] > ... > cf[n] = 0; the symbol at index k owns
// [cf[k+1], cf[k]). The coder works on 16-bit bounds, restarts at every frame
// and writes one MSB-first bitstream per frame. Raw fields (the extra bits of
// offsets and lengths) are not arithmetic-coded: the decoder reads them from
// its read position, which runs 16 code bits ahead of its coder, so each field
// goes into the stream 16 code bits after the point where it was coded.
#pragma once

#include <cstdint>
#include <vector>

namespace quantum {

class Model {
  public:
    static constexpr int MaxSymbols = 64;
    static constexpr std::uint32_t Increment = 8;
    static constexpr std::uint32_t Limit = 3800; // rescale when the total exceeds this

    // Every symbol first..first+n-1 with frequency 1, in ascending order.
    void Init(int first, int n) {
        n_ = n;
        first_ = first;
        shiftsLeft_ = 4;
        for (int i = 0; i < n; ++i) {
            sym_[i] = static_cast<std::uint8_t>(i);
            index_[i] = static_cast<std::uint8_t>(i);
            cf_[i] = static_cast<std::uint16_t>(n - i);
        }
        cf_[n] = 0;
    }
    int Size() const { return n_; }
    // Index of a symbol value (first..first+n-1).
    int IndexOf(int value) const { return index_[value - first_]; }
    std::uint32_t Total() const { return cf_[0]; }
    std::uint32_t Cum(int k) const { return cf_[k]; }
    std::uint32_t Frequency(int k) const { return cf_[k] - cf_[k + 1]; }

    // Counts the symbol at index k once.
    void Update(int k) {
        // Over the whole table, so that the compiler can use vector adds.
        for (int i = 0; i < MaxSymbols; ++i)
            cf_[i] = static_cast<std::uint16_t>(cf_[i] + (i <= k ? Increment : 0));
        if (cf_[0] > Limit) Rescale();
    }

  private:
    void Rescale();

    int n_ = 0;
    int first_ = 0;
    int shiftsLeft_ = 4;
    std::uint16_t cf_[MaxSymbols + 1] = {};
    std::uint8_t sym_[MaxSymbols] = {};   // value - first at each index
    std::uint8_t index_[MaxSymbols] = {}; // index of each value - first
};

// MSB-first bit output into bytes.
class BitSink {
  public:
    void Put(std::uint32_t value, int n) {
        acc_ = (acc_ << n) | (value & ((1u << n) - 1));
        bits_ += n;
        while (bits_ >= 8) {
            bits_ -= 8;
            out_.push_back(static_cast<std::uint8_t>(acc_ >> bits_));
        }
    }
    int Pending() const { return bits_; }
    std::vector<std::uint8_t>& Bytes() { return out_; }
    void Clear() {
        out_.clear();
        acc_ = 0;
        bits_ = 0;
    }

  private:
    std::uint64_t acc_ = 0;
    int bits_ = 0;
    std::vector<std::uint8_t> out_;
};

class FrameCoder {
  public:
    void Begin(std::vector<std::uint8_t>&& storage);
    // Codes the symbol at index k of the model (the model is not updated here).
    void Encode(const Model& m, int k) {
        const std::uint32_t r = h_ - l_ + 1;
        const std::uint32_t total = m.Total();
        h_ = l_ + (r * m.Cum(k)) / total - 1;
        l_ = l_ + (r * m.Cum(k + 1)) / total;
        // Shift out the leading bits L and H share (E1/E2)...
        const int same = __builtin_clz((l_ ^ h_) << 16); // L < H: fewer than 16
        if (same != 0) {
            EmitWithPending(l_ >> 15);
            if (same > 1) EmitBits((l_ >> (16 - same)) & ((1u << (same - 1)) - 1), same - 1);
            l_ = (l_ << same) & 0xFFFF;
            h_ = ((h_ << same) | ((1u << same) - 1)) & 0xFFFF;
            shifts_ += same;
        }
        // ...then, while L = 01... and H = 10..., drop their second bits (E3);
        // after that the first bits differ, so nothing else can follow.
        const std::uint32_t straddle = (l_ & ~h_) << 17; // bit 14 moves to bit 31
        const int run = __builtin_clz(~straddle);        // the low 17 bits stop the count
        if (run != 0) {
            underflow_ += run;
            l_ = (l_ << run) & 0x7FFF;
            h_ = ((h_ << run) | ((1u << run) - 1) | 0x8000) & 0xFFFF;
            shifts_ += run;
        }
    }
    // Queues a raw field of n bits (0 to 19) behind the symbol coded last.
    void Raw(std::uint32_t value, int n) {
        if (n == 0) return;
        if (fields_.empty() || fieldHead_ == fields_.size()) nextField_ = 16 + shifts_;
        fields_.push_back({16 + shifts_, value, n});
    }
    // Ends the frame: the final 16 code bits, the raw fields still queued, at
    // least two zero bits and zero padding to a byte. Returns the payload.
    std::vector<std::uint8_t> Finish();

  private:
    struct Field {
        std::uint32_t pos; // code bit the field precedes
        std::uint32_t value;
        int bits;
    };
    void Emit(std::uint32_t bit) {
        if (emitted_ == nextField_) WriteFields();
        out_.Put(bit, 1);
        ++emitted_;
    }
    // Emits n code bits (n <= 24), MSB first.
    void EmitBits(std::uint32_t bits, int n) {
        if (nextField_ - emitted_ < static_cast<std::uint32_t>(n)) {
            for (int i = n - 1; i >= 0; --i)
                Emit((bits >> i) & 1);
            return;
        }
        out_.Put(bits, n);
        emitted_ += static_cast<std::uint32_t>(n);
    }
    void EmitWithPending(std::uint32_t bit) {
        Emit(bit);
        const std::uint32_t fill = bit ? 0 : 0xFFFFFF;
        for (; underflow_ > 24; underflow_ -= 24)
            EmitBits(fill, 24);
        if (underflow_ > 0) EmitBits(fill & ((1u << underflow_) - 1), static_cast<int>(underflow_));
        underflow_ = 0;
    }
    void WriteFields();

    std::uint32_t l_ = 0, h_ = 0xFFFF;
    std::uint32_t underflow_ = 0;
    std::uint32_t shifts_ = 0;
    std::uint32_t emitted_ = 0;
    std::uint32_t nextField_ = UINT32_MAX;
    std::vector<Field> fields_;
    std::size_t fieldHead_ = 0;
    BitSink out_;
};

} // namespace quantum
