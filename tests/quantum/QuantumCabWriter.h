// A minimal single-cabinet writer for the Quantum tests: folders of files,
// each compressed through cab::MakeQuantumCodec with its own level and window,
// data blocks without checksums.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quantumtest {

struct CabFile {
    std::string name;
    std::string data;
};

struct CabFolder {
    int level = 7;
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

// The payloads of one folder holding data, in block order.
bool CompressFolder(int level, int windowExponent, const std::string& data,
                    std::vector<std::string>& payloads);

} // namespace quantumtest
