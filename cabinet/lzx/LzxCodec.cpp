#include "LzxCodec.h"

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

// Code 3 with the window exponent in bits 8 to 12 and nothing else.
std::unique_ptr<Codec> MakeForCode(std::uint16_t code) {
    if ((code & 0xE0F0) != 0) return nullptr;
    return MakeLzxCodec(code >> 8);
}

} // namespace

// A block that does not compress grows by an uncompressed block's header.
const CodecEntry LzxCodecEntry{0x0003, "LZX", 32768 + 6144, MakeForCode};

std::unique_ptr<Codec> MakeLzxCodec(int windowExponent) {
    if (windowExponent < lzx::MinWindowExponent || windowExponent > lzx::MaxWindowExponent)
        return nullptr;
    return std::make_unique<LzxCodec>(windowExponent);
}

} // namespace cab
