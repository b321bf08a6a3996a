// Win32 implementation of the platform services (ANSI calls throughout).
#include "Platform.h"

#include <cctype>
#include <cstdio>
#include <vector>

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

// <windows.h> names these functions by macros that would rename ours.
#undef DeleteFile
#undef CopyFile
#undef GetFileAttributes

namespace plat {

namespace {
thread_local int lastError = 0;

bool Fail() {
    lastError = static_cast<int>(::GetLastError());
    return false;
}

HANDLE H(FileHandle f) {
    return reinterpret_cast<HANDLE>(f);
}

std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    char last = folder.back();
    if (last == '\\' || last == '/' || last == ':') return folder + name;
    return folder + PathSep + name;
}

// Attributes of a name without following a link at its end; false when absent.
bool AttributesOf(const std::string& path, DWORD& attributes) {
    attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return Fail();
    return true;
}

// Opens whatever path names, following links, for reading its information only.
HANDLE OpenForInfo(const std::string& path) {
    return ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool InfoOf(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
    HANDLE h = OpenForInfo(path);
    if (h == INVALID_HANDLE_VALUE) return Fail();
    bool ok = ::GetFileInformationByHandle(h, &info) != 0 || Fail();
    ::CloseHandle(h);
    return ok;
}

// A link to a folder is a folder with a reparse point; it is removed as a folder
// (which removes the link only), any other non-folder as a file.
bool DeleteName(const std::string& path) {
    DWORD a;
    if (!AttributesOf(path, a)) return false;
    if (a & FILE_ATTRIBUTE_DIRECTORY) {
        if (!(a & FILE_ATTRIBUTE_REPARSE_POINT)) {
            lastError = ERROR_ACCESS_DENIED;
            return false;
        }
        return ::RemoveDirectoryA(path.c_str()) != 0 || Fail();
    }
    return ::DeleteFileA(path.c_str()) != 0 || Fail();
}
} // namespace

int LastError() {
    return lastError;
}
void SetLastError(int code) {
    lastError = code;
}
std::string ErrorText(int code) {
    char* text = nullptr;
    DWORD n = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string s;
    if (n && text) s.assign(text, n);
    if (text) ::LocalFree(text);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' '))
        s.pop_back();
    if (s.empty()) s = "Error " + std::to_string(code);
    return s;
}
std::string LastErrorText() {
    return ErrorText(lastError);
}
int ErrorNameTooLong() {
    return ERROR_FILENAME_EXCED_RANGE;
}
int ErrorFileTooLarge() {
    return ERROR_FILE_TOO_LARGE;
}
int ErrorNotRegularFile() {
    return ERROR_NOT_SUPPORTED;
}

// ---- files --------------------------------------------------------------

FileHandle OpenFile(const std::string& path, OpenMode mode) {
    DWORD access = 0, share = 0, disposition = 0, flags = FILE_ATTRIBUTE_NORMAL;
    switch (mode) {
    case OpenMode::Read: // others may read alongside; read front to back
        access = GENERIC_READ;
        share = FILE_SHARE_READ;
        disposition = OPEN_EXISTING;
        flags |= FILE_FLAG_SEQUENTIAL_SCAN;
        break;
    case OpenMode::ReadWrite:
        access = GENERIC_READ | GENERIC_WRITE;
        disposition = OPEN_EXISTING;
        break;
    case OpenMode::CreateAlways:
        access = GENERIC_WRITE;
        disposition = CREATE_ALWAYS;
        break;
    case OpenMode::CreateNew:
        access = GENERIC_READ | GENERIC_WRITE;
        disposition = CREATE_NEW;
        break;
    case OpenMode::CreateTemporary: // gone with its last handle, even after a kill
        access = GENERIC_READ | GENERIC_WRITE;
        share = FILE_SHARE_DELETE;
        disposition = CREATE_NEW;
        flags = FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE;
        break;
    case OpenMode::Append:
        access = FILE_APPEND_DATA | SYNCHRONIZE;
        disposition = OPEN_ALWAYS;
        break;
    }
    HANDLE h = ::CreateFileA(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        Fail();
        return InvalidFile;
    }
    return reinterpret_cast<FileHandle>(h);
}

std::int64_t ReadFile(FileHandle f, void* buffer, std::size_t count) {
    // One call reads at most what a DWORD counts; callers loop for the rest.
    DWORD want = count > 0x40000000u ? 0x40000000u : static_cast<DWORD>(count);
    DWORD got = 0;
    if (!::ReadFile(H(f), buffer, want, &got, nullptr)) {
        if (::GetLastError() == ERROR_BROKEN_PIPE) return 0; // the writer has gone: the end
        Fail();
        return -1;
    }
    return got;
}

std::int64_t WriteFile(FileHandle f, const void* buffer, std::size_t count) {
    const char* p = static_cast<const char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        std::size_t left = count - done;
        DWORD want = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
        DWORD put = 0;
        if (!::WriteFile(H(f), p + done, want, &put, nullptr)) {
            Fail();
            break;
        }
        if (put == 0) { // nothing taken: the disk is full
            lastError = ERROR_DISK_FULL;
            break;
        }
        done += put;
    }
    return static_cast<std::int64_t>(done);
}

std::int64_t SeekFile(FileHandle f, std::int64_t distance, SeekFrom from) {
    DWORD method = from == SeekFrom::Begin     ? FILE_BEGIN
                   : from == SeekFrom::Current ? FILE_CURRENT
                                               : FILE_END;
    LARGE_INTEGER d, pos;
    d.QuadPart = distance;
    if (!::SetFilePointerEx(H(f), d, &pos, method)) {
        Fail();
        return -1;
    }
    return pos.QuadPart;
}

std::int64_t FileSize(FileHandle f) {
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(H(f), &size)) {
        Fail();
        return -1;
    }
    return size.QuadPart;
}

bool CloseFile(FileHandle f) {
    if (f == InvalidFile) {
        lastError = ERROR_INVALID_HANDLE;
        return false;
    }
    return ::CloseHandle(H(f)) != 0 || Fail();
}

File& File::operator=(File&& o) noexcept {
    if (this != &o) {
        Close();
        h_ = o.h_;
        o.h_ = InvalidFile;
    }
    return *this;
}

bool File::Open(const std::string& path, OpenMode mode) {
    Close();
    h_ = OpenFile(path, mode);
    return h_ != InvalidFile;
}

FileHandle File::Release() {
    FileHandle h = h_;
    h_ = InvalidFile;
    return h;
}

bool File::Close() {
    if (h_ == InvalidFile) return true;
    FileHandle h = Release();
    return CloseFile(h);
}

// ---- names in the file system --------------------------------------------

bool FileExists(const std::string& path) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!InfoOf(path, info)) return false;
    return !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string& path) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!InfoOf(path, info)) return false;
    return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool PathExists(const std::string& path) {
    DWORD a;
    return AttributesOf(path, a);
}

bool IsRegularFile(const std::string& path) {
    HANDLE h = OpenForInfo(path);
    if (h == INVALID_HANDLE_VALUE) return Fail();
    BY_HANDLE_FILE_INFORMATION info;
    bool ok = ::GetFileInformationByHandle(h, &info) != 0 || Fail();
    // Devices and pipes are not disk files even when they can be opened.
    bool disk = ::GetFileType(h) == FILE_TYPE_DISK;
    ::CloseHandle(h);
    return ok && disk && !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

namespace {
FileId IdOf(const BY_HANDLE_FILE_INFORMATION& info) {
    return FileId{info.dwVolumeSerialNumber,
                  (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}
} // namespace

bool GetFileId(const std::string& path, FileId& id) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!InfoOf(path, info)) return false;
    id = IdOf(info);
    return true;
}

bool GetFileId(FileHandle f, FileId& id) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(H(f), &info)) return Fail();
    id = IdOf(info);
    return true;
}

bool SameFile(const std::string& a, const std::string& b) {
    FileId ia, ib;
    return GetFileId(a, ia) && GetFileId(b, ib) && ia == ib;
}

std::int64_t FileSizeOf(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
        Fail();
        return -1;
    }
    return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool DeleteFile(const std::string& path) {
    return DeleteName(path);
}

bool CreateFolder(const std::string& path) {
    return ::CreateDirectoryA(path.c_str(), nullptr) != 0 || Fail();
}
bool RemoveFolder(const std::string& path) {
    return ::RemoveDirectoryA(path.c_str()) != 0 || Fail();
}

bool CopyFile(const std::string& from, const std::string& to, bool failIfExists) {
    return ::CopyFileA(from.c_str(), to.c_str(), failIfExists ? TRUE : FALSE) != 0 || Fail();
}

bool SetExecutable(const std::string& path) {
    // Windows runs a program by its name; there is no permission to grant.
    DWORD a;
    return AttributesOf(path, a);
}

bool SetWritable(const std::string& path) {
    DWORD a;
    if (!AttributesOf(path, a)) return false;
    if (!(a & FILE_ATTRIBUTE_READONLY)) return true;
    return ::SetFileAttributesA(path.c_str(), a & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY)) !=
               0 ||
           Fail();
}

// ---- held folders -------------------------------------------------------

namespace {
// The handle shares reading and writing but not deletion: while it is held,
// the folder can be neither removed nor renamed, nor replaced by something else.
HANDLE OpenFolderHandle(const std::string& path, bool noFollow) {
    DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (noFollow ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    return ::CreateFileA(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, flags,
                         nullptr);
}

// Keeps the handle when it is a real folder (no link); closes it otherwise.
bool AcceptFolder(HANDLE h) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(h, &info)) {
        Fail();
        ::CloseHandle(h);
        return false;
    }
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        ::CloseHandle(h);
        lastError = ERROR_DIRECTORY;
        return false;
    }
    return true;
}
} // namespace

bool Folder::Open(const std::string& path) {
    Close();
    std::string p = path.empty() ? "." : path;
    HANDLE h = OpenFolderHandle(p, false);
    if (h == INVALID_HANDLE_VALUE) return Fail();
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(h, &info) ||
        !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        lastError = ERROR_DIRECTORY;
        ::CloseHandle(h);
        return false;
    }
    h_ = reinterpret_cast<std::intptr_t>(h);
    path_ = p;
    return true;
}

bool Folder::OpenChild(const Folder& parent, const std::string& name) {
    Close();
    if (!parent.IsOpen()) {
        lastError = ERROR_INVALID_HANDLE;
        return false;
    }
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of("\\/:") != std::string::npos) {
        lastError = ERROR_INVALID_NAME;
        return false;
    }
    std::string p = Join(parent.path_, name);
    HANDLE h = OpenFolderHandle(p, true);
    if (h == INVALID_HANDLE_VALUE) return Fail();
    if (!AcceptFolder(h)) return false;
    h_ = reinterpret_cast<std::intptr_t>(h);
    path_ = p;
    return true;
}

void Folder::Close() {
    if (h_ != -1) ::CloseHandle(reinterpret_cast<HANDLE>(h_));
    h_ = -1;
    path_.clear();
}

namespace {
bool ListByPath(const std::string& folder, std::vector<DirEntry>& entries) {
    entries.clear();
    WIN32_FIND_DATAA fd;
    HANDLE find = ::FindFirstFileA(Join(folder, "*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) {
        // An empty drive root has no entries at all, not even "." and "..".
        return ::GetLastError() == ERROR_FILE_NOT_FOUND || Fail();
    }
    do {
        std::string name = fd.cFileName;
        if (name == "." || name == "..") continue;
        DirEntry de;
        de.name = name;
        DWORD a = fd.dwFileAttributes;
        de.isLink =
            (a & FILE_ATTRIBUTE_REPARSE_POINT) && (fd.dwReserved0 == IO_REPARSE_TAG_SYMLINK ||
                                                   fd.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT);
        de.isFolder = (a & FILE_ATTRIBUTE_DIRECTORY) && !de.isLink;
        de.hidden = (a & FILE_ATTRIBUTE_HIDDEN) != 0;
        de.readOnly = !de.isLink && (a & FILE_ATTRIBUTE_READONLY) != 0;
        entries.push_back(std::move(de));
    } while (::FindNextFileA(find, &fd));
    DWORD err = ::GetLastError();
    ::FindClose(find);
    if (err != ERROR_NO_MORE_FILES) {
        lastError = static_cast<int>(err);
        return false;
    }
    return true;
}
} // namespace

bool Folder::List(std::vector<DirEntry>& entries) const {
    entries.clear();
    if (!IsOpen()) {
        lastError = ERROR_INVALID_HANDLE;
        return false;
    }
    return ListByPath(path_, entries);
}

bool Folder::DeleteFile(const std::string& name) const {
    if (!IsOpen()) {
        lastError = ERROR_INVALID_HANDLE;
        return false;
    }
    return DeleteName(Join(path_, name));
}

bool Folder::RemoveFolder(const std::string& name) const {
    if (!IsOpen()) {
        lastError = ERROR_INVALID_HANDLE;
        return false;
    }
    return ::RemoveDirectoryA(Join(path_, name).c_str()) != 0 || Fail();
}

bool ListFolder(const std::string& folder, std::vector<DirEntry>& entries) {
    entries.clear();
    Folder f;
    return f.Open(folder) && f.List(entries);
}

namespace {
bool MatchFrom(const char* n, const char* m) {
    // Iterative wildcard match with one backtrack point for the last '*'.
    const char* star = nullptr;
    const char* resume = nullptr;
    auto lower = [](char c) { return std::tolower(static_cast<unsigned char>(c)); };
    while (*n) {
        if (*m == '*') {
            star = m++;
            resume = n;
        } else if (*m == '?' || (*m && lower(*m) == lower(*n))) {
            ++m;
            ++n;
        } else if (star) {
            m = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (*m == '*')
        ++m;
    // A trailing ".*" also matches a name without a dot, as "*.*" does.
    if (m[0] == '.' && m[1] == '*') {
        m += 2;
        while (*m == '*')
            ++m;
    }
    return *m == 0;
}
} // namespace

bool MatchMask(const std::string& name, const std::string& mask) {
    if (mask.empty()) return false;
    return MatchFrom(name.c_str(), mask.c_str());
}

bool GetFileInfo(FileHandle f, FileInfo& info) {
    BY_HANDLE_FILE_INFORMATION bh;
    if (!::GetFileInformationByHandle(H(f), &bh)) return Fail();
    info.size = (static_cast<std::int64_t>(bh.nFileSizeHigh) << 32) | bh.nFileSizeLow;
    FILETIME local;
    WORD date = 0, time = 0;
    if (!::FileTimeToLocalFileTime(&bh.ftLastWriteTime, &local) ||
        !::FileTimeToDosDateTime(&local, &date, &time)) {
        // Outside the DOS calendar: the first day it knows.
        date = (1 << 5) | 1;
        time = 0;
    }
    info.dosDate = date;
    info.dosTime = time;
    info.attributes = bh.dwFileAttributes & 0x27; // read-only, hidden, system, archive
    return true;
}

bool GetFileAttributes(const std::string& path, std::uint32_t& attributes) {
    DWORD a;
    if (!AttributesOf(path, a)) return false;
    attributes = a;
    return true;
}

// ---- volumes -----------------------------------------------------------

namespace {
// The root of the volume a path lies on ("C:\" or "\\server\share\"), as the
// older free-space call wants it; empty for a path relative to the current drive.
std::string RootOf(const std::string& path) {
    if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2) + "\\";
    if (path.size() >= 2 && (path[0] == '\\' || path[0] == '/') && path[0] == path[1]) {
        std::string::size_type server = path.find_first_of("\\/", 2);
        if (server == std::string::npos) return {};
        std::string::size_type share = path.find_first_of("\\/", server + 1);
        return (share == std::string::npos ? path : path.substr(0, share)) + "\\";
    }
    return {};
}

bool QueryVolume(const std::string& folder, std::int64_t& free, std::int64_t& total) {
    // A drive without its medium fails quietly instead of asking the user.
    UINT saved = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    bool ok = false;
    if (FolderExists(folder)) {
        std::string dir = Join(folder, "");
        if (dir.back() != '\\' && dir.back() != '/') dir += PathSep;
        ULARGE_INTEGER avail, all, allFree;
        if (::GetDiskFreeSpaceExA(dir.c_str(), &avail, &all, &allFree)) {
            free = static_cast<std::int64_t>(avail.QuadPart);
            total = static_cast<std::int64_t>(all.QuadPart);
            ok = true;
        } else {
            // Systems without the extended call: sizes from the cluster geometry.
            std::string root = RootOf(folder);
            DWORD spc, bps, freeClusters, clusters;
            if (::GetDiskFreeSpaceA(root.empty() ? nullptr : root.c_str(), &spc, &bps,
                                    &freeClusters, &clusters)) {
                std::int64_t cluster = static_cast<std::int64_t>(spc) * bps;
                free = cluster * freeClusters;
                total = cluster * clusters;
                ok = true;
            } else {
                Fail();
            }
        }
    }
    ::SetErrorMode(saved);
    return ok;
}
} // namespace

std::int64_t VolumeFree(const std::string& folder) {
    std::int64_t free = -1, total = -1;
    return QueryVolume(folder, free, total) ? free : -1;
}

std::int64_t VolumeTotal(const std::string& folder) {
    std::int64_t free = -1, total = -1;
    return QueryVolume(folder, free, total) ? total : -1;
}

// ---- temporary files, program folder ------------------------------------

std::string TempFolder() {
    char buf[MAX_PATH + 2];
    DWORD n = ::GetTempPathA(sizeof buf, buf);
    std::string dir = n > 0 && n < sizeof buf ? std::string(buf, n) : std::string(".");
    if (dir.back() != PathSep && dir.back() != '/') dir += PathSep;
    return dir;
}

std::string MakeTempFile(const std::string& folder, const std::string& prefix) {
    // The system takes up to three characters of the prefix and makes the
    // file itself, so that the name is ours alone.
    char buf[MAX_PATH + 1];
    if (!::GetTempFileNameA(folder.empty() ? "." : folder.c_str(), prefix.c_str(), 0, buf)) {
        Fail();
        return {};
    }
    return buf;
}

std::string ProgramFolder() {
    std::vector<char> buf(MAX_PATH + 1);
    for (;;) {
        DWORD n = ::GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) return ".\\";
        if (n < buf.size()) {
            std::string path(buf.data(), n);
            return path.substr(0, path.find_last_of("\\/") + 1);
        }
        buf.resize(buf.size() * 2);
    }
}

// ---- threads and the process ---------------------------------------------

bool SetCurrentThreadPriority(int level) {
    static const int priorityOf[] = {THREAD_PRIORITY_IDLE,         THREAD_PRIORITY_LOWEST,
                                     THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_NORMAL,
                                     THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST,
                                     THREAD_PRIORITY_TIME_CRITICAL};
    if (level < -3) level = -3;
    if (level > 3) level = 3;
    HANDLE self = ::GetCurrentThread();
    if (::SetThreadPriority(self, priorityOf[level + 3])) return true;
    Fail();
    ::SetThreadPriority(self, THREAD_PRIORITY_NORMAL);
    return false;
}

unsigned QuietCriticalErrors() {
    return ::SetErrorMode(SEM_FAILCRITICALERRORS);
}

void RestoreErrorMode(unsigned previous) {
    ::SetErrorMode(previous);
}

void SleepMs(unsigned ms) {
    ::Sleep(ms);
}

std::uint64_t MonotonicMs() {
    return ::GetTickCount64();
}

void ExitProcess(int code) {
    std::fflush(nullptr);
    ::ExitProcess(static_cast<UINT>(code));
}

bool StderrIsTerminal() {
    return ::GetFileType(::GetStdHandle(STD_ERROR_HANDLE)) == FILE_TYPE_CHAR;
}

} // namespace plat
