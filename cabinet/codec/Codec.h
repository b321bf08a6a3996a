// The codec interface of the cabinet engine: everything a compression method
// sees of the engine. A folder's data is cut into blocks of 32768 uncompressed
// bytes (the last block of a folder may be shorter); a codec turns them into
// the compressed payloads of the folder's data blocks. A codec may hold blocks
// back (to look ahead across several of them) and hands them out in order once
// they are finished.
//
// Each method's folder defines one CodecEntry and names it to the build with
// cabinet_codec() in its CMakeLists.txt; the engine's registry lists them all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

namespace cab {

inline constexpr std::size_t BlockSize = 32768;

struct CompressedBlock {
    std::vector<std::uint8_t> data;     // payload of one data block
    std::uint16_t uncompressedSize = 0; // bytes it expands to
};

class Codec {
  public:
    virtual ~Codec() = default;
    // Starts a new folder: nothing of an earlier folder is referred to any more.
    virtual void BeginFolder() = 0;
    // Takes one block of input: BlockSize bytes unless it is the folder's last.
    virtual bool Put(const std::uint8_t* data, std::size_t size) = 0;
    // No more input for this folder: everything still held back is finished.
    virtual bool EndFolder() = 0;
    // Hands out the next finished block, in input order; false when none is ready.
    virtual bool Take(CompressedBlock& block) = 0;
};

// A codec that finishes every block as it is put: finished blocks wait here,
// in input order, until they are taken.
class QueueingCodec : public Codec {
  public:
    bool EndFolder() override { return true; }
    bool Take(CompressedBlock& block) override {
        if (ready_.empty()) return false;
        block = std::move(ready_.front());
        ready_.pop_front();
        return true;
    }

  protected:
    void Reset() { ready_.clear(); }
    std::deque<CompressedBlock> ready_;
};

// One compression method as the engine's registry knows it.
struct CodecEntry {
    std::uint16_t method;     // the low four bits of a compression code
    const char* name;         // for messages
    std::uint32_t maxPayload; // largest payload of one data block
    // The codec for a whole compression code of this method, whose upper bits
    // carry the method's parameters; null when they are not valid.
    std::unique_ptr<Codec> (*make)(std::uint16_t code);
};

} // namespace cab
