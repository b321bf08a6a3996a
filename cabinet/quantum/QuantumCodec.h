// The Quantum codec of the cabinet engine.
#pragma once

#include "Codec.h"

#include <memory>

namespace cab {

// Quantum at level 1 (fast) to 7 (best) with a window of 2^windowExponent bytes
// (10 to 21); null for other values.
std::unique_ptr<Codec> MakeQuantumCodec(int level, int windowExponent);

// The registry's entry: code 2 with the level in bits 4 to 7 and the window
// exponent in bits 8 to 12; both zero mean level 7 with a window of 2^21.
extern const CodecEntry QuantumCodecEntry;

} // namespace cab
