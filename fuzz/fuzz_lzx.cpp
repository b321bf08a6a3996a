// The LZX encoder round trip: folders built from the input (raw, or stretched
// into long inputs with repeats so that matches span frames and windows) go
// through lzx::Encoder frame by frame, its payloads are framed as a cabinet,
// and libmspack must give back every byte.
#include "FuzzCommon.h"
#include "MemCab.h"

#include "LzxEncoder.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

// Up to 70 KB from a few bytes: the bytes cycled, every copy a little changed,
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

void RoundTrip(lzx::Encoder& encoder, int window, const std::string& folder,
               const std::vector<std::size_t>& cuts) {
    encoder.BeginFolder();
    std::size_t frames = 0;
    for (std::size_t at = 0; at < folder.size(); at += lzx::FrameSize, ++frames) {
        const std::size_t n = std::min<std::size_t>(lzx::FrameSize, folder.size() - at);
        if (!encoder.PutFrame(reinterpret_cast<const std::uint8_t*>(folder.data()) + at, n))
            fuzz::Fail("lzx: frame %zu of %zu bytes refused", frames, n);
    }
    encoder.EndFolder();

    std::vector<fuzz::FolderBlock> blocks;
    lzx::Payload p;
    while (encoder.Take(p)) {
        const std::size_t at = blocks.size() * lzx::FrameSize;
        const std::size_t want =
            at < folder.size() ? std::min<std::size_t>(lzx::FrameSize, folder.size() - at) : 0;
        if (p.uncompressedSize != want)
            fuzz::Fail("lzx: payload %zu stands for %u bytes, its frame has %zu", blocks.size(),
                       p.uncompressedSize, want);
        if (p.data.empty() || p.data.size() > lzx::FrameSize + 6144)
            fuzz::Fail("lzx: payload %zu has %zu bytes", blocks.size(), p.data.size());
        blocks.push_back({std::move(p.data), p.uncompressedSize});
    }
    if (blocks.size() != frames)
        fuzz::Fail("lzx: %zu payloads for %zu frames", blocks.size(), frames);

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

    const std::uint16_t type = static_cast<std::uint16_t>(3 | (window << 8));
    fuzz::MemFiles fs{{"lzx.cab", fuzz::FrameFolder(type, blocks, files)}};
    std::vector<fuzz::CabEntry> back;
    std::string error;
    if (!fuzz::ReadCabinets(fs, {"lzx.cab"}, back, error))
        fuzz::Fail("lzx: window %d, %zu bytes: %s", window, folder.size(), error.c_str());
    if (back.size() != files.size())
        fuzz::Fail("lzx: %zu files back of %zu", back.size(), files.size());
    for (std::size_t i = 0; i < files.size(); ++i)
        if (back[i].data != files[i].data)
            fuzz::Fail("lzx: window %d, file %zu of %zu bytes comes back different", window, i,
                       files[i].data.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const int window = in.ConsumeIntegralInRange(lzx::MinWindowExponent, lzx::MaxWindowExponent);
    lzx::Tuning tuning = lzx::DefaultTuning(window);
    if (in.ConsumeBool()) {
        tuning.niceLength = in.ConsumeIntegralInRange<std::uint32_t>(8, lzx::MaxMatch);
        tuning.searchDepth = in.ConsumeIntegralInRange<std::uint32_t>(1, 64);
        tuning.passes = in.ConsumeIntegralInRange(1, 3);
        tuning.maxBlockFrames = in.ConsumeIntegralInRange<std::uint32_t>(1, 32);
    }
    const int e8 = in.ConsumeIntegralInRange(-1, 1);
    const bool stretch = in.ConsumeBool();
    const std::size_t stretchTo = in.ConsumeIntegralInRange<std::size_t>(1, 70000);
    const int folders = in.ConsumeIntegralInRange(1, 2);
    std::vector<std::size_t> cuts(in.ConsumeIntegralInRange(0, 3));
    for (std::size_t& c : cuts)
        c = in.ConsumeIntegralInRange<std::size_t>(0, 70000);
    std::sort(cuts.begin(), cuts.end());
    std::string bytes = in.ConsumeRemainingBytesAsString();
    if (stretch) bytes = Stretch(bytes, stretchTo);
    if (bytes.empty()) return 0;

    // One encoder for all folders, as the cabinet engine uses it.
    lzx::Encoder encoder(window, tuning);
    const std::size_t half = folders == 2 ? bytes.size() / 2 : bytes.size();
    for (const std::string& folder : {bytes.substr(0, half), bytes.substr(half)}) {
        if (folder.empty()) continue;
        encoder.ForceCallTranslation(e8);
        RoundTrip(encoder, window, folder, cuts);
    }
    return 0;
}
