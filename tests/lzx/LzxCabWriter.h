// A minimal single-cabinet writer for the LZX tests: folders of files, each
// folder compressed through cab::MakeLzxCodec, data blocks without checksums.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lzxtest {

struct CabFile {
    std::string name;
    std::string data;
};

struct CabFolder {
    int windowExponent = 21;
    std::vector<CabFile> files;
};

struct CabStats {
    std::size_t blocks = 0;
    std::size_t largestPayload = 0;
    std::size_t compressedBytes = 0; // all payloads
};

// Builds the cabinet into bytes; false when the codec refuses something.
bool BuildCabinet(const std::vector<CabFolder>& folders, std::string& out,
                  CabStats* stats = nullptr);

} // namespace lzxtest
