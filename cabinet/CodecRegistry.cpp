#include "CodecRegistry.h"

namespace cab {

// Generated from the codec folders of the build (CodecTable.cpp.in).
extern const CodecEntry* const CodecTable[];
extern const std::size_t CodecTableSize;

namespace {

// "none": blocks are stored as they are.
class StoreCodec final : public QueueingCodec {
  public:
    void BeginFolder() override { Reset(); }
    bool Put(const std::uint8_t* data, std::size_t size) override {
        if (size == 0 || size > BlockSize) return false;
        CompressedBlock b;
        b.data.assign(data, data + size);
        b.uncompressedSize = static_cast<std::uint16_t>(size);
        ready_.push_back(std::move(b));
        return true;
    }
};

std::unique_ptr<Codec> MakeStore(std::uint16_t code) {
    if (code != tcompTYPE_NONE) return nullptr;
    return std::make_unique<StoreCodec>();
}

constexpr CodecEntry StoreEntry{tcompTYPE_NONE, "none", static_cast<std::uint32_t>(BlockSize),
                                MakeStore};

} // namespace

CodecList RegisteredCodecs() {
    return CodecList{CodecTable, CodecTableSize};
}

const CodecEntry* FindCodec(TCOMP type) {
    const std::uint16_t method = type & 0x000F;
    if (method == StoreEntry.method) return &StoreEntry;
    for (std::size_t i = 0; i < CodecTableSize; ++i)
        if (CodecTable[i]->method == method) return CodecTable[i];
    return nullptr;
}

std::unique_ptr<Codec> MakeCodec(TCOMP type) {
    const CodecEntry* entry = FindCodec(type);
    return entry ? entry->make(type) : nullptr;
}

} // namespace cab
