// Test-side view of cabinet files: an independent parser that checks every
// rule the readers enforce and decodes single cabinets (none and MSZIP).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace cabtest {

struct CabImage {
    struct Block {
        std::uint32_t csum = 0;
        std::uint16_t cbData = 0, cbUncomp = 0;
        std::string payload;
    };
    struct Folder {
        std::uint32_t offset = 0;
        std::uint16_t blockCount = 0, type = 0;
        std::vector<Block> blocks;
    };
    struct File {
        std::string name;
        std::uint32_t size = 0, offset = 0;
        std::uint16_t folder = 0, date = 0, time = 0, attribs = 0;
    };

    std::uint32_t cbCabinet = 0, coffFiles = 0;
    std::uint16_t flags = 0, setId = 0, iCabinet = 0;
    std::uint16_t cbCFHeader = 0;
    std::uint8_t cbCFFolder = 0, cbCFData = 0;
    std::string prevCab, prevDisk, nextCab, nextDisk;
    std::vector<Folder> folders;
    std::vector<File> files;
    // Everything that breaks a rule of the format or of a known reader.
    std::vector<std::string> problems;

    static CabImage Parse(const std::string& bytes);
    static CabImage Load(const std::string& path);
    bool ok() const { return problems.empty(); }
    std::string ProblemText() const;
    const File* Find(const std::string& name) const;

    // Contents of the files of a cabinet that continues nothing; problems of
    // decoding are added to problems.
    std::map<std::string, std::string> Extract();
};

// Inflates a folder's MSZIP block payloads as the readers do: each a complete
// raw deflate stream after "CK", the previous block's output as its window.
// Anything a reader would refuse is added to problems.
std::string InflateMsZip(const std::vector<std::string>& payloads,
                         const std::vector<std::uint16_t>& sizes,
                         std::vector<std::string>& problems);

// DOS date and time of a local time.
std::uint16_t DosDate(int year, int month, int day);
std::uint16_t DosTime(int hour, int minute, int second);

} // namespace cabtest
