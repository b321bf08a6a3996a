#include "Codec.h"
#include "QuantumEncoder.h"

#include <deque>

namespace cab {

namespace {

class QuantumCodec final : public Codec {
  public:
    QuantumCodec(int level, int w) : encoder_(w, level) {}
    void BeginFolder() override {
        encoder_.BeginFolder();
        ready_.clear();
    }
    bool Put(const std::uint8_t* data, std::size_t size) override {
        CompressedBlock block;
        if (!encoder_.EncodeBlock(data, size, block.data)) return false;
        block.uncompressedSize = static_cast<std::uint16_t>(size);
        ready_.push_back(std::move(block));
        return true;
    }
    bool EndFolder() override { return true; }
    bool Take(CompressedBlock& block) override {
        if (ready_.empty()) return false;
        block = std::move(ready_.front());
        ready_.pop_front();
        return true;
    }

  private:
    quantum::Encoder encoder_;
    std::deque<CompressedBlock> ready_;
};

} // namespace

std::unique_ptr<Codec> MakeQuantumCodec(int level, int windowExponent) {
    if (level < quantum::MinLevel || level > quantum::MaxLevel) return nullptr;
    if (windowExponent < quantum::MinWindowExponent || windowExponent > quantum::MaxWindowExponent)
        return nullptr;
    return std::make_unique<QuantumCodec>(level, windowExponent);
}

} // namespace cab
