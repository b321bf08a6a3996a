// Cabinets written through the cabinet engine in memory, for the tests of its
// block codecs, and the round trip that judges them with every reader.
#pragma once

#include "fci.h"

#include <cstddef>
#include <string>
#include <vector>

namespace cabtest {

struct CabFile {
    std::string name;
    std::string data;
};

struct CabFolder {
    TCOMP type = tcompTYPE_MSZIP;
    std::vector<CabFile> files;
};

// The data blocks of a cabinet.
struct CabStats {
    std::size_t blocks = 0;
    std::size_t largestPayload = 0;
    std::size_t compressedBytes = 0; // all payloads
};

// Quantum at level 1 to 7 with a window of 2^windowExponent bytes.
constexpr TCOMP TcompQuantum(int level, int windowExponent) {
    return static_cast<TCOMP>(tcompTYPE_QUANTUM | level << 4 | windowExponent << 8);
}

// Writes the folders into one cabinet, each folder ended before the next one
// begins, every file dated 2020-01-02 03:04:06; false when the engine refuses.
bool BuildCabinet(const std::vector<CabFolder>& folders, std::string& out,
                  CabStats* stats = nullptr);

// Builds the cabinet, checks its layout and the readers' payload limit, and
// has cabextract, 7-Zip and libmspack give back every file byte for byte.
CabStats ExpectRoundTrip(const std::vector<CabFolder>& folders);

} // namespace cabtest
