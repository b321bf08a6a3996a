// Block compressors of the cabinet engine. A folder's data is cut into blocks
// of 32768 uncompressed bytes (the last block of a folder may be shorter); a
// codec turns them into the compressed payloads of the folder's data blocks.
// A codec may hold blocks back (to look ahead across several of them) and hands
// them out in order once they are finished.
#pragma once

#include <cstddef>
#include <cstdint>
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

// LZX with a window of 2^windowExponent bytes (15 to 21); null when not available.
std::unique_ptr<Codec> MakeLzxCodec(int windowExponent);

// Quantum at level 1 (fast) to 7 (best) with a window of 2^windowExponent bytes
// (10 to 21); null when not available.
std::unique_ptr<Codec> MakeQuantumCodec(int level, int windowExponent);

} // namespace cab
