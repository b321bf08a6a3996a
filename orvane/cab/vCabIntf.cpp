#include "vCabIntf.h"

#include "Platform.h"
#include "fci.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

namespace {

// The progress of the file being added and the caller's relays, handed to the
// engine as its user value. Sizes are kept in 64 bits.
struct TCabContext {
    std::string CurrentFile;
    std::int64_t CurrentSize = 0;
    std::int64_t BytesDone = 0;
    TProgressRelay progress = nullptr;
    TNextCabinetRelay nextCabinet = nullptr;

    // Names handed out for the engine's temporary files.
    std::vector<std::string> tempNames;
    // Every cabinet the engine created, with the identity of the very file
    // it created and its size when the engine closed it (file numbers are
    // used again for new files once a file is deleted), and the last one it
    // set out to create.
    struct Written {
        std::string path;
        plat::FileId id;
        plat::FileHandle open = plat::InvalidFile;
        std::int64_t size = -1;
    };
    std::vector<Written> written;
    std::string lastCabinet;

    bool IsTempName(const std::string& name) const {
        return std::find(tempNames.begin(), tempNames.end(), name) != tempNames.end();
    }
};

// One handle: the engine's context and the TCabContext it reports to.
struct TCabSession {
    HFCI hfci = nullptr;
    TCabContext context;
    // The record given to FCICreate. cabinet.dll (Wine's at least) keeps the
    // pointer and reads and updates the record on every new cabinet, so it
    // lives as long as the handle.
    CCAB ccab;
};

// The shared error record of all wrappers.
ERF g_erf{};

void ClearError() {
    g_erf = ERF{};
}

void SetError(int oper, int type) {
    g_erf.erfOper = oper;
    g_erf.erfType = type;
    g_erf.fError = TRUE;
}

TCabContext* ContextOf(void* pv) {
    return static_cast<TCabContext*>(pv);
}

// Copies text into a fixed 256-byte field; false when it does not fit.
bool CopyField(char (&field)[256], const std::string& text) {
    if (text.size() >= sizeof field) return false;
    std::memset(field, 0, sizeof field);
    std::memcpy(field, text.data(), text.size());
    return true;
}

std::string FieldText(const char* field, std::size_t size) {
    std::size_t n = 0;
    while (n < size && field[n])
        ++n;
    return std::string(field, n);
}

// ---- callbacks handed to the engine --------------------------------------------

int FilePlaced(PCCAB, char*, long, BOOL, void*) {
    return 0;
}

void* Alloc(ULONG cb) {
    return std::malloc(cb ? cb : 1);
}

void Free(void* memory) {
    std::free(memory);
}

// Temporary files are opened so that they vanish with their handle, even when
// the process is killed; every cabinet created is recorded with its identity.
INT_PTR Open(char* pszFile, int oflag, int, int* err, void* pv) {
    *err = 0;
    try {
        TCabContext* c = ContextOf(pv);
        const std::string path = pszFile;
        const bool create = (oflag & FCI_O_CREAT) != 0;
        const bool temp = create && c && c->IsTempName(path);
        if (create && !temp && c) c->lastCabinet = path;
        plat::OpenMode mode = !create ? plat::OpenMode::Read
                              : temp  ? plat::OpenMode::CreateTemporary
                                      : plat::OpenMode::CreateNew;
        plat::FileHandle h = plat::OpenFile(path, mode);
        if (h == plat::InvalidFile) {
            *err = plat::LastError();
            return -1;
        }
        if (create && !temp && c) {
            TCabContext::Written w{path, {}, h, -1};
            if (!plat::GetFileId(h, w.id)) {
                *err = plat::LastError();
                plat::CloseFile(h);
                plat::DeleteFile(path);
                return -1;
            }
            c->written.push_back(w);
        }
        return static_cast<INT_PTR>(h);
    } catch (...) {
        return -1;
    }
}

UINT Read(INT_PTR hf, void* memory, UINT cb, int* err, void*) {
    *err = 0;
    std::int64_t n = plat::ReadFile(static_cast<plat::FileHandle>(hf), memory, cb);
    if (n < 0) {
        *err = plat::LastError();
        return 0;
    }
    return static_cast<UINT>(n);
}

UINT Write(INT_PTR hf, void* memory, UINT cb, int* err, void*) {
    *err = 0;
    std::int64_t n = plat::WriteFile(static_cast<plat::FileHandle>(hf), memory, cb);
    if (n != static_cast<std::int64_t>(cb)) {
        *err = plat::LastError();
        return 0;
    }
    return cb;
}

int Close(INT_PTR hf, int* err, void* pv) {
    *err = 0;
    if (TCabContext* c = ContextOf(pv))
        for (TCabContext::Written& w : c->written)
            if (w.open == static_cast<plat::FileHandle>(hf)) {
                w.size = plat::FileSize(w.open);
                w.open = plat::InvalidFile;
            }
    if (!plat::CloseFile(static_cast<plat::FileHandle>(hf))) {
        *err = plat::LastError();
        return -1;
    }
    return 0;
}

long Seek(INT_PTR hf, long dist, int seektype, int* err, void*) {
    *err = 0;
    plat::SeekFrom from = seektype == FCI_SEEK_CUR   ? plat::SeekFrom::Current
                          : seektype == FCI_SEEK_END ? plat::SeekFrom::End
                                                     : plat::SeekFrom::Begin;
    std::int64_t pos =
        plat::SeekFile(static_cast<plat::FileHandle>(hf), static_cast<std::int32_t>(dist), from);
    if (pos < 0) {
        *err = plat::LastError();
        return -1;
    }
    // A position the result cannot hold is a failure, never a wrapped value.
    if (pos > std::numeric_limits<long>::max()) {
        *err = plat::ErrorFileTooLarge();
        return -1;
    }
    return static_cast<long>(pos);
}

int Delete(char* pszFile, int* err, void* pv) {
    *err = 0;
    try {
        TCabContext* c = ContextOf(pv);
        const std::string path = pszFile;
        if (c && c->IsTempName(path)) {
            // The file went with its handle; its name may be gone already.
            c->tempNames.erase(std::find(c->tempNames.begin(), c->tempNames.end(), path));
            if (!plat::PathExists(path)) return 0;
        } else if (c) {
            // A cabinet the engine takes back is no longer one of ours.
            plat::FileId id;
            if (plat::GetFileId(path, id))
                c->written.erase(
                    std::remove_if(c->written.begin(), c->written.end(),
                                   [&](const TCabContext::Written& w) { return w.id == id; }),
                    c->written.end());
        }
        if (!plat::DeleteFile(path)) {
            *err = plat::LastError();
            return -1;
        }
        return 0;
    } catch (...) {
        return -1;
    }
}

// Reserves a unique name in the system's temporary folder, then removes the
// file again so that the engine's exclusive create can make it.
BOOL GetTempFile(char* pszTempName, int cbTempName, void* pv) {
    try {
        std::string folder = plat::TempFolder();
        if (folder.empty() || folder.size() > 256) return FALSE;
        std::string name = plat::MakeTempFile(folder, "vFw");
        if (name.empty()) return FALSE;
        if (cbTempName <= 0 || name.size() >= static_cast<std::size_t>(cbTempName)) {
            plat::DeleteFile(name);
            return FALSE;
        }
        if (TCabContext* c = ContextOf(pv)) c->tempNames.push_back(name);
        std::memcpy(pszTempName, name.c_str(), name.size() + 1);
        plat::DeleteFile(name);
        return TRUE;
    } catch (...) {
        return FALSE;
    }
}

long StatusAdd(UINT typeStatus, ULONG, ULONG cb2, void* pv) {
    if (typeStatus != statusFile) return 0;
    try {
        TCabContext* c = ContextOf(pv);
        c->BytesDone += cb2;
        // A block reported for an empty file completes it.
        std::int64_t percent = c->CurrentSize > 0 ? c->BytesDone * 100 / c->CurrentSize : 100;
        percent = std::min<std::int64_t>(percent, std::numeric_limits<int>::max());
        bool abort = false;
        if (c->progress) c->progress(c->CurrentFile, static_cast<int>(percent), abort);
        return abort ? -1 : 0;
    } catch (...) {
        return -1;
    }
}

long StatusFlush(UINT, ULONG, ULONG, void*) {
    return 0;
}

BOOL NextCabinet(PCCAB pccab, ULONG, void* pv) {
    try {
        TCabContext* c = ContextOf(pv);
        std::string cabName = FieldText(pccab->szCab, sizeof pccab->szCab);
        std::string diskName = FieldText(pccab->szDisk, sizeof pccab->szDisk);
        bool abort = false;
        if (c->nextCabinet) c->nextCabinet(cabName, diskName, pccab->iCab, pccab->iDisk, abort);
        if (abort) return FALSE;
        // A name longer than its field is not cut short: the cabinet name is
        // left empty, and the engine refuses to create such a cabinet.
        if (!CopyField(pccab->szCab, cabName) || !CopyField(pccab->szDisk, diskName))
            pccab->szCab[0] = 0;
        return TRUE;
    } catch (...) {
        return FALSE;
    }
}

INT_PTR OpenInfo(char* pszName, USHORT* pdate, USHORT* ptime, USHORT* pattribs, int* err,
                 void* pv) {
    *err = 0;
    try {
        // Only plain files are stored: opening a pipe would wait for a writer,
        // and a device has no size to store.
        if (plat::FileExists(pszName) && !plat::IsRegularFile(pszName)) {
            *err = plat::ErrorNotRegularFile();
            return -1;
        }
        plat::FileHandle h = plat::OpenFile(pszName, plat::OpenMode::Read);
        if (h == plat::InvalidFile) {
            *err = plat::LastError();
            return -1;
        }
        plat::FileInfo info;
        if (!plat::GetFileInfo(h, info)) {
            *err = plat::LastError();
            plat::CloseFile(h);
            return -1;
        }
        // A size the engine's seek results (a long, 32 bits on Windows) cannot
        // express is refused at the open, like any other file too large to store.
        if (info.size > std::numeric_limits<long>::max()) {
            *err = plat::ErrorFileTooLarge();
            plat::CloseFile(h);
            return -1;
        }
        *pdate = info.dosDate;
        *ptime = info.dosTime;
        std::uint32_t attributes = 0;
        *pattribs = plat::GetFileAttributes(pszName, attributes)
                        ? static_cast<USHORT>(attributes & 0x27)
                        : 0;
        TCabContext* c = ContextOf(pv);
        c->CurrentFile = pszName;
        c->CurrentSize = info.size;
        c->BytesDone = 0;
        return static_cast<INT_PTR>(h);
    } catch (...) {
        return -1;
    }
}

TCabSession* SessionOf(HCabContext h) {
    return static_cast<TCabSession*>(h);
}

} // namespace

HCabContext CabCreate(const std::string& cabFile, const std::string& diskName,
                      std::int32_t folderSize, std::int32_t diskSize, std::int32_t reserved,
                      int setNumber, TProgressRelay progress, TNextCabinetRelay nextCabinet) {
    TCabSession* session = nullptr;
    try {
        ClearError();
        CCAB ccab;
        std::memset(&ccab, 0, sizeof ccab);
        ccab.cb = static_cast<ULONG>(diskSize);
        ccab.cbFolderThresh = static_cast<ULONG>(folderSize);
        ccab.cbReserveCFHeader = static_cast<UINT>(reserved);
        ccab.iCab = 1;
        ccab.iDisk = 1;
        ccab.setID = static_cast<USHORT>(setNumber & 0xFFFF);

        const char* separators = plat::PathSep == '\\' ? "\\\\/:" : "/";
        std::string::size_type cut = cabFile.find_last_of(separators);
        std::string folder = cut == std::string::npos ? std::string() : cabFile.substr(0, cut + 1);
        std::string name = cut == std::string::npos ? cabFile : cabFile.substr(cut + 1);
        // Names that do not fit their fields are refused rather than cut short.
        if (!CopyField(ccab.szDisk, diskName) || !CopyField(ccab.szCab, name) ||
            !CopyField(ccab.szCabPath, folder)) {
            SetError(FCIERR_CAB_FILE, plat::ErrorNameTooLong());
            return nullptr;
        }

        session = new TCabSession;
        session->ccab = ccab;
        session->context.progress = progress;
        session->context.nextCabinet = nextCabinet;
        session->hfci = FCICreate(&g_erf, FilePlaced, Alloc, Free, Open, Read, Write, Close, Seek,
                                  Delete, GetTempFile, &session->ccab, &session->context);
        if (!session->hfci) {
            delete session;
            return nullptr;
        }
        return session;
    } catch (const std::bad_alloc&) {
        delete session;
        SetError(FCIERR_ALLOC_FAIL, 0);
        return nullptr;
    } catch (...) {
        delete session;
        return nullptr;
    }
}

bool CabAddFile(HCabContext h, const std::string& sourcePath, const std::string& nameInCab,
                TCompressionType compType, int windowExponent, bool execute) {
    try {
        ClearError();
        TCabSession* session = SessionOf(h);
        if (!session) return false;
        int code = static_cast<int>(compType) & 0x7F;
        if (compType == ctLzx) code += windowExponent << 8;
        // Quantum's level and window fields when given (a window field is 0x0A00 or more);
        // a plain exponent, as the component passes for every method, means the defaults.
        if (compType == ctQuantum && windowExponent >= 0x100) code |= windowExponent & 0x1FF0;
        std::string source = sourcePath;
        std::string name = nameInCab;
        return FCIAddFile(session->hfci, source.data(), name.data(), execute ? TRUE : FALSE,
                          NextCabinet, StatusAdd, OpenInfo, static_cast<TCOMP>(code)) != FALSE;
    } catch (...) {
        return false;
    }
}

bool CabFlush(HCabContext h, bool getNextCab) {
    try {
        ClearError();
        TCabSession* session = SessionOf(h);
        if (!session) return false;
        return FCIFlushCabinet(session->hfci, getNextCab ? TRUE : FALSE, NextCabinet,
                               StatusFlush) != FALSE;
    } catch (...) {
        return false;
    }
}

bool CabDestroy(HCabContext h) {
    try {
        ClearError();
        TCabSession* session = SessionOf(h);
        if (!session) return false;
        bool ok = FCIDestroy(session->hfci) != FALSE;
        delete session;
        return ok;
    } catch (...) {
        return false;
    }
}

std::string CabLastCabinet(HCabContext h) {
    try {
        TCabSession* session = SessionOf(h);
        return session ? session->context.lastCabinet : std::string();
    } catch (...) {
        return std::string();
    }
}

std::vector<std::string> CabRemoveWritten(HCabContext h) {
    std::vector<std::string> left;
    try {
        TCabSession* session = SessionOf(h);
        if (!session) return left;
        for (const TCabContext::Written& w : session->context.written) {
            // Only the very file written here goes: a file of the same name
            // that has taken its place (another disk in the drive) stays.
            plat::FileId now;
            if (plat::GetFileId(w.path, now) && now == w.id &&
                (w.size < 0 || plat::FileSizeOf(w.path) == w.size) && plat::DeleteFile(w.path))
                continue;
            left.push_back(w.path);
        }
        session->context.written.clear();
    } catch (...) {
    }
    return left;
}

TCabError CabLastError() {
    TCabError e;
    e.erfOper = g_erf.erfOper;
    e.erfType = g_erf.erfType;
    e.fError = g_erf.fError != FALSE;
    return e;
}

std::string CabErrorText(int code) {
    switch (code) {
    case 0:
        return "No error";
    case 1:
        return "Failure opening file to be stored in cabinet";
    case 2:
        return "Failure reading file to be stored in cabinet";
    case 3:
        return "Out of memory during compression";
    case 4:
        return "Could not create a temporary file";
    case 5:
        return "Unknown compression type";
    case 6:
        return "Could not create cabinet file";
    case 7:
        return "User abort";
    case 8:
        return "Failure compressing data";
    default:
        return "Unknown error!";
    }
}
