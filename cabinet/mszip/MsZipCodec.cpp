#include "MsZipCodec.h"

#include <cstring>
#include <zlib.h>

namespace cab {

namespace {

// One deflate stream runs through the whole folder, so every block can refer
// back into the one before it without the cost of a preset dictionary. Each
// block is cut with a sync flush (a byte boundary, history kept) and closed
// with an empty final block of fixed codes, which makes it a complete deflate
// stream of its own as the format requires.
class MsZipCodec final : public QueueingCodec {
  public:
    explicit MsZipCodec(const MsZipTuning& t) : tuning_(t) {
        ok_ = deflateInit2(&zs_, t.level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~MsZipCodec() override {
        if (ok_) deflateEnd(&zs_);
    }
    MsZipCodec(const MsZipCodec&) = delete;
    MsZipCodec& operator=(const MsZipCodec&) = delete;

    void BeginFolder() override {
        Reset();
        if (ok_) ok_ = deflateReset(&zs_) == Z_OK;
        // A reset brings back the level's own search limits.
        if (ok_ && tuning_.maxChain > 0)
            ok_ = deflateTune(&zs_, tuning_.goodLength, tuning_.maxLazy, tuning_.niceLength,
                              tuning_.maxChain) == Z_OK;
    }

    bool Put(const std::uint8_t* data, std::size_t size) override {
        if (!ok_ || size == 0 || size > BlockSize) return false;
        CompressedBlock b;
        b.uncompressedSize = static_cast<std::uint16_t>(size);
        b.data.resize(2 + size + size / 8 + 64);
        b.data[0] = 'C';
        b.data[1] = 'K';
        std::size_t produced = 2;
        zs_.next_in = const_cast<Bytef*>(data);
        zs_.avail_in = static_cast<uInt>(size);
        for (;;) {
            zs_.next_out = b.data.data() + produced;
            zs_.avail_out = static_cast<uInt>(b.data.size() - produced);
            int rc = deflate(&zs_, Z_SYNC_FLUSH);
            produced = b.data.size() - zs_.avail_out;
            if (rc != Z_OK && rc != Z_BUF_ERROR) {
                ok_ = false;
                return false;
            }
            if (zs_.avail_out != 0) break; // everything is out
            b.data.resize(b.data.size() * 2);
        }
        if (zs_.avail_in != 0) {
            ok_ = false;
            return false;
        }
        if (produced - 2 + FinalBlockSize > size + StoredOverhead) {
            // Never larger than one stored deflate block.
            b.data.resize(2 + StoredOverhead + size);
            std::uint8_t* p = b.data.data() + 2;
            p[0] = 0x01; // final block, stored
            p[1] = static_cast<std::uint8_t>(size);
            p[2] = static_cast<std::uint8_t>(size >> 8);
            p[3] = static_cast<std::uint8_t>(~size);
            p[4] = static_cast<std::uint8_t>(~size >> 8);
            std::memcpy(p + StoredOverhead, data, size);
        } else {
            // BFINAL 1, fixed codes, end of block: ten bits.
            b.data.resize(produced + FinalBlockSize);
            b.data[produced] = 0x03;
            b.data[produced + 1] = 0x00;
        }
        ready_.push_back(std::move(b));
        return true;
    }

  private:
    static constexpr std::size_t StoredOverhead = 5;
    static constexpr std::size_t FinalBlockSize = 2;
    MsZipTuning tuning_;
    z_stream zs_{};
    bool ok_ = false;
};

std::unique_ptr<Codec> MakeForCode(std::uint16_t code) {
    if (code != 0x0001) return nullptr; // MSZIP has no parameters
    return std::make_unique<MsZipCodec>(MsZipTuning{});
}

} // namespace

// A stored deflate block of 32768 bytes with its header, after "CK".
const CodecEntry MsZipCodecEntry{0x0001, "MSZIP", static_cast<std::uint32_t>(BlockSize + 12),
                                 MakeForCode};

std::unique_ptr<Codec> MakeMsZipCodec(const MsZipTuning& tuning) {
    return std::make_unique<MsZipCodec>(tuning);
}

} // namespace cab
