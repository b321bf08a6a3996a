// The MSZIP codec: deflate through zlib, one data block at a time.
#pragma once

#include "Codec.h"

#include <memory>

namespace cab {

// Zlib settings of the MSZIP codec: a level, and when maxChain is set, the
// match search limits of deflateTune. The default was chosen by measurement
// on the benchmark corpus (bench/run-cab).
struct MsZipTuning {
    int level = 6;
    int goodLength = 4;
    int maxLazy = 16;
    int niceLength = 64;
    int maxChain = 96;
};

// MSZIP: each block is "CK" followed by a raw deflate stream that ends with a
// final block. Every block after the first of a folder may refer back into the
// block before it. Data that does not compress is stored.
std::unique_ptr<Codec> MakeMsZipCodec(const MsZipTuning& tuning = MsZipTuning{});

// The registry's entry: code 1, no parameters, with the default tuning.
extern const CodecEntry MsZipCodecEntry;

} // namespace cab
