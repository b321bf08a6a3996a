// vcab: makes Microsoft cabinet files, or numbered sets of them, with the
// cabinet engine and its own file callbacks; lists, tests and extracts them
// through libmspack where the build has it. `vcab --help` is its manual.
#include "CabFileIo.h"
#include "CabReader.h"
#include "Platform.h"
#include "fci.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#ifndef VCAB_VERSION
#define VCAB_VERSION "unknown"
#endif

namespace {

// Exit codes.
constexpr int ExitOk = 0;
constexpr int ExitFailed = 1; // the cabinets could not be made, read or verified
constexpr int ExitUsage = 2;  // the command line is wrong

const char UsageText[] =
    "usage: vcab [options] CABINET FILE|FOLDER...   make a cabinet (or a set)\n"
    "       vcab -l|-t|-x [-d FOLDER] [-f] [-q] CABINET...   list, test or extract\n"
    "       vcab --help | --version\n";

const char HelpText[] =
    "vcab makes Microsoft cabinet files (.cab). Given folders are taken in\n"
    "recursively. When a cabinet size is set, the data is spread over a set of\n"
    "cabinets named after the first: out.cab, out2.cab, out3.cab, ...\n"
    "\n"
    "Making cabinets:\n"
    "  -m, --method METHOD       compression: none, mszip (the default), lzx:W with a\n"
    "                            window of 2^W bytes (W 15 to 21), or quantum[:L[:W]]\n"
    "                            at level L (1 fast to 7 best, 7) with a window of\n"
    "                            2^W bytes (W 10 to 21, 21)\n"
    "  -s, --cabinet-size BYTES  largest size of one cabinet (2147483647)\n"
    "  -F, --folder-threshold BYTES\n"
    "                            a folder is closed once this many compressed bytes\n"
    "                            are in it (831415)\n"
    "  -r, --header-reserve BYTES\n"
    "                            bytes reserved in each cabinet header (0 to 60000)\n"
    "  -i, --set-id N            the set's number, 0 to 65535 (random)\n"
    "  -T, --files-from LIST     take more files and folders from LIST, one a line\n"
    "                            (after those of the command line)\n"
    "  -n, --names-only          store the files found in folders under their names\n"
    "                            alone; by default their paths below the folder\n"
    "                            given are kept, led by the folder's own name\n"
    "  -f, --force               replace existing cabinets of the same names\n"
    "      --verify              read every cabinet written back through libmspack\n"
    "                            and compare each file with its source before\n"
    "                            reporting success\n"
    "  -q, --quiet               no progress line (it is shown only on a terminal)\n"
    "\n"
    "Reading cabinets (through libmspack; not in every build):\n"
    "  -l, --list                list the files of each cabinet (set)\n"
    "  -t, --test                check each cabinet (set) by decompressing it\n"
    "  -x, --extract             extract the files of each cabinet (set)\n"
    "  -d, --directory FOLDER    extract into FOLDER (the current folder)\n"
    "  -f, --force               replace existing files when extracting\n"
    "\n"
    "A set is read from its first cabinet; the others are found beside it.\n"
    "Only regular files are stored, and no stored name may hold a backslash.\n"
    "A build that fails removes the cabinets it wrote.\n"
    "\n"
    "Output: one line per cabinet written, \"NAME SIZE bytes\".\n"
    "Exit codes: 0 success; 1 the cabinets could not be made, read or verified;\n"
    "2 wrong command line.\n"
    "\n"
    "Examples:\n"
    "  vcab out.cab readme.txt src           readme.txt and src\\... in out.cab\n"
    "  vcab -m lzx:21 -s 1457664 disk.cab big    a set of floppy-sized cabinets\n"
    "  vcab -n -m quantum:4:18 flat.cab docs     files of docs under their names\n"
    "  vcab -x -d unpacked out.cab           extract out.cab into unpacked/\n";

enum class Action { Make, List, Test, Extract };

struct Options {
    Action action = Action::Make;
    TCOMP type = tcompTYPE_MSZIP;
    std::int64_t cabinetSize = 2147483647;
    std::int64_t folderThreshold = 831415;
    std::int64_t headerReserve = 0;
    int setId = -1;
    bool namesOnly = false;
    bool force = false;
    bool quiet = false;
    bool verify = false;
    std::string directory;
    std::vector<std::string> operands; // the cabinet first when making
    std::vector<std::string> listed;   // from list files, after the operands
};

struct UsageError {
    std::string text;
};

// A list file that cannot be read: the files are not known, so nothing is made.
struct ListError {
    std::string text;
};

// Appends the lines of a list file, without line ends and empty lines.
bool ReadList(const std::string& path, std::vector<std::string>& names) {
    plat::File f;
    if (!f.Open(path, plat::OpenMode::Read)) return false;
    std::string text;
    char buffer[65536];
    for (;;) {
        const std::int64_t n = plat::ReadFile(f.Handle(), buffer, sizeof buffer);
        if (n < 0) return false;
        if (n == 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    std::string::size_type start = 0;
    while (start < text.size()) {
        std::string::size_type end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) names.push_back(line);
        start = end + 1;
    }
    return true;
}

std::int64_t Number(const std::string& option, const std::string& text, std::int64_t low,
                    std::int64_t high) {
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end || errno != 0 || v < low || v > high)
        throw UsageError{"bad value for " + option + ": " + text};
    return v;
}

bool AllDigits(const std::string& s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

TCOMP Method(const std::string& option, const std::string& m) {
    if (m == "none") return tcompTYPE_NONE;
    if (m == "mszip") return tcompTYPE_MSZIP;
    if (m.rfind("lzx:", 0) == 0)
        return TCOMPfromLZXWindow(static_cast<int>(Number(option, m.substr(4), 15, 21)));
    if (m == "quantum" || m.rfind("quantum:", 0) == 0) {
        // quantum[:level[:window]]: level 1..7 (7), window exponent 10..21 (21).
        std::string rest = m.size() > 8 ? m.substr(8) : std::string();
        std::string level = rest.substr(0, rest.find(':'));
        std::string window =
            rest.find(':') != std::string::npos ? rest.substr(rest.find(':') + 1) : "21";
        if (m.size() == 7) level = "7";
        return static_cast<TCOMP>(tcompTYPE_QUANTUM | Number(option, level, 1, 7) << 4 |
                                  Number(option, window, 10, 21) << 8);
    }
    throw UsageError{"unknown compression: " + m};
}

Options Parse(int argc, char** argv, bool& done) {
    Options o;
    bool optionsEnd = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (optionsEnd || arg.size() < 2 || arg[0] != '-') {
            o.operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnd = true;
            continue;
        }
        std::string value;
        bool hasValue = false;
        if (arg.rfind("--", 0) == 0 && arg.find('=') != std::string::npos) {
            value = arg.substr(arg.find('=') + 1);
            arg = arg.substr(0, arg.find('='));
            hasValue = true;
        }
        auto is = [&](const char* shortName, const char* longName) {
            return (shortName && arg == shortName) || arg == longName;
        };
        auto takeValue = [&]() -> std::string {
            if (hasValue) return value;
            if (i + 1 >= argc) throw UsageError{"missing value for " + arg};
            return argv[++i];
        };
        auto flag = [&]() {
            if (hasValue) throw UsageError{arg + " takes no value"};
        };
        if (is(nullptr, "--help")) {
            std::printf("%s\n%s", UsageText, HelpText);
            done = true;
            return o;
        } else if (is(nullptr, "--version")) {
            std::printf("vcab %s\n", VCAB_VERSION);
            done = true;
            return o;
        } else if (is("-m", "--method")) {
            o.type = Method(arg, takeValue());
        } else if (is("-s", "--cabinet-size")) {
            o.cabinetSize = Number(arg, takeValue(), 1, 2147483647);
        } else if (is("-F", "--folder-threshold")) {
            o.folderThreshold = Number(arg, takeValue(), 0, 2147483647);
        } else if (is("-r", "--header-reserve")) {
            o.headerReserve = Number(arg, takeValue(), 0, 60000);
        } else if (is("-i", "--set-id")) {
            o.setId = static_cast<int>(Number(arg, takeValue(), 0, 65535));
        } else if (is("-d", "--directory")) {
            o.directory = takeValue();
        } else if (is("-T", "--files-from")) {
            // More files, one a line: a Windows command line holds at most
            // 32767 characters.
            const std::string list = takeValue();
            if (!ReadList(list, o.listed))
                throw ListError{"cannot read the list file " + list + ": " + plat::LastErrorText()};
        } else if (is("-n", "--names-only")) {
            flag();
            o.namesOnly = true;
        } else if (is("-f", "--force")) {
            flag();
            // "-f 400000" was once the folder threshold: never take the number
            // for a cabinet's name.
            if (!hasValue && i + 1 < argc && AllDigits(argv[i + 1]))
                throw UsageError{"-f takes no value; the folder threshold is -F"};
            o.force = true;
        } else if (is("-q", "--quiet")) {
            flag();
            o.quiet = true;
        } else if (is(nullptr, "--verify")) {
            flag();
            o.verify = true;
        } else if (is("-l", "--list") || is("-t", "--test") || is("-x", "--extract")) {
            flag();
            Action a = arg == "-l" || arg == "--list"   ? Action::List
                       : arg == "-t" || arg == "--test" ? Action::Test
                                                        : Action::Extract;
            if (o.action != Action::Make && o.action != a)
                throw UsageError{"only one of -l, -t and -x at a time"};
            o.action = a;
        } else {
            throw UsageError{"unknown option " + arg};
        }
    }
    if (o.operands.empty()) throw UsageError{"no cabinet named"};
    o.operands.insert(o.operands.end(), o.listed.begin(), o.listed.end());
    if (o.action != Action::Make && o.verify) throw UsageError{"--verify is for making cabinets"};
    if (!o.directory.empty() && o.action != Action::Extract)
        throw UsageError{"-d is for extracting"};
    return o;
}

std::string BaseName(const std::string& path) {
    // Windows takes '/' and a drive's ':' as separators as well.
    std::string::size_type cut = path.find_last_of(plat::PathSep == '\\' ? "\\/:" : "/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// ---- what to store ----------------------------------------------------------

struct Input {
    std::string path;   // in the file system
    std::string stored; // in the cabinet, '\' between folders
};

class Inputs {
  public:
    Inputs(bool namesOnly, std::string cabinet)
        : namesOnly_(namesOnly), cabinet_(std::move(cabinet)) {}

    // Takes one operand: a file, or a folder with everything below it.
    bool Add(const std::string& operand) {
        std::string path = operand;
        while (path.size() > 1 && path.back() == plat::PathSep)
            path.pop_back();
        if (plat::FolderExists(path)) {
            std::string prefix = BaseName(path);
            if (namesOnly_ || prefix == "." || prefix == ".." || prefix.empty() ||
                path == std::string(1, plat::PathSep))
                prefix.clear();
            return Walk(path, prefix);
        }
        return File(operand, BaseName(path), "");
    }

    const std::vector<Input>& List() const { return inputs_; }
    std::map<std::string, std::string> Sources() const {
        std::map<std::string, std::string> m;
        for (const Input& in : inputs_)
            m[in.stored] = in.path;
        return m;
    }

  private:
    // Only plain files are stored, under names without a backslash, each
    // name once.
    bool File(const std::string& path, const std::string& name, const std::string& prefix) {
        if (plat::PathExists(path) && !plat::IsRegularFile(path)) {
            std::fprintf(stderr, "vcab: %s: not a regular file; only regular files can be stored\n",
                         path.c_str());
            return false;
        }
        if (name.find('\\') != std::string::npos) {
            std::fprintf(stderr,
                         "vcab: %s: a name stored in a cabinet cannot hold a backslash, which "
                         "readers take for a folder separator\n",
                         path.c_str());
            return false;
        }
        const std::string stored = prefix.empty() ? name : prefix + "\\" + name;
        if (stored.size() > 255) {
            std::fprintf(stderr, "vcab: %s: the stored name %s is longer than 255 bytes\n",
                         path.c_str(), stored.c_str());
            return false;
        }
        auto taken = std::find_if(inputs_.begin(), inputs_.end(),
                                  [&](const Input& in) { return in.stored == stored; });
        if (taken != inputs_.end()) {
            std::fprintf(stderr, "vcab: %s: the name %s is already stored for %s\n", path.c_str(),
                         stored.c_str(), taken->path.c_str());
            return false;
        }
        inputs_.push_back(Input{path, stored});
        return true;
    }

    bool Walk(const std::string& folder, const std::string& prefix) {
        std::vector<plat::DirEntry> entries;
        if (!plat::ListFolder(folder, entries)) {
            std::fprintf(stderr, "vcab: %s: %s\n", folder.c_str(), plat::LastErrorText().c_str());
            return false;
        }
        std::sort(entries.begin(), entries.end(),
                  [](const plat::DirEntry& a, const plat::DirEntry& b) { return a.name < b.name; });
        for (const plat::DirEntry& e : entries) {
            const std::string path = folder + plat::PathSep + e.name;
            if (e.isFolder) {
                if (e.name.find('\\') != std::string::npos) {
                    std::fprintf(stderr,
                                 "vcab: %s: a name stored in a cabinet cannot hold a backslash, "
                                 "which readers take for a folder separator\n",
                                 path.c_str());
                    return false;
                }
                if (!Walk(path, namesOnly_       ? std::string()
                                : prefix.empty() ? e.name
                                                 : prefix + "\\" + e.name))
                    return false;
                continue;
            }
            if (e.isLink && plat::FolderExists(path)) {
                std::fprintf(stderr, "vcab: %s: a link to a folder is not followed\n",
                             path.c_str());
                continue;
            }
            // The cabinet being replaced is never stored in itself.
            if (plat::SameFile(path, cabinet_)) continue;
            if (!File(path, e.name, namesOnly_ ? std::string() : prefix)) return false;
        }
        return true;
    }

    bool namesOnly_;
    std::string cabinet_;
    std::vector<Input> inputs_;
};

// ---- the build --------------------------------------------------------------

// Everything the callbacks of one build need, reached through the FileIo's
// user pointer.
struct Build {
    std::string stem, extension; // names of the set: out.cab, out2.cab, ...
    int lastCabinet = 1;
    bool progress = false;
    std::int64_t total = 0, done = 0;
    int shownPercent = -1;
    std::uint64_t startMs = 0;

    std::string CabinetName(int number) const {
        if (number <= 1) return stem + extension;
        return stem + std::to_string(number) + extension;
    }
};

Build& BuildOf(void* pv) {
    return *static_cast<Build*>(cab::FileIo::UserOf(pv));
}

BOOL NextCabinet(PCCAB pccab, ULONG, void* pv) {
    Build& b = BuildOf(pv);
    const std::string name = BaseName(b.CabinetName(pccab->iCab));
    if (name.size() >= sizeof pccab->szCab) {
        pccab->szCab[0] = 0; // the engine refuses a cabinet without a name
    } else {
        std::memcpy(pccab->szCab, name.c_str(), name.size() + 1);
    }
    b.lastCabinet = pccab->iCab;
    return TRUE;
}

// The progress line on a terminal: shown once a build has run for a moment,
// redrawn when the percentage changes.
long Status(UINT type, ULONG, ULONG cb2, void* pv) {
    Build& b = BuildOf(pv);
    if (type != statusFile || !b.progress) return 0;
    b.done += cb2;
    if (plat::MonotonicMs() - b.startMs < 500) return 0;
    int percent =
        b.total > 0 ? static_cast<int>(std::min<std::int64_t>(100, b.done * 100 / b.total)) : 100;
    if (percent != b.shownPercent) {
        b.shownPercent = percent;
        std::fprintf(stderr, "\rvcab: %3d%%  %lld of %lld bytes", percent,
                     static_cast<long long>(b.done), static_cast<long long>(b.total));
        std::fflush(stderr);
    }
    return 0;
}

void EndProgress(Build& b) {
    if (b.shownPercent >= 0) {
        std::fprintf(stderr, "\r%60s\r", "");
        std::fflush(stderr);
        b.shownPercent = -1;
    }
}

// Tells the failure of the last call. A cabinet that could not be made is
// named, with the system's reason or, when the system had none, the cabinet
// size that left no room.
void TellFailure(const ERF& erf, const cab::FileIo& io, const Build& b, std::string what,
                 std::int64_t cabinetSize) {
    std::string text = cab::ErrorText(erf.erfOper);
    if (erf.erfOper == FCIERR_CAB_FILE && erf.erfType != 0 && !io.LastCabinet().empty()) {
        what = io.LastCabinet(); // the system refused to make or write it
    } else if (erf.erfOper == FCIERR_CAB_FILE) {
        what = b.CabinetName(b.lastCabinet);
    }
    if (erf.erfType != 0)
        text += " (" + plat::ErrorText(erf.erfType) + ")";
    else if (erf.erfOper == FCIERR_CAB_FILE)
        text += " (the cabinet size " + std::to_string(cabinetSize) + " is too small)";
    std::fprintf(stderr, "vcab: %s: %s\n", what.c_str(), text.c_str());
}

// A build that failed leaves none of its cabinets behind: those still within
// reach are removed, the others are named.
int GiveUp(HFCI h, cab::FileIo& io, Build& b) {
    EndProgress(b);
    if (h) FCIDestroy(h);
    std::vector<std::string> left = io.RemoveWritten();
    if (!left.empty()) {
        std::string names;
        for (const std::string& c : left)
            names += (names.empty() ? "" : ", ") + c;
        std::fprintf(stderr,
                     "vcab: the cabinet set is incomplete; these cabinets of it are left: %s\n",
                     names.c_str());
    }
    return ExitFailed;
}

bool CopyField(char (&field)[256], const std::string& text) {
    if (text.size() >= sizeof field) return false;
    std::memcpy(field, text.c_str(), text.size() + 1);
    return true;
}

int Make(const Options& o) {
    const std::string& cabinet = o.operands[0];
    if (plat::PathExists(cabinet) && (!o.force || !plat::IsRegularFile(cabinet))) {
        std::fprintf(stderr, "vcab: %s: Cabinet already exists%s\n", cabinet.c_str(),
                     plat::IsRegularFile(cabinet) ? "; -f replaces it" : "");
        return ExitFailed;
    }
    Inputs inputs(o.namesOnly, cabinet);
    for (std::size_t i = 1; i < o.operands.size(); ++i)
        if (!inputs.Add(o.operands[i])) return ExitFailed;

    Build b;
    const std::string name = BaseName(cabinet);
    std::string::size_type dot = name.find_last_of('.');
    std::string::size_type stemEnd = dot == std::string::npos || dot == 0
                                         ? cabinet.size()
                                         : cabinet.size() - (name.size() - dot);
    b.stem = cabinet.substr(0, stemEnd);
    b.extension = cabinet.substr(stemEnd);
    b.progress = !o.quiet && plat::StderrIsTerminal();
    for (const Input& in : inputs.List())
        b.total += std::max<std::int64_t>(0, plat::FileSizeOf(in.path));
    b.startMs = plat::MonotonicMs();

    CCAB ccab{};
    ccab.cb = static_cast<ULONG>(o.cabinetSize);
    ccab.cbFolderThresh = static_cast<ULONG>(o.folderThreshold);
    ccab.cbReserveCFHeader = static_cast<UINT>(o.headerReserve);
    ccab.iCab = 1;
    ccab.iDisk = 1;
    ccab.setID = static_cast<USHORT>(o.setId >= 0 ? o.setId : std::random_device{}() & 0xFFFF);
    const std::string folder = cabinet.substr(0, cabinet.size() - name.size());
    if (!CopyField(ccab.szCab, name) || !CopyField(ccab.szCabPath, folder)) {
        std::fprintf(stderr, "vcab: %s: the name is too long for a cabinet\n", cabinet.c_str());
        return ExitFailed;
    }

    cab::FileIo io(&b);
    io.SetReplaceCabinets(o.force);
    ERF erf{};
    HFCI h = io.Create(&erf, &ccab);
    if (!h) {
        TellFailure(erf, io, b, cabinet, o.cabinetSize);
        return ExitFailed;
    }
    for (const Input& in : inputs.List()) {
        std::string source = in.path, stored = in.stored;
        if (!FCIAddFile(h, source.data(), stored.data(), FALSE, NextCabinet, Status,
                        cab::FileIo::OpenInfo, o.type)) {
            EndProgress(b);
            TellFailure(erf, io, b, in.path, o.cabinetSize);
            return GiveUp(h, io, b);
        }
    }
    if (!FCIFlushCabinet(h, FALSE, NextCabinet, Status)) {
        EndProgress(b);
        TellFailure(erf, io, b, b.CabinetName(b.lastCabinet), o.cabinetSize);
        return GiveUp(h, io, b);
    }
    if (!FCIDestroy(h)) {
        std::fprintf(stderr, "vcab: the temporary files could not be removed\n");
    }
    EndProgress(b);

    const std::vector<std::string> written = io.Cabinets();
    if (o.verify && !written.empty() && !vcab::Verify(written.front(), inputs.Sources())) {
        std::fprintf(stderr, "vcab: %s: the cabinets written do not read back as stored\n",
                     cabinet.c_str());
        return ExitFailed;
    }
    for (const std::string& c : written)
        std::printf("%s %lld bytes\n", c.c_str(), static_cast<long long>(plat::FileSizeOf(c)));
    return ExitOk;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    try {
        bool done = false;
        o = Parse(argc, argv, done);
        if (done) return ExitOk;
    } catch (const UsageError& e) {
        std::fprintf(stderr, "vcab: %s\n%sTry 'vcab --help' for more.\n", e.text.c_str(),
                     UsageText);
        return ExitUsage;
    } catch (const ListError& e) {
        std::fprintf(stderr, "vcab: %s\n", e.text.c_str());
        return ExitFailed;
    }
    if (o.action == Action::Make) return Make(o);

    bool ok = true;
    for (const std::string& cabinet : o.operands) {
        switch (o.action) {
        case Action::List:
            if (o.operands.size() > 1) std::printf("%s:\n", cabinet.c_str());
            ok = vcab::List(cabinet) && ok;
            break;
        case Action::Test:
            ok = vcab::Test(cabinet, o.quiet) && ok;
            break;
        case Action::Extract:
            ok = vcab::Extract(cabinet, o.directory, o.force, o.quiet) && ok;
            break;
        case Action::Make:
            break;
        }
    }
    return ok ? ExitOk : ExitFailed;
}
