// The engine's registry of codecs: the "none" codec of the engine itself and
// the entry of every codec folder of the build (the table is generated from
// the cabinet_codec() calls of the folders). It is constant; a writer may be
// given a factory of its own to try first.
#pragma once

#include "Codec.h"
#include "fci.h"

#include <cstddef>
#include <memory>

namespace cab {

// The entries of the codec folders, in the order the build named them.
struct CodecList {
    const CodecEntry* const* entries;
    std::size_t count;
};
CodecList RegisteredCodecs();

// The entry serving a compression code's method; null when no codec has it.
const CodecEntry* FindCodec(TCOMP type);

// The registry's codec for a compression code; null for an unknown method or
// parameters its codec refuses.
std::unique_ptr<Codec> MakeCodec(TCOMP type);

// A factory that returns null for a code leaves it to the registry.
using CodecFactory = std::unique_ptr<Codec> (*)(TCOMP type);

// Gives one compression context a factory of its own (null removes it), so
// that tests can run the engine with codecs that behave differently, for
// instance ones that hold blocks back. False for a handle that is no context.
bool SetContextCodecFactory(HFCI hfci, CodecFactory factory);

} // namespace cab
