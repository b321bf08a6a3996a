// The Quantum encoder round trip: folders built from the input (raw, or
// stretched into long inputs with repeats so that matches reach far back in
// the window and across blocks) go through quantum::Encoder block by block at
// a random level or search tuning and window; its payloads are framed as a
// cabinet, and libmspack must give back every byte.
#include "FuzzCommon.h"
#include "MemCab.h"

#include "QuantumEncoder.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

// Up to 200 KB from a few bytes: the bytes cycled, every copy a little changed,
// so a folder holds long repeats at many distances but is no pure loop.
std::string Stretch(const std::string& bytes, std::size_t size) {
    std::string out;
    if (bytes.empty()) return std::string(size, 'a');
    out.reserve(size);
    for (std::size_t copy = 0; out.size() < size; ++copy) {
        std::string piece = bytes;
        piece[copy % piece.size()] = static_cast<char>(piece[copy % piece.size()] + copy);
        out.append(piece, 0, std::min(piece.size(), size - out.size()));
    }
    return out;
}

void RoundTrip(quantum::Encoder& encoder, int level, int window, const std::string& folder,
               const std::vector<std::size_t>& cuts) {
    encoder.BeginFolder();
    std::vector<fuzz::FolderBlock> blocks;
    for (std::size_t at = 0; at < folder.size(); at += quantum::FrameSize) {
        const std::size_t n = std::min<std::size_t>(quantum::FrameSize, folder.size() - at);
        fuzz::FolderBlock block;
        if (!encoder.EncodeBlock(reinterpret_cast<const std::uint8_t*>(folder.data()) + at, n,
                                 block.data))
            fuzz::Fail("quantum: level %d, window %d: block %zu of %zu bytes refused", level,
                       window, blocks.size(), n);
        if (block.data.empty() || block.data.size() > quantum::MaxPayload)
            fuzz::Fail("quantum: block %zu has a payload of %zu bytes", blocks.size(),
                       block.data.size());
        block.uncompressedSize = static_cast<std::uint32_t>(n);
        blocks.push_back(std::move(block));
    }
    // After a short block the folder is over.
    if (folder.size() % quantum::FrameSize != 0) {
        std::vector<std::uint8_t> more;
        const std::uint8_t byte = 0;
        if (encoder.EncodeBlock(&byte, 1, more))
            fuzz::Fail("quantum: a block taken after the short last one");
    }

    // The folder as files cut at the given points.
    std::vector<fuzz::CabEntry> files;
    std::size_t from = 0;
    for (std::size_t cut : cuts) {
        cut = std::min(cut, folder.size());
        if (cut < from) continue;
        files.push_back({"f" + std::to_string(files.size()), folder.substr(from, cut - from)});
        from = cut;
    }
    files.push_back({"f" + std::to_string(files.size()), folder.substr(from)});

    const std::uint16_t type = static_cast<std::uint16_t>(2 | (level << 4) | (window << 8));
    fuzz::MemFiles fs{{"quantum.cab", fuzz::FrameFolder(type, blocks, files)}};
    std::vector<fuzz::CabEntry> back;
    std::string error;
    if (!fuzz::ReadCabinets(fs, {"quantum.cab"}, back, error))
        fuzz::Fail("quantum: level %d, window %d, %zu bytes: %s", level, window, folder.size(),
                   error.c_str());
    if (back.size() != files.size())
        fuzz::Fail("quantum: %zu files back of %zu", back.size(), files.size());
    for (std::size_t i = 0; i < files.size(); ++i)
        if (back[i].data != files[i].data)
            fuzz::Fail("quantum: level %d, window %d, file %zu of %zu bytes comes back different",
                       level, window, i, files[i].data.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const int window =
        in.ConsumeIntegralInRange(quantum::MinWindowExponent, quantum::MaxWindowExponent);
    const int level = in.ConsumeIntegralInRange(quantum::MinLevel, quantum::MaxLevel);
    quantum::Tuning tuning = quantum::LevelTuning(level);
    if (in.ConsumeBool()) {
        tuning.parse = static_cast<quantum::Tuning::Parse>(in.ConsumeIntegralInRange(0, 2));
        tuning.depth = in.ConsumeIntegralInRange<std::uint32_t>(1, 64);
        tuning.nice =
            in.ConsumeIntegralInRange<std::uint32_t>(quantum::MinMatch, quantum::MaxMatch);
        tuning.hashBits = in.ConsumeBool() ? 0 : in.ConsumeIntegralInRange(8, 20);
    }
    const bool stretch = in.ConsumeBool();
    const std::size_t stretchTo = in.ConsumeIntegralInRange<std::size_t>(1, 200000);
    const int folders = in.ConsumeIntegralInRange(1, 2);
    std::vector<std::size_t> cuts(in.ConsumeIntegralInRange(0, 3));
    for (std::size_t& c : cuts)
        c = in.ConsumeIntegralInRange<std::size_t>(0, 200000);
    std::sort(cuts.begin(), cuts.end());
    std::string bytes = in.ConsumeRemainingBytesAsString();
    if (stretch) bytes = Stretch(bytes, stretchTo);
    if (bytes.empty()) return 0;

    // One encoder for all folders, as the cabinet engine uses it.
    quantum::Encoder encoder(window, tuning);
    const std::size_t half = folders == 2 ? bytes.size() / 2 : bytes.size();
    for (const std::string& folder : {bytes.substr(0, half), bytes.substr(half)})
        if (!folder.empty()) RoundTrip(encoder, level, window, folder, cuts);
    return 0;
}
