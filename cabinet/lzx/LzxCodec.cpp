#include "Codec.h"
#include "LzxEncoder.h"

namespace cab {

namespace {

class LzxCodec final : public Codec {
  public:
    explicit LzxCodec(int w) : encoder_(w) {}
    void BeginFolder() override { encoder_.BeginFolder(); }
    bool Put(const std::uint8_t* data, std::size_t size) override {
        return encoder_.PutFrame(data, size);
    }
    bool EndFolder() override {
        encoder_.EndFolder();
        return true;
    }
    bool Take(CompressedBlock& block) override {
        lzx::Payload p;
        if (!encoder_.Take(p)) return false;
        block.data = std::move(p.data);
        block.uncompressedSize = static_cast<std::uint16_t>(p.uncompressedSize);
        return true;
    }

  private:
    lzx::Encoder encoder_;
};

} // namespace

std::unique_ptr<Codec> MakeLzxCodec(int windowExponent) {
    if (windowExponent < lzx::MinWindowExponent || windowExponent > lzx::MaxWindowExponent)
        return nullptr;
    return std::make_unique<LzxCodec>(windowExponent);
}

} // namespace cab
