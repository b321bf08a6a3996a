#include "Readers.h"

#include "TestUtil.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <mspack.h>
#endif

#include <filesystem>
#include <functional>
#include <list>
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

namespace {

bool OnPath(const std::string& program) {
    return testutil::Run({"sh", "-c", "command -v " + program + " >/dev/null"}).exitCode == 0;
}

void Collect(const std::string& dir, Extraction& x) {
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        if (!e.is_regular_file()) continue;
        x.files[fs::relative(e.path(), dir).generic_string()] =
            testutil::ReadFile(e.path().string());
    }
}

} // namespace

Extraction ExtractWith(Reader r, const std::string& cab) {
    Extraction x;
    if (!OnPath(ReaderName(r))) {
        x.available = false;
        x.log = std::string(ReaderName(r)) + " is not installed";
        return x;
    }
    testutil::TempDir out("cabout");
    testutil::RunResult test{0, ""}, extract;
    switch (r) {
    case Reader::Cabextract:
        test = testutil::Run({"cabextract", "-t", cab});
        extract = testutil::Run({"cabextract", "-q", "-d", out.path(), cab});
        break;
    case Reader::SevenZip:
        test = testutil::Run({"7zz", "t", cab});
        extract = testutil::Run({"7zz", "x", "-y", "-bd", "-o" + out.path(), cab});
        if (extract.exitCode == 0 && extract.output.find("Everything is Ok") == std::string::npos)
            extract.exitCode = -1;
        break;
    case Reader::Gcab:
        extract = testutil::Run({"gcab", "-x", "-C", out.path(), cab});
        break;
    }
    x.log = test.output + extract.output;
    x.ok = test.exitCode == 0 && extract.exitCode == 0;
    Collect(out.path(), x);
    return x;
}

Extraction ExtractWithCabextract(const std::string& cab) {
    return ExtractWith(Reader::Cabextract, cab);
}

Extraction Extract7z(const std::string& cab) {
    return ExtractWith(Reader::SevenZip, cab);
}

#ifdef _WIN32
// Windows builds have no libmspack: cabextract, which is built on it, reads
// the set from its first cabinet.
Extraction ExtractWithLibmspack(const std::string& firstCab) {
    return ExtractWith(Reader::Cabextract, firstCab);
}

Extraction ExtractSetWithLibmspack(const std::vector<std::string>& cabPaths) {
    if (cabPaths.empty()) return Extraction{false, true, "no cabinet", {}};
    return ExtractWith(Reader::Cabextract, cabPaths.front());
}
#else
namespace {

// Opens the cabinets that next names one after another (next answers "" after
// the last), joins them into one set and extracts every file of it.
Extraction ExtractSet(const std::string& first,
                      const std::function<std::string(const mscabd_cabinet& last)>& next) {
    Extraction x;
    mscab_decompressor* d = mspack_create_cab_decompressor(nullptr);
    if (!d) {
        x.log = "no decompressor";
        return x;
    }
    // libmspack keeps the name pointers it was given: they must outlive the set.
    std::list<std::string> paths{first};
    mscabd_cabinet* head = nullptr;
    mscabd_cabinet* last = nullptr;
    while (!paths.back().empty()) {
        mscabd_cabinet* cab = d->open(d, const_cast<char*>(paths.back().c_str()));
        if (!cab) {
            x.log +=
                "cannot open " + paths.back() + " (" + std::to_string(d->last_error(d)) + ")\n";
            break;
        }
        if (last && d->append(d, last, cab) != MSPACK_ERR_OK) {
            x.log +=
                "cannot append " + paths.back() + " (" + std::to_string(d->last_error(d)) + ")\n";
            d->close(d, cab);
            break;
        }
        if (!head) head = cab;
        last = cab;
        paths.push_back(next(*cab));
    }
    if (head && x.log.empty()) {
        x.ok = true;
        testutil::TempDir tmp("mspack");
        int n = 0;
        for (mscabd_file* f = head->files; f; f = f->next) {
            const std::string target = tmp / std::to_string(n++);
            if (d->extract(d, f, const_cast<char*>(target.c_str())) != MSPACK_ERR_OK) {
                x.ok = false;
                x.log += std::string("cannot extract ") + f->filename + " (" +
                         std::to_string(d->last_error(d)) + ")\n";
                continue;
            }
            x.files[f->filename] = testutil::ReadFile(target);
        }
    }
    if (head) d->close(d, head); // closes every cabinet appended to it
    mspack_destroy_cab_decompressor(d);
    return x;
}

} // namespace

Extraction ExtractWithLibmspack(const std::string& firstCab) {
    const std::string dir = fs::path(firstCab).parent_path().string();
    int cabinets = 1;
    return ExtractSet(firstCab, [&](const mscabd_cabinet& last) -> std::string {
        // A set of more than 65535 cabinets names itself in a circle.
        if (!last.nextname || ++cabinets > 65535) return "";
        return dir + "/" + last.nextname;
    });
}

Extraction ExtractSetWithLibmspack(const std::vector<std::string>& cabPaths) {
    if (cabPaths.empty()) return Extraction{false, true, "no cabinet", {}};
    std::size_t at = 0;
    return ExtractSet(cabPaths[0], [&](const mscabd_cabinet&) -> std::string {
        return ++at < cabPaths.size() ? cabPaths[at] : "";
    });
}

#endif

void ExpectFiles(const Extraction& got, const std::map<std::string, std::string>& want,
                 const std::string& reader) {
    if (!got.available) return; // reported once by the test that the readers are present
    EXPECT_TRUE(got.ok) << reader << ": " << got.log.substr(0, 2000);
    EXPECT_EQ(got.files.size(), want.size()) << reader;
    for (const auto& [name, data] : want) {
        auto it = got.files.find(name);
        if (it == got.files.end()) {
            ADD_FAILURE() << reader << " did not extract " << name;
            continue;
        }
        if (it->second != data) {
            std::size_t at = 0;
            while (at < data.size() && at < it->second.size() && data[at] == it->second[at])
                ++at;
            ADD_FAILURE() << reader << ": " << name << " differs from byte " << at << " (size "
                          << it->second.size() << ", expected " << data.size() << ")";
        }
    }
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
