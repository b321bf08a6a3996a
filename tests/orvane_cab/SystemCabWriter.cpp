// Writes cabinets through the interface layer linked against the system's
// cabinet.dll, for system_cab_test.sh to read back with independent readers.
// Along the way it checks what the layer reports from inside the library's
// calls: progress per file, the next-cabinet relay, and the error record of
// failed calls, whose values only come out right when our records, callback
// types and calling convention are the library's own.
//
//   syscab_writer OUTDIR FILE...   (the first file large and compressible)
//
// Writes OUTDIR\mszip.cab, OUTDIR\none.cab (with a reserved header area) and the
// set OUTDIR\span.cab, span2.cab, ... (MSZIP, cabinets of at most 40000 bytes).
#include "vCabIntf.h"

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

int g_failures = 0;
std::map<std::string, int> g_percent; // highest percent reported per file
int g_nextCalls = 0, g_lastDisk = 0;
std::string g_stem;
bool g_abort = false;

void Check(bool ok, const std::string& what) {
    if (ok) return;
    std::printf("FAIL: %s\n", what.c_str());
    ++g_failures;
}

void Progress(const std::string& file, int percent, bool& abort) {
    int& best = g_percent[file];
    if (percent > best) best = percent;
    abort = g_abort;
}

void NextCabinet(std::string& cabName, std::string&, int cabNo, int& diskNo, bool&) {
    ++g_nextCalls;
    cabName = g_stem + std::to_string(cabNo) + ".cab";
    g_lastDisk = diskNo;
}

std::string BaseName(const std::string& path) {
    std::string::size_type cut = path.find_last_of("\\/:");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string ErrorOf(const char* call) {
    TCabError e = CabLastError();
    return std::string(call) + " failed: " + CabErrorText(e.erfOper) + " (" +
           std::to_string(e.erfType) + ")";
}

// Packs every file into one cabinet (or a set); true when all calls succeed.
bool Pack(const std::string& cab, const std::vector<std::string>& files, TCompressionType type,
          std::int32_t diskSize, std::int32_t reserved) {
    HCabContext h =
        CabCreate(cab, "DISK1", 300000, diskSize, reserved, 4711, Progress, NextCabinet);
    if (!h) {
        Check(false, cab + ": " + ErrorOf("CabCreate"));
        return false;
    }
    bool ok = true;
    for (const std::string& f : files)
        if (ok && !CabAddFile(h, f, BaseName(f), type, 0, false)) {
            Check(false, cab + ": " + f + ": " + ErrorOf("CabAddFile"));
            ok = false;
        }
    if (ok && !CabFlush(h, false)) {
        Check(false, cab + ": " + ErrorOf("CabFlush"));
        ok = false;
    }
    Check(CabDestroy(h), cab + ": CabDestroy failed");
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: syscab_writer OUTDIR FILE...\n");
        return 2;
    }
    const std::string out = std::string(argv[1]) + "\\";
    const std::vector<std::string> files(argv + 2, argv + argc);

    Pack(out + "mszip.cab", files, ctMsZip, 0x7FFFFFFF, 0);
    // The first file, 1 MB of text, was reported nearly or wholly done: the
    // percent comes from the status callback's third argument (uncompressed
    // bytes; the second, compressed, would give a few percent) over the size
    // the open-information callback read. The library compresses a block once
    // it is full, so the tail of a file may be reported with the next one.
    const int textDone = g_percent.count(files[0]) ? g_percent[files[0]] : -1;
    Check(textDone >= 90 && textDone <= 100,
          files[0] + ": progress ended at " + std::to_string(textDone));
    Check(g_nextCalls == 0, "a single cabinet asked for a next one");

    Pack(out + "none.cab", files, ctNone, 0x7FFFFFFF, 1000);

    g_stem = "span";
    Pack(out + "span.cab", files, ctMsZip, 40000, 0);
    Check(g_nextCalls >= 2,
          "the set of small cabinets asked for " + std::to_string(g_nextCalls) + " next cabinets");
    Check(g_lastDisk >= 1, "the next-cabinet relay saw disk " + std::to_string(g_lastDisk));

    // A file that is not there: the open-information callback's error output
    // reaches the error record as the system's code.
    {
        HCabContext h =
            CabCreate(out + "missing.cab", "", 300000, 0x7FFFFFFF, 0, 1, Progress, NextCabinet);
        Check(h != nullptr, ErrorOf("CabCreate"));
        if (h) {
            Check(!CabAddFile(h, out + "no-such-file.txt", "x.txt", ctMsZip, 0, false),
                  "adding a missing file succeeded");
            TCabError e = CabLastError();
            Check(e.fError && e.erfOper == 1 && e.erfType == 2,
                  "missing file: error record " + std::to_string(e.erfOper) + "/" +
                      std::to_string(e.erfType) + "/" + std::to_string(e.fError) +
                      ", expected 1/2/1");
            CabDestroy(h);
        }
    }

    // The owner's abort answered through the status callback.
    {
        g_abort = true;
        HCabContext h =
            CabCreate(out + "abort.cab", "", 300000, 0x7FFFFFFF, 0, 1, Progress, NextCabinet);
        Check(h != nullptr, ErrorOf("CabCreate"));
        if (h) {
            bool added = true;
            for (const std::string& f : files)
                added = added && CabAddFile(h, f, BaseName(f), ctMsZip, 0, false);
            Check(!added, "an aborted build succeeded");
            Check(CabLastError().erfOper == 7,
                  "abort gave error " + std::to_string(CabLastError().erfOper) + ", expected 7");
            CabDestroy(h);
        }
        g_abort = false;
    }

    std::printf("%d next-cabinet calls, %d failures\n", g_nextCalls, g_failures);
    return g_failures ? 1 : 0;
}
