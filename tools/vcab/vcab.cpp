// vcab: packs files into a cabinet, or a numbered set of cabinets, through the
// cabinet interface layer.
//
//   vcab [-m none|mszip|lzx:N] [-s cabinet-size] [-f folder-threshold]
//        [-r header-reserve] [-i set-id] [-l list-file] out.cab file...
//
// A list file names further files, one a line, packed after those of the
// command line: a Windows command line holds at most 32767 characters.
#include "Platform.h"
#include "vCabIntf.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

struct Options {
    TCompressionType type = ctMsZip;
    int window = 0;
    std::int32_t cabinetSize = 2147483647;
    std::int32_t folderThreshold = 831415;
    std::int32_t headerReserve = 0;
    int setId = -1;
    std::string cabinet;
    std::vector<std::string> files;
    std::string listFile;
};

// The lines of a list file, without line ends and empty lines; false when it
// cannot be read.
bool ReadList(const std::string& path, std::vector<std::string>& files) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) files.push_back(line);
    }
    return !in.bad();
}

// Names of the cabinets of the set: out.cab, out2.cab, out3.cab, ...
std::string g_stem, g_extension;
int g_lastCabinet = 1;

std::string CabinetName(int number) {
    if (number <= 1) return g_stem + g_extension;
    return g_stem + std::to_string(number) + g_extension;
}

std::string BaseName(const std::string& path) {
    // Windows takes '/' and a drive's ':' as separators as well.
    std::string::size_type cut = path.find_last_of(plat::PathSep == '\\' ? "\\/:" : "/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

void NoProgress(const std::string&, int, bool&) {}

void NextCabinet(std::string& cabName, std::string&, int cabNo, int&, bool&) {
    cabName = BaseName(CabinetName(cabNo));
    g_lastCabinet = cabNo;
}

[[noreturn]] void Usage(const std::string& problem) {
    std::fprintf(
        stderr,
        "vcab: %s\nusage: vcab [-m none|mszip|lzx:N] [-s cabinet-size] "
        "[-f folder-threshold] [-r header-reserve] [-i set-id] [-l list-file] out.cab file...\n",
        problem.c_str());
    std::exit(1);
}

std::int64_t Number(const std::string& option, const char* text, std::int64_t low,
                    std::int64_t high) {
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(text, &end, 10);
    if (!*text || *end || errno != 0 || v < low || v > high)
        Usage("bad value for " + option + ": " + text);
    return v;
}

Options Parse(int argc, char** argv) {
    Options o;
    int i = 1;
    for (; i < argc && argv[i][0] == '-' && argv[i][1] != 0; ++i) {
        std::string opt = argv[i];
        if (i + 1 >= argc) Usage("missing value for " + opt);
        const char* value = argv[++i];
        if (opt == "-m") {
            std::string m = value;
            if (m == "none") {
                o.type = ctNone;
            } else if (m == "mszip") {
                o.type = ctMsZip;
            } else if (m.rfind("lzx:", 0) == 0) {
                o.type = ctLzx;
                o.window = static_cast<int>(Number(opt, m.c_str() + 4, 15, 21));
            } else {
                Usage("unknown compression: " + m);
            }
        } else if (opt == "-s") {
            o.cabinetSize = static_cast<std::int32_t>(Number(opt, value, 1, 2147483647));
        } else if (opt == "-f") {
            o.folderThreshold = static_cast<std::int32_t>(Number(opt, value, 0, 2147483647));
        } else if (opt == "-r") {
            o.headerReserve = static_cast<std::int32_t>(Number(opt, value, 0, 60000));
        } else if (opt == "-i") {
            o.setId = static_cast<int>(Number(opt, value, 0, 65535));
        } else if (opt == "-l") {
            o.listFile = value;
        } else {
            Usage("unknown option " + opt);
        }
    }
    if (i >= argc) Usage("no cabinet named");
    o.cabinet = argv[i++];
    for (; i < argc; ++i)
        o.files.push_back(argv[i]);
    if (!o.listFile.empty() && !ReadList(o.listFile, o.files))
        Usage("cannot read the list file " + o.listFile);
    return o;
}

int Fail(const std::string& what) {
    TCabError e = CabLastError();
    std::string text = CabErrorText(e.erfOper);
    if (e.erfType != 0) text += " (" + plat::ErrorText(e.erfType) + ")";
    std::fprintf(stderr, "vcab: %s: %s\n", what.c_str(), text.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    Options o = Parse(argc, argv);

    std::string name = BaseName(o.cabinet);
    std::string::size_type dot = name.find_last_of('.');
    std::string::size_type stemEnd = dot == std::string::npos || dot == 0
                                         ? o.cabinet.size()
                                         : o.cabinet.size() - (name.size() - dot);
    g_stem = o.cabinet.substr(0, stemEnd);
    g_extension = o.cabinet.substr(stemEnd);

    if (plat::PathExists(o.cabinet)) {
        std::fprintf(stderr, "vcab: %s: Cabinet already exists\n", o.cabinet.c_str());
        return 1;
    }
    int setNumber = o.setId >= 0 ? o.setId : static_cast<int>(std::random_device{}() & 0xFFFF);

    HCabContext h = CabCreate(o.cabinet, "", o.folderThreshold, o.cabinetSize, o.headerReserve,
                              setNumber, NoProgress, NextCabinet);
    if (!h) return Fail(o.cabinet);
    for (const std::string& file : o.files) {
        if (!CabAddFile(h, file, BaseName(file), o.type, o.window, false)) {
            int rc = Fail(file);
            CabDestroy(h);
            return rc;
        }
    }
    if (!CabFlush(h, false)) {
        int rc = Fail(CabinetName(g_lastCabinet));
        CabDestroy(h);
        return rc;
    }
    CabDestroy(h);

    for (int n = 1; n <= g_lastCabinet; ++n) {
        std::string cabinet = CabinetName(n);
        std::int64_t size = plat::FileSizeOf(cabinet);
        if (size < 0) continue; // a set without files writes nothing
        std::printf("%s %lld bytes\n", cabinet.c_str(), static_cast<long long>(size));
    }
    return 0;
}
