// Extraction of test cabinets with the readers we check against: cabextract
// and 7-Zip as programs, libmspack in-process when the tests are linked with it.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace lzxtest {

// Name -> contents of every file a reader extracted; ok false (and error set)
// when the reader complained or is missing.
struct Extracted {
    bool ok = false;
    bool available = true;
    std::string error;
    std::map<std::string, std::string> files;
};

Extracted ExtractWithCabextract(const std::string& cabPath);
Extracted Extract7z(const std::string& cabPath);
Extracted ExtractWithLibmspack(const std::string& cabPath);
// A spanned set, its cabinets in order, joined in-process by libmspack.
Extracted ExtractSetWithLibmspack(const std::vector<std::string>& cabPaths);
bool HaveLibmspack();

// Fails the running test unless the reader extracted exactly these files
// (name -> contents); silent when the reader is not installed.
void ExpectFiles(const Extracted& got, const std::map<std::string, std::string>& want,
                 const std::string& reader);

} // namespace lzxtest
