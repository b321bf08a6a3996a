// The cabinet engine driven through its FCI calls: random files, names,
// compression types, cabinet sizes, reserves, folder thresholds and flushes,
// sometimes with one callback made to fail. Whatever happens, a FALSE comes
// with an error code, nothing is left open or allocated after FCIDestroy, no
// cabinet exceeds its size, and a build that succeeded is read back by
// libmspack with every file's bytes.
#include "FuzzCommon.h"
#include "MemCab.h"

#include "fci.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

// The compression types a file may ask for besides Quantum, whose levels and
// windows PickType draws.
const TCOMP Types[] = {
    tcompTYPE_NONE,         tcompTYPE_MSZIP,        TCOMPfromLZXWindow(15),
    TCOMPfromLZXWindow(16), TCOMPfromLZXWindow(17), TCOMPfromLZXWindow(18),
    TCOMPfromLZXWindow(19), TCOMPfromLZXWindow(20), TCOMPfromLZXWindow(21),
};

// Quantum: code 2 alone (level 7, window 2^21), a level of 1 to 7 with a window
// of 2^10 to 2^21, or now and then any code of type 2, mostly one to refuse.
TCOMP PickType(FuzzedDataProvider& in) {
    const std::size_t i = in.ConsumeIntegralInRange<std::size_t>(0, std::size(Types));
    if (i < std::size(Types)) return Types[i];
    switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
        return tcompTYPE_QUANTUM;
    case 1:
        return static_cast<TCOMP>((in.ConsumeIntegral<USHORT>() & 0xFFF0) | tcompTYPE_QUANTUM);
    default:
        return static_cast<TCOMP>(tcompTYPE_QUANTUM | (in.ConsumeIntegralInRange(1, 7) << 4) |
                                  (in.ConsumeIntegralInRange(10, 21) << 8));
    }
}

bool Implemented(TCOMP t) {
    if (t == tcompTYPE_NONE || t == tcompTYPE_MSZIP) return true;
    const int low = (t >> 4) & 0xF, window = (t >> 8) & 0x1F;
    if ((t & 0xE00F) == tcompTYPE_LZX) return low == 0 && window >= 15 && window <= 21;
    if ((t & 0xE00F) == tcompTYPE_QUANTUM)
        return (low == 0 && window == 0) || (low >= 1 && low <= 7 && window >= 10 && window <= 21);
    return false;
}

enum class Fault { None, Alloc, SourceMissing, SourceRead, Write, StatusAbort, TempName, Count };

// The callbacks over an in-memory file system, with one fault on demand.
struct Io {
    fuzz::MemFiles files;
    std::map<std::string, std::string> sources;
    struct Handle {
        std::string name;
        std::string* data;
        std::size_t pos;
        bool source;
    };
    std::map<INT_PTR, Handle> handles;
    INT_PTR next = 100;
    long liveAllocs = 0;
    std::vector<std::string> cabinets; // in the order the set names them
    ULONG cabSize = 0;

    Fault fault = Fault::None;
    std::size_t faultAfter = 0; // allocations, bytes or status calls before the fault
    std::size_t counted = 0;
    bool Tick(Fault f, std::size_t n = 1) {
        if (fault != f) return false;
        counted += n;
        return counted > faultAfter;
    }
};

Io* io = nullptr; // the allocation callbacks get no context

Io& Of(void* pv) {
    return *static_cast<Io*>(pv);
}

void* Alloc(ULONG cb) {
    if (io->Tick(Fault::Alloc)) return nullptr;
    void* p = std::malloc(cb ? cb : 1);
    if (p) ++io->liveAllocs;
    return p;
}

void Free(void* p) {
    if (p) --io->liveAllocs;
    std::free(p);
}

INT_PTR Open(char* name, int oflag, int, int* err, void* pv) {
    Io& s = Of(pv);
    *err = 0;
    auto it = s.files.find(name);
    if (oflag & FCI_O_CREAT) {
        if (it != s.files.end() && (oflag & FCI_O_EXCL)) {
            *err = EEXIST;
            return -1;
        }
        it = s.files.insert_or_assign(name, std::string()).first;
    } else if (it == s.files.end()) {
        *err = ENOENT;
        return -1;
    }
    s.handles[s.next] = {name, &it->second, 0, false};
    return s.next++;
}

UINT Read(INT_PTR h, void* mem, UINT cb, int* err, void* pv) {
    Io& s = Of(pv);
    *err = 0;
    auto it = s.handles.find(h);
    if (it == s.handles.end()) fuzz::Fail("cabengine: read through a closed handle");
    Io::Handle& hd = it->second;
    std::size_t n =
        hd.pos >= hd.data->size() ? 0 : std::min<std::size_t>(cb, hd.data->size() - hd.pos);
    if (hd.source && s.Tick(Fault::SourceRead, n)) {
        *err = EIO;
        return static_cast<UINT>(-1);
    }
    std::memcpy(mem, hd.data->data() + hd.pos, n);
    hd.pos += n;
    return static_cast<UINT>(n);
}

UINT Write(INT_PTR h, void* mem, UINT cb, int* err, void* pv) {
    Io& s = Of(pv);
    *err = 0;
    auto it = s.handles.find(h);
    if (it == s.handles.end()) fuzz::Fail("cabengine: write through a closed handle");
    Io::Handle& hd = it->second;
    if (hd.source) fuzz::Fail("cabengine: write to the source %s", hd.name.c_str());
    if (s.Tick(Fault::Write, cb)) {
        *err = ENOSPC;
        return static_cast<UINT>(-1);
    }
    if (hd.data->size() < hd.pos + cb) hd.data->resize(hd.pos + cb);
    std::memcpy(hd.data->data() + hd.pos, mem, cb);
    hd.pos += cb;
    return cb;
}

int Close(INT_PTR h, int* err, void* pv) {
    Io& s = Of(pv);
    *err = 0;
    if (s.handles.erase(h) == 0) fuzz::Fail("cabengine: a handle closed twice");
    return 0;
}

long Seek(INT_PTR h, long dist, int type, int* err, void* pv) {
    Io& s = Of(pv);
    *err = 0;
    auto it = s.handles.find(h);
    if (it == s.handles.end()) fuzz::Fail("cabengine: seek through a closed handle");
    Io::Handle& hd = it->second;
    const long base = type == FCI_SEEK_SET   ? 0
                      : type == FCI_SEEK_CUR ? static_cast<long>(hd.pos)
                                             : static_cast<long>(hd.data->size());
    if (base + dist < 0) {
        *err = EINVAL;
        return -1;
    }
    hd.pos = static_cast<std::size_t>(base + dist);
    return base + dist;
}

int Delete(char* name, int* err, void* pv) {
    Io& s = Of(pv);
    *err = 0;
    for (const auto& [h, hd] : s.handles)
        if (hd.name == name && !hd.source) fuzz::Fail("cabengine: %s deleted while open", name);
    if (s.files.erase(name) == 0) {
        *err = ENOENT;
        return -1;
    }
    return 0;
}

BOOL TempFile(char* name, int cb, void* pv) {
    Io& s = Of(pv);
    if (s.Tick(Fault::TempName)) return FALSE;
    static int count = 0;
    const std::string t = "tmp/vFw" + std::to_string(++count);
    if (static_cast<int>(t.size()) >= cb) return FALSE;
    std::strcpy(name, t.c_str());
    return TRUE;
}

int Placed(PCCAB, char*, long, BOOL, void*) {
    return 0;
}

BOOL Next(PCCAB ccab, ULONG, void* pv) {
    Io& s = Of(pv);
    std::snprintf(ccab->szCab, sizeof ccab->szCab, "cab%d.cab", ccab->iCab);
    std::snprintf(ccab->szDisk, sizeof ccab->szDisk, "disk%d", ccab->iCab);
    s.cabinets.push_back(std::string(ccab->szCabPath) + ccab->szCab);
    return TRUE;
}

long Status(UINT, ULONG, ULONG, void*) {
    return io->Tick(Fault::StatusAbort) ? -1 : 0;
}

INT_PTR OpenInfo(char* name, USHORT* date, USHORT* time, USHORT* attribs, int* err, void* pv) {
    Io& s = Of(pv);
    *err = 0;
    auto it = s.sources.find(name);
    if (it == s.sources.end()) {
        *err = ENOENT;
        return -1;
    }
    *date = 0x5022;
    *time = 0x1883;
    *attribs = 0x20;
    s.handles[s.next] = {name, &it->second, 0, true};
    return s.next++;
}

// Contents from a few input bytes: taken as they are, or cycled up to a size
// with every copy a little changed.
// The budget keeps one run to a fraction of a second under the sanitizers.
std::string Contents(FuzzedDataProvider& in, std::size_t& budget) {
    std::string bytes = in.ConsumeRandomLengthString(512);
    if (!in.ConsumeBool()) return bytes;
    const std::size_t size = std::min(budget, in.ConsumeIntegralInRange<std::size_t>(0, 70000));
    budget -= size;
    std::string out;
    if (bytes.empty()) bytes = "x";
    for (std::size_t copy = 0; out.size() < size; ++copy) {
        std::string piece = bytes;
        piece[copy % piece.size()] = static_cast<char>(piece[copy % piece.size()] + copy);
        out.append(piece, 0, std::min(piece.size(), size - out.size()));
    }
    return out;
}

void CheckFailure(const ERF& erf, const char* call) {
    if (!erf.fError || erf.erfOper < FCIERR_OPEN_SRC || erf.erfOper > FCIERR_MCI_FAIL)
        fuzz::Fail("cabengine: %s failed with fError %d, erfOper %d", call, erf.fError,
                   erf.erfOper);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    Io s;
    io = &s;

    CCAB ccab;
    std::memset(&ccab, 0, sizeof ccab);
    const bool spanning = in.ConsumeBool();
    ccab.cb = spanning ? in.ConsumeIntegralInRange<ULONG>(0, 200000) : 0x7FFFFFFF;
    ccab.cbFolderThresh = in.ConsumeBool() ? 0x7FFFFFFF : in.ConsumeIntegral<ULONG>();
    ccab.cbReserveCFHeader = in.ConsumeBool() ? 0 : in.ConsumeIntegralInRange<UINT>(0, 60001);
    ccab.cbReserveCFFolder = in.ConsumeBool() ? 0 : in.ConsumeIntegralInRange<UINT>(0, 256);
    ccab.cbReserveCFData = in.ConsumeBool() ? 0 : in.ConsumeIntegralInRange<UINT>(0, 256);
    ccab.iCab = 1;
    ccab.iDisk = 1;
    ccab.fFailOnIncompressible = in.ConsumeBool();
    ccab.setID = in.ConsumeIntegral<USHORT>();
    std::strcpy(ccab.szCab, "cab1.cab");
    std::strcpy(ccab.szDisk, "disk1");
    std::strcpy(ccab.szCabPath, "out/");
    s.cabinets.push_back("out/cab1.cab");
    s.fault = static_cast<Fault>(in.ConsumeIntegralInRange<int>(0, int(Fault::Count) - 1));
    if (in.ConsumeIntegralInRange(0, 3) != 0) s.fault = Fault::None; // mostly none
    s.faultAfter = in.ConsumeIntegralInRange<std::size_t>(0, 300000);

    ERF erf{};
    HFCI h = FCICreate(&erf, Placed, Alloc, Free, Open, Read, Write, Close, Seek, Delete, TempFile,
                       &ccab, &s);
    bool ok = h != nullptr;
    if (!ok) CheckFailure(erf, "FCICreate");

    // Files with their calls: add, sometimes close the folder or the cabinet.
    std::vector<fuzz::CabEntry> added;
    std::size_t budget = 100000;
    // Without spanning, faults or refusal of incompressible data, every call on
    // a file with a valid name and an available type must succeed.
    const bool mustSucceed = !spanning && s.fault == Fault::None && !ccab.fFailOnIncompressible;
    const int fileCount = in.ConsumeIntegralInRange(0, 8);
    for (int i = 0; ok && i < fileCount; ++i) {
        fuzz::CabEntry file{"file" + std::to_string(i), Contents(in, budget)};
        file.name += in.ConsumeRandomLengthString(300);
        for (char& c : file.name)
            if (c < 0x20 || c > 0x7E) c = '_';
        const TCOMP type = PickType(in);
        const std::string source = "src/" + std::to_string(i);
        if (s.fault != Fault::SourceMissing || i != 0) s.sources[source] = file.data;
        const int after = in.ConsumeIntegralInRange(0, 5);

        std::string src = source, name = file.name;
        ok = FCIAddFile(h, src.data(), name.data(), FALSE, Next, Status, OpenInfo, type) != FALSE;
        const bool validName = name.size() <= 255;
        if (!ok) {
            CheckFailure(erf, "FCIAddFile");
            if (!Implemented(type) && validName && s.fault == Fault::None &&
                erf.erfOper != FCIERR_BAD_COMPR_TYPE)
                fuzz::Fail("cabengine: an unknown type failed with erfOper %d", erf.erfOper);
            if (mustSucceed && validName && Implemented(type))
                fuzz::Fail("cabengine: adding %s (%zu bytes, type %#x) failed with erfOper %d",
                           name.c_str(), file.data.size(), type, erf.erfOper);
            break;
        }
        if (!Implemented(type)) fuzz::Fail("cabengine: type %#x taken", type);
        added.push_back(std::move(file));
        if (after == 1) {
            ok = FCIFlushFolder(h, Next, Status) != FALSE;
            if (!ok) CheckFailure(erf, "FCIFlushFolder");
            if (!ok && mustSucceed) fuzz::Fail("cabengine: a folder flush failed");
        } else if (after == 2) {
            ok = FCIFlushCabinet(h, TRUE, Next, Status) != FALSE;
            if (!ok) CheckFailure(erf, "FCIFlushCabinet(TRUE)");
            if (!ok && mustSucceed) fuzz::Fail("cabengine: a cabinet flush failed");
        }
    }
    if (ok) {
        ok = FCIFlushCabinet(h, FALSE, Next, Status) != FALSE;
        if (!ok) CheckFailure(erf, "FCIFlushCabinet");
        if (!ok && mustSucceed)
            fuzz::Fail("cabengine: the last flush failed with erfOper %d", erf.erfOper);
    } else if (h) {
        // A context that failed must keep failing (or flush what it holds) without harm.
        if (!FCIFlushCabinet(h, FALSE, Next, Status)) CheckFailure(erf, "FCIFlushCabinet");
    }
    if (h) FCIDestroy(h);

    if (!s.handles.empty())
        fuzz::Fail("cabengine: %zu handles left open, first %s", s.handles.size(),
                   s.handles.begin()->second.name.c_str());
    if (s.liveAllocs != 0) fuzz::Fail("cabengine: %ld allocations not freed", s.liveAllocs);
    for (const auto& [name, bytes] : s.files) {
        if (name.rfind("tmp/", 0) == 0) fuzz::Fail("cabengine: temporary %s left", name.c_str());
        if (bytes.size() > ccab.cb)
            fuzz::Fail("cabengine: %s has %zu bytes, more than %u", name.c_str(), bytes.size(),
                       ccab.cb);
    }
    io = nullptr;
    if (!ok) return 0;

    // Cabinets named for the set but not written (a last flush names none) are left out.
    std::vector<std::string> cabs;
    for (const std::string& c : s.cabinets)
        if (s.files.count(c)) cabs.push_back(c);
    std::vector<fuzz::CabEntry> back;
    std::string error;
    if (!fuzz::ReadCabinets(s.files, cabs, back, error))
        fuzz::Fail("cabengine: %zu cabinets, %zu files: %s", cabs.size(), added.size(),
                   error.c_str());
    if (back.size() != added.size())
        fuzz::Fail("cabengine: libmspack lists %zu files, %zu were added", back.size(),
                   added.size());
    for (std::size_t i = 0; i < added.size(); ++i) {
        if (back[i].name != added[i].name)
            fuzz::Fail("cabengine: file %zu named %s comes back as %s", i, added[i].name.c_str(),
                       back[i].name.c_str());
        if (back[i].data != added[i].data)
            fuzz::Fail("cabengine: %s (%zu bytes) comes back different (%zu bytes)",
                       added[i].name.c_str(), added[i].data.size(), back[i].data.size());
    }
    return 0;
}
