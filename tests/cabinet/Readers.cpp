#include "Readers.h"

#include "TestUtil.h"

#include <filesystem>
#include <sstream>

namespace cabtest {

namespace fs = std::filesystem;

const char* ReaderName(Reader r) {
    switch (r) {
    case Reader::Cabextract:
        return "cabextract";
    case Reader::SevenZip:
        return "7zz";
    case Reader::Gcab:
        return "gcab";
    }
    return "?";
}

std::vector<Reader> AllReaders() {
    return {Reader::Cabextract, Reader::SevenZip, Reader::Gcab};
}
std::vector<Reader> SetReaders() {
    return {Reader::Cabextract, Reader::SevenZip};
}

Extraction ExtractWith(Reader r, const std::string& cab) {
    Extraction x;
    testutil::TempDir out("cabout");
    testutil::RunResult res;
    switch (r) {
    case Reader::Cabextract: {
        testutil::RunResult t = testutil::Run({"cabextract", "-t", cab});
        x.log = t.output;
        if (t.exitCode != 0) return x;
        res = testutil::Run({"cabextract", "-q", "-d", out.path(), cab});
        break;
    }
    case Reader::SevenZip: {
        testutil::RunResult t = testutil::Run({"7zz", "t", cab});
        x.log = t.output;
        if (t.exitCode != 0) return x;
        res = testutil::Run({"7zz", "x", "-y", "-o" + out.path(), cab});
        break;
    }
    case Reader::Gcab:
        res = testutil::Run({"gcab", "-x", "-C", out.path(), cab});
        break;
    }
    x.log += res.output;
    if (res.exitCode != 0) return x;
    for (const auto& e : fs::recursive_directory_iterator(out.path())) {
        if (!e.is_regular_file()) continue;
        std::string rel = fs::relative(e.path(), out.path()).string();
        x.files[rel] = testutil::ReadFile(e.path().string());
    }
    x.ok = true;
    return x;
}

std::map<std::string, Listed> ListWith7zip(const std::string& cab) {
    std::map<std::string, Listed> out;
    testutil::RunResult r = testutil::Run({"7zz", "l", "-slt", cab});
    std::istringstream in(r.output);
    std::string line, path;
    bool entries = false;
    while (std::getline(in, line)) {
        if (line.rfind("----------", 0) == 0) entries = true;
        if (!entries) continue;
        if (line.rfind("Path = ", 0) == 0) path = line.substr(7);
        if (line.rfind("Modified = ", 0) == 0) out[path].modified = line.substr(11);
        if (line.rfind("Attributes = ", 0) == 0) out[path].attributes = line.substr(13);
    }
    return out;
}

std::map<std::string, Listed> ListWithGcab(const std::string& cab) {
    std::map<std::string, Listed> out;
    testutil::RunResult r = testutil::Run({"gcab", "-l", cab});
    std::istringstream in(r.output);
    std::string name, size, date, time, attr;
    while (in >> name >> size >> date >> time >> attr)
        out[name] = {date + " " + time, attr};
    return out;
}

std::map<std::string, std::string> ListWithCabextract(const std::string& cab) {
    std::map<std::string, std::string> out;
    testutil::RunResult r = testutil::Run({"cabextract", "-l", cab});
    std::istringstream in(r.output);
    std::string line;
    while (std::getline(in, line)) {
        // "        14 | 02.01.2020 03:04:06 | name"
        std::size_t a = line.find(" | "), b = line.rfind(" | ");
        if (a == std::string::npos || a == b || line.find("File size") != std::string::npos)
            continue;
        out[line.substr(b + 3)] = line.substr(a + 3, b - a - 3);
    }
    return out;
}

} // namespace cabtest
