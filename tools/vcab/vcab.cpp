// vcab: packs files into a cabinet, or a numbered set of cabinets, through the
// cabinet interface layer.
//
//   vcab [-m none|mszip|lzx:N|quantum[:L[:W]]] [-s cabinet-size] [-f folder-threshold]
//        [-r header-reserve] [-i set-id] out.cab file...
//
// Each file is stored under its own name; names holding a backslash and
// anything but regular files are refused before a cabinet is begun. A build
// that fails exits with 1 and removes the cabinets it wrote.
#include "Platform.h"
#include "vCabIntf.h"

#include <cstdio>
#include <cstdlib>
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
};

// Names of the cabinets of the set: out.cab, out2.cab, out3.cab, ...
std::string g_stem, g_extension;
int g_lastCabinet = 1;

std::string CabinetName(int number) {
    if (number <= 1) return g_stem + g_extension;
    return g_stem + std::to_string(number) + g_extension;
}

std::string BaseName(const std::string& path) {
    std::string::size_type cut = path.find_last_of(plat::PathSep);
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

void NoProgress(const std::string&, int, bool&) {}

void NextCabinet(std::string& cabName, std::string&, int cabNo, int&, bool&) {
    cabName = BaseName(CabinetName(cabNo));
    g_lastCabinet = cabNo;
}

[[noreturn]] void Usage(const std::string& problem) {
    std::fprintf(stderr,
                 "vcab: %s\nusage: vcab [-m none|mszip|lzx:N|quantum[:L[:W]]] [-s cabinet-size] "
                 "[-f folder-threshold] [-r header-reserve] [-i set-id] out.cab file...\n",
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
            } else if (m == "quantum" || m.rfind("quantum:", 0) == 0) {
                // quantum[:level[:window]]: level 1..7 (7), window exponent 10..21 (21).
                o.type = ctQuantum;
                std::string level = m.size() > 8 ? m.substr(8, m.find(':', 8) - 8) : "7";
                std::string w =
                    m.find(':', 8) != std::string::npos ? m.substr(m.find(':', 8) + 1) : "21";
                o.window = static_cast<int>(Number(opt, level.c_str(), 1, 7) << 4 |
                                            Number(opt, w.c_str(), 10, 21) << 8);
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
        } else {
            Usage("unknown option " + opt);
        }
    }
    if (i >= argc) Usage("no cabinet named");
    o.cabinet = argv[i++];
    for (; i < argc; ++i)
        o.files.push_back(argv[i]);
    return o;
}

// Tells the failure of the last call. A cabinet that could not be made is
// named, with the system's reason or, when the system had none, the cabinet
// size that left no room.
void TellFailure(HCabContext h, std::string what, std::int32_t cabinetSize) {
    TCabError e = CabLastError();
    std::string text = CabErrorText(e.erfOper);
    if (e.erfOper == 6 && e.erfType != 0 && h && !CabLastCabinet(h).empty()) {
        what = CabLastCabinet(h); // the system refused to make or write it
    } else if (e.erfOper == 6 && h) {
        what = CabinetName(g_lastCabinet);
    }
    if (e.erfType != 0)
        text += " (" + plat::ErrorText(e.erfType) + ")";
    else if (e.erfOper == 6)
        text += " (the cabinet size " + std::to_string(cabinetSize) + " is too small)";
    std::fprintf(stderr, "vcab: %s: %s\n", what.c_str(), text.c_str());
}

// A build that failed leaves none of its cabinets behind: those still within
// reach are removed, the others are named.
int GiveUp(HCabContext h) {
    std::vector<std::string> left = CabRemoveWritten(h);
    CabDestroy(h);
    if (!left.empty()) {
        std::string names;
        for (const std::string& c : left)
            names += (names.empty() ? "" : ", ") + c;
        std::fprintf(stderr,
                     "vcab: the cabinet set is incomplete; these cabinets of it are left: %s\n",
                     names.c_str());
    }
    return 1;
}

// Only plain files are stored, under their own names, which must not hold
// the cabinet's folder separator.
bool Storable(const std::string& file) {
    if (plat::PathExists(file) && !plat::IsRegularFile(file)) {
        std::fprintf(stderr, "vcab: %s: not a regular file; only regular files can be stored\n",
                     file.c_str());
        return false;
    }
    if (BaseName(file).find('\\') != std::string::npos) {
        std::fprintf(stderr,
                     "vcab: %s: a name stored in a cabinet cannot hold a backslash, which "
                     "readers take for a folder separator\n",
                     file.c_str());
        return false;
    }
    return true;
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
    for (const std::string& file : o.files)
        if (!Storable(file)) return 1;
    int setNumber = o.setId >= 0 ? o.setId : static_cast<int>(std::random_device{}() & 0xFFFF);

    HCabContext h = CabCreate(o.cabinet, "", o.folderThreshold, o.cabinetSize, o.headerReserve,
                              setNumber, NoProgress, NextCabinet);
    if (!h) {
        TellFailure(nullptr, o.cabinet, o.cabinetSize);
        return 1;
    }
    for (const std::string& file : o.files) {
        if (!CabAddFile(h, file, BaseName(file), o.type, o.window, false)) {
            TellFailure(h, file, o.cabinetSize);
            return GiveUp(h);
        }
    }
    if (!CabFlush(h, false)) {
        TellFailure(h, CabinetName(g_lastCabinet), o.cabinetSize);
        return GiveUp(h);
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
