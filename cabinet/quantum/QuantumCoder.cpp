#include "QuantumCoder.h"

#include <utility>

namespace quantum {

void Model::Rescale() {
    if (--shiftsLeft_ != 0) {
        // Halve every frequency, keeping the totals strictly decreasing.
        for (int i = n_ - 1; i >= 0; --i) {
            cf_[i] = static_cast<std::uint16_t>(cf_[i] >> 1);
            if (cf_[i] <= cf_[i + 1]) cf_[i] = static_cast<std::uint16_t>(cf_[i + 1] + 1);
        }
        return;
    }
    // Every 50th time (the first time the 4th): halve the frequencies and move
    // the frequent symbols to the front. The decoders use exactly this
    // exchange sort; another sort orders ties differently.
    shiftsLeft_ = 50;
    std::uint16_t f[MaxSymbols];
    for (int i = 0; i < n_; ++i)
        f[i] = static_cast<std::uint16_t>((cf_[i] - cf_[i + 1] + 1) >> 1);
    for (int i = 0; i < n_ - 1; ++i) {
        for (int j = i + 1; j < n_; ++j) {
            if (f[i] < f[j]) {
                std::swap(f[i], f[j]);
                std::swap(sym_[i], sym_[j]);
            }
        }
    }
    cf_[n_] = 0;
    for (int i = n_ - 1; i >= 0; --i)
        cf_[i] = static_cast<std::uint16_t>(cf_[i + 1] + f[i]);
    for (int i = 0; i < n_; ++i)
        index_[sym_[i]] = static_cast<std::uint8_t>(i);
}

void FrameCoder::Begin(std::vector<std::uint8_t>&& storage) {
    l_ = 0;
    h_ = 0xFFFF;
    underflow_ = 0;
    shifts_ = 0;
    emitted_ = 0;
    nextField_ = UINT32_MAX;
    fields_.clear();
    fieldHead_ = 0;
    out_.Clear();
    storage.clear();
    out_.Bytes().swap(storage);
}

void FrameCoder::WriteFields() {
    while (fieldHead_ < fields_.size() && fields_[fieldHead_].pos == emitted_) {
        out_.Put(fields_[fieldHead_].value, fields_[fieldHead_].bits);
        ++fieldHead_;
    }
    nextField_ = fieldHead_ < fields_.size() ? fields_[fieldHead_].pos : UINT32_MAX;
}

std::vector<std::uint8_t> FrameCoder::Finish() {
    // Any value in [L, H] ends the frame; L itself is one. Its first bit
    // releases the pending underflow bits, and the decoder reads 16 code bits
    // beyond the last shift.
    const std::uint32_t v = l_;
    EmitWithPending(v >> 15);
    for (int b = 14; b >= 0; --b)
        Emit((v >> b) & 1);
    // Fields placed after the last code bit.
    if (emitted_ == nextField_) WriteFields();
    // Two zero bits at least, then zeros up to the byte boundary.
    out_.Put(0, 2);
    if (out_.Pending() != 0) out_.Put(0, 8 - out_.Pending());
    std::vector<std::uint8_t> r;
    r.swap(out_.Bytes());
    return r;
}

} // namespace quantum
