#include "CabFileIo.h"

#include "Platform.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace cab {

namespace {

FileIo* Of(void* pv) {
    return static_cast<FileIo*>(pv);
}

int NoPlacement(PCCAB, char*, long, BOOL, void*) {
    return 0;
}

} // namespace

bool FileIo::IsTempName(const std::string& name) const {
    return std::find(tempNames_.begin(), tempNames_.end(), name) != tempNames_.end();
}

HFCI FileIo::Create(PERF erf, PCCAB ccab, PFNFCIFILEPLACED placed) {
    return FCICreate(erf, placed ? placed : NoPlacement, Alloc, Free, Open, Read, Write, Close,
                     Seek, Delete, TempFile, ccab, this);
}

void* FileIo::Alloc(ULONG cb) {
    return std::malloc(cb ? cb : 1);
}

void FileIo::Free(void* memory) {
    std::free(memory);
}

INT_PTR FileIo::Open(char* pszFile, int oflag, int, int* err, void* pv) {
    *err = 0;
    try {
        FileIo* io = Of(pv);
        const std::string path = pszFile;
        const bool create = (oflag & FCI_O_CREAT) != 0;
        const bool temp = create && io->IsTempName(path);
        if (create && !temp) io->lastCabinet_ = path;
        // A cabinet replaces only a plain file of its name, and only when asked.
        if (create && !temp && io->replace_ && plat::IsRegularFile(path) &&
            !plat::DeleteFile(path)) {
            *err = plat::LastError();
            return -1;
        }
        plat::OpenMode mode = !create ? plat::OpenMode::Read
                              : temp  ? plat::OpenMode::CreateTemporary
                                      : plat::OpenMode::CreateNew;
        plat::FileHandle h = plat::OpenFile(path, mode);
        if (h == plat::InvalidFile) {
            *err = plat::LastError();
            return -1;
        }
        if (create && !temp) {
            plat::FileId id;
            if (!plat::GetFileId(h, id)) {
                *err = plat::LastError();
                plat::CloseFile(h);
                plat::DeleteFile(path);
                return -1;
            }
            io->written_.push_back(Written{path, id.volume, id.index, h, -1});
        }
        return static_cast<INT_PTR>(h);
    } catch (...) {
        return -1;
    }
}

UINT FileIo::Read(INT_PTR hf, void* memory, UINT cb, int* err, void*) {
    *err = 0;
    std::int64_t n = plat::ReadFile(static_cast<plat::FileHandle>(hf), memory, cb);
    if (n < 0) {
        *err = plat::LastError();
        return 0;
    }
    return static_cast<UINT>(n);
}

UINT FileIo::Write(INT_PTR hf, void* memory, UINT cb, int* err, void*) {
    *err = 0;
    std::int64_t n = plat::WriteFile(static_cast<plat::FileHandle>(hf), memory, cb);
    if (n != static_cast<std::int64_t>(cb)) {
        *err = plat::LastError();
        return 0;
    }
    return cb;
}

int FileIo::Close(INT_PTR hf, int* err, void* pv) {
    *err = 0;
    for (Written& w : Of(pv)->written_)
        if (w.open == hf) {
            w.size = plat::FileSize(static_cast<plat::FileHandle>(hf));
            w.open = -1;
        }
    if (!plat::CloseFile(static_cast<plat::FileHandle>(hf))) {
        *err = plat::LastError();
        return -1;
    }
    return 0;
}

long FileIo::Seek(INT_PTR hf, long dist, int seektype, int* err, void*) {
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

int FileIo::Delete(char* pszFile, int* err, void* pv) {
    *err = 0;
    try {
        FileIo* io = Of(pv);
        const std::string path = pszFile;
        if (io->IsTempName(path)) {
            // The file went with its handle; its name may be gone already.
            io->tempNames_.erase(std::find(io->tempNames_.begin(), io->tempNames_.end(), path));
            if (!plat::PathExists(path)) return 0;
        } else {
            // A cabinet the engine takes back is no longer one of ours.
            plat::FileId id;
            if (plat::GetFileId(path, id))
                io->written_.erase(std::remove_if(io->written_.begin(), io->written_.end(),
                                                  [&](const Written& w) {
                                                      return w.volume == id.volume &&
                                                             w.index == id.index;
                                                  }),
                                   io->written_.end());
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
BOOL FileIo::TempFile(char* pszTempName, int cbTempName, void* pv) {
    try {
        std::string folder = plat::TempFolder();
        if (folder.empty() || folder.size() > 256) return FALSE;
        std::string name = plat::MakeTempFile(folder, "cab");
        if (name.empty()) return FALSE;
        if (cbTempName <= 0 || name.size() >= static_cast<std::size_t>(cbTempName)) {
            plat::DeleteFile(name);
            return FALSE;
        }
        Of(pv)->tempNames_.push_back(name);
        std::memcpy(pszTempName, name.c_str(), name.size() + 1);
        plat::DeleteFile(name);
        return TRUE;
    } catch (...) {
        return FALSE;
    }
}

INT_PTR FileIo::OpenInfo(char* pszName, USHORT* pdate, USHORT* ptime, USHORT* pattribs, int* err,
                         void*) {
    *err = 0;
    try {
        if (plat::PathExists(pszName) && !plat::IsRegularFile(pszName)) {
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
        *pdate = info.dosDate;
        *ptime = info.dosTime;
        std::uint32_t attributes = 0;
        // Read-only, hidden, system and archive.
        *pattribs = plat::GetFileAttributes(pszName, attributes)
                        ? static_cast<USHORT>(attributes & 0x27)
                        : 0;
        return static_cast<INT_PTR>(h);
    } catch (...) {
        return -1;
    }
}

std::vector<std::string> FileIo::Cabinets() const {
    std::vector<std::string> names;
    for (const Written& w : written_)
        names.push_back(w.path);
    return names;
}

std::vector<std::string> FileIo::RemoveWritten() {
    std::vector<std::string> left;
    for (const Written& w : written_) {
        // Only the very file written here goes: a file of the same name that
        // has taken its place (another disk in the drive) stays.
        plat::FileId now;
        if (plat::GetFileId(w.path, now) && now.volume == w.volume && now.index == w.index &&
            (w.size < 0 || plat::FileSizeOf(w.path) == w.size) && plat::DeleteFile(w.path))
            continue;
        left.push_back(w.path);
    }
    written_.clear();
    return left;
}

const char* ErrorText(int erfOper) {
    switch (erfOper) {
    case FCIERR_NONE:
        return "No error";
    case FCIERR_OPEN_SRC:
        return "Failure opening file to be stored in cabinet";
    case FCIERR_READ_SRC:
        return "Failure reading file to be stored in cabinet";
    case FCIERR_ALLOC_FAIL:
        return "Out of memory during compression";
    case FCIERR_TEMP_FILE:
        return "Could not create a temporary file";
    case FCIERR_BAD_COMPR_TYPE:
        return "Unknown compression type";
    case FCIERR_CAB_FILE:
        return "Could not create cabinet file";
    case FCIERR_USER_ABORT:
        return "User abort";
    case FCIERR_MCI_FAIL:
        return "Failure compressing data";
    default:
        return "Unknown error!";
    }
}

} // namespace cab
