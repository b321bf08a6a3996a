#include "Codec.h"

namespace cab {

// LZX is not built yet.
std::unique_ptr<Codec> MakeLzxCodec(int) { return nullptr; }

} // namespace cab
