// The three independent readers that judge our cabinets: cabextract, 7-Zip
// (7zz) and gcab, run as processes on files in a folder.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace cabtest {

enum class Reader { Cabextract, SevenZip, Gcab };
const char* ReaderName(Reader r);
// All three, or the two that read sets (gcab reads no continued folders).
std::vector<Reader> AllReaders();
std::vector<Reader> SetReaders();

struct Extraction {
    bool ok = false;
    std::string log;                          // what the reader said
    std::map<std::string, std::string> files; // name -> contents
};

// Tests and extracts the cabinet (for a set: its first cabinet).
Extraction ExtractWith(Reader r, const std::string& cab);

// Date, time and attributes as 7-Zip and gcab list them:
// "YYYY-MM-DD HH:MM:SS" and the attribute letters (7-Zip) or hex value (gcab).
struct Listed {
    std::string modified;
    std::string attributes;
};
std::map<std::string, Listed> ListWith7zip(const std::string& cab);
std::map<std::string, Listed> ListWithGcab(const std::string& cab);
// cabextract's "DD.MM.YYYY HH:MM:SS".
std::map<std::string, std::string> ListWithCabextract(const std::string& cab);

} // namespace cabtest
