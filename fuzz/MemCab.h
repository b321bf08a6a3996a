// Cabinets in memory: libmspack reads them back through an in-memory file
// system, and FrameFolder wraps one folder of compressed blocks in a cabinet
// so a block encoder can be judged on its own.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace fuzz {

using MemFiles = std::map<std::string, std::string>; // name -> bytes

struct CabEntry {
    std::string name;
    std::string data;
};

// Opens the cabinets named (a set, in order) from files with libmspack, joins
// them and extracts every file in the order the set lists them. False with the
// reason when libmspack refuses the set or a file in it.
bool ReadCabinets(const MemFiles& files, const std::vector<std::string>& cabNames,
                  std::vector<CabEntry>& out, std::string& error);

struct FolderBlock {
    std::vector<std::uint8_t> data; // compressed payload
    std::uint32_t uncompressedSize = 0;
};

// A single cabinet holding one folder of the given compression type (the
// typeCompress value of a folder record) made of blocks, whose uncompressed
// bytes are the contents of files one after the other.
std::string FrameFolder(std::uint16_t typeCompress, const std::vector<FolderBlock>& blocks,
                        const std::vector<CabEntry>& files);

} // namespace fuzz
