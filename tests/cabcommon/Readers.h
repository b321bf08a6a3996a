// The independent readers that judge our cabinets: cabextract, 7-Zip (7zz) and
// gcab run as processes on files in a folder, and libmspack in-process.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace cabtest {

enum class Reader { Cabextract, SevenZip, Gcab };
const char* ReaderName(Reader r); // also the program that is run
// All three, or the two that read sets (gcab reads no continued folders).
std::vector<Reader> AllReaders();
std::vector<Reader> SetReaders();

struct Extraction {
    bool ok = false;
    bool available = true;                    // false: the reader is not installed
    std::string log;                          // what the reader said
    std::map<std::string, std::string> files; // name -> contents
};

// Tests, then extracts the cabinet (for a set: the set its first cabinet
// starts). ok is false when the reader complained or is missing; the files it
// did extract are there all the same.
Extraction ExtractWith(Reader r, const std::string& cab);
Extraction ExtractWithCabextract(const std::string& cab);
Extraction Extract7z(const std::string& cab);

// libmspack: the cabinet and each cabinet after it, found by the name its
// predecessor gives, joined and extracted.
Extraction ExtractWithLibmspack(const std::string& firstCab);
// libmspack: a spanned set, its cabinets joined in the order given.
Extraction ExtractSetWithLibmspack(const std::vector<std::string>& cabPaths);

// Fails the running test unless the reader extracted exactly these files
// (name -> contents); silent when the reader is not installed.
void ExpectFiles(const Extraction& got, const std::map<std::string, std::string>& want,
                 const std::string& reader);

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
