// The LZX codec of the cabinet engine.
#pragma once

#include "Codec.h"

#include <memory>

namespace cab {

// LZX with a window of 2^windowExponent bytes (15 to 21); null for another window.
std::unique_ptr<Codec> MakeLzxCodec(int windowExponent);

// The registry's entry: code 3 with the window exponent in bits 8 to 12.
extern const CodecEntry LzxCodecEntry;

} // namespace cab
