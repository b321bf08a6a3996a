// Which block codec serves a compression code. The engine asks an installed
// factory first, so tests can run it with codecs that behave differently (for
// instance ones that hold blocks back, as an LZX encoder may).
#pragma once

#include "Codec.h"
#include "fci.h"

#include <memory>

namespace cab {

// The built-in choice: none, MSZIP, LZX with a window of 2^15 to 2^21, Quantum
// (code 2 alone: level 7 with a window of 2^21); null for any other code and
// for LZX while no LZX codec is available.
std::unique_ptr<Codec> MakeCodec(TCOMP type);

// A factory returning null for a code leaves it to the built-in choice.
using CodecFactory = std::unique_ptr<Codec> (*)(TCOMP type);
void SetCodecFactory(CodecFactory factory); // null removes it

} // namespace cab
