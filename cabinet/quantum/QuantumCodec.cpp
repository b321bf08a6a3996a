#include "QuantumCodec.h"
#include "QuantumEncoder.h"

namespace cab {

namespace {

class QuantumCodec final : public QueueingCodec {
  public:
    QuantumCodec(int level, int w) : encoder_(w, level) {}
    void BeginFolder() override {
        encoder_.BeginFolder();
        Reset();
    }
    bool Put(const std::uint8_t* data, std::size_t size) override {
        CompressedBlock block;
        if (!encoder_.EncodeBlock(data, size, block.data)) return false;
        block.uncompressedSize = static_cast<std::uint16_t>(size);
        ready_.push_back(std::move(block));
        return true;
    }

  private:
    quantum::Encoder encoder_;
};

// Code 2 with the level in bits 4 to 7 and the window exponent in bits 8 to 12;
// both zero ask for the best: level 7, window 2^21.
std::unique_ptr<Codec> MakeForCode(std::uint16_t code) {
    if ((code & 0xE000) != 0) return nullptr;
    const int level = (code >> 4) & 0xF;
    const int window = (code >> 8) & 0x1F;
    if (level == 0 && window == 0)
        return MakeQuantumCodec(quantum::MaxLevel, quantum::MaxWindowExponent);
    return MakeQuantumCodec(level, window);
}

} // namespace

const CodecEntry QuantumCodecEntry{0x0002, "Quantum", 32768 + 6144, MakeForCode};

std::unique_ptr<Codec> MakeQuantumCodec(int level, int windowExponent) {
    if (level < quantum::MinLevel || level > quantum::MaxLevel) return nullptr;
    if (windowExponent < quantum::MinWindowExponent || windowExponent > quantum::MaxWindowExponent)
        return nullptr;
    return std::make_unique<QuantumCodec>(level, windowExponent);
}

} // namespace cab
