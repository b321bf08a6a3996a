#include "FakeCabIntf.h"

#include "Platform.h"

#include <algorithm>
#include <memory>

namespace fakecab {
namespace {

Script theScript;
Record theRecord;
TCabError lastError;

struct Context {
    std::string folder;
    std::string cabName;
    std::string diskName;
    int iCab = 1;
    int iDisk = 1;
    std::vector<std::string> names; // stored in the cabinet in progress
    std::vector<std::string> written;
    std::string lastCabinet;
    TProgressRelay progress = nullptr;
    TNextCabinetRelay nextCabinet = nullptr;
};

bool Fail(int oper, int type) {
    lastError.erfOper = oper;
    lastError.erfType = type;
    lastError.fError = true;
    return false;
}

// Writes the cabinet in progress; like the engine, never over an existing file.
bool WriteCabinet(Context& c) {
    std::string path = c.folder + c.cabName;
    c.lastCabinet = path;
    plat::File f;
    if (!f.Open(path, plat::OpenMode::CreateNew)) return Fail(6, plat::LastError());
    std::string text;
    for (const std::string& n : c.names)
        text += n + "\n";
    plat::WriteFile(f.Handle(), text.data(), text.size());
    theRecord.cabinetsWritten.push_back(path);
    c.written.push_back(path);
    theRecord.diskNumbers.push_back(c.iDisk);
    c.names.clear();
    return true;
}

} // namespace

void Reset() {
    theScript = Script();
    theRecord = Record();
    lastError = TCabError();
}
Script& script() {
    return theScript;
}
Record& record() {
    return theRecord;
}

} // namespace fakecab

using namespace fakecab;

HCabContext CabCreate(const std::string& cabFile, const std::string& diskName,
                      std::int32_t folderSize, std::int32_t diskSize, std::int32_t reserved,
                      int setNumber, TProgressRelay progress, TNextCabinetRelay nextCabinet) {
    lastError = TCabError();
    theRecord.creates.push_back({cabFile, diskName, folderSize, diskSize, reserved, setNumber});
    if (theScript.createFailures > 0) {
        --theScript.createFailures;
        Fail(6, 13);
        return nullptr;
    }
    auto c = std::make_unique<Context>();
    std::size_t cut = cabFile.find_last_of(plat::PathSep == '\\' ? "\\\\/:" : "/");
    c->folder = cut == std::string::npos ? "" : cabFile.substr(0, cut + 1);
    c->cabName = cut == std::string::npos ? cabFile : cabFile.substr(cut + 1);
    c->diskName = diskName;
    c->progress = progress;
    c->nextCabinet = nextCabinet;
    ++theRecord.liveContexts;
    return c.release();
}

bool CabAddFile(HCabContext h, const std::string& sourcePath, const std::string& nameInCab,
                TCompressionType compType, int windowExponent, bool execute) {
    lastError = TCabError();
    Context& c = *static_cast<Context*>(h);
    theRecord.adds.push_back({sourcePath, nameInCab, compType, windowExponent, execute, false});
    try {
        auto bad = theScript.unreadable.find(sourcePath);
        if (bad != theScript.unreadable.end() && bad->second != 0) {
            if (bad->second > 0) --bad->second;
            return Fail(2, 5);
        }
        if (theScript.filesPerCabinet > 0 &&
            static_cast<int>(c.names.size()) >= theScript.filesPerCabinet) {
            if (!WriteCabinet(c)) return false;
            bool abort = false;
            c.nextCabinet(c.cabName, c.diskName, c.iCab + 1, c.iDisk, abort);
            if (abort) return Fail(7, 0);
            ++c.iCab;
        }
        for (int percent : {50, 100}) {
            bool abort = false;
            c.progress(sourcePath, percent, abort);
            if (abort) return Fail(7, 0);
        }
    } catch (...) {
        return Fail(7, 0);
    }
    c.names.push_back(nameInCab);
    theRecord.adds.back().ok = true;
    return true;
}

bool CabFlush(HCabContext h, bool /*getNextCab*/) {
    lastError = TCabError();
    ++theRecord.flushes;
    if (theScript.flushFailures > 0) {
        --theScript.flushFailures;
        return Fail(6, 28);
    }
    return WriteCabinet(*static_cast<Context*>(h));
}

bool CabDestroy(HCabContext h) {
    lastError = TCabError();
    ++theRecord.destroys;
    --theRecord.liveContexts;
    delete static_cast<Context*>(h);
    return true;
}

std::string CabLastCabinet(HCabContext h) {
    return static_cast<Context*>(h)->lastCabinet;
}

std::vector<std::string> CabRemoveWritten(HCabContext h) {
    Context& c = *static_cast<Context*>(h);
    std::vector<std::string> left;
    for (const std::string& path : c.written) {
        const auto& far = theScript.outOfReach;
        if (std::find(far.begin(), far.end(), path) != far.end()) {
            left.push_back(path);
        } else {
            plat::DeleteFile(path);
            theRecord.cabinetsRemoved.push_back(path);
        }
    }
    c.written.clear();
    return left;
}

TCabError CabLastError() {
    return lastError;
}

std::string CabErrorText(int code) {
    switch (code) {
    case 0:
        return "No error";
    case 2:
        return "Failure reading file to be stored in cabinet";
    case 6:
        return "Could not create cabinet file";
    case 7:
        return "User abort";
    default:
        return "Unknown error!";
    }
}
