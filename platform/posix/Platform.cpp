// POSIX implementation of the platform services.
#include "Platform.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace plat {

namespace {
thread_local int lastError = 0;

bool Fail() {
    lastError = errno;
    return false;
}
} // namespace

int LastError() {
    return lastError;
}
void SetLastError(int code) {
    lastError = code;
}
std::string ErrorText(int code) {
    char buf[256];
    // The GNU variant returns the text, which may or may not be in buf.
    return strerror_r(code, buf, sizeof buf);
}
std::string LastErrorText() {
    return ErrorText(lastError);
}
int ErrorNameTooLong() {
    return ENAMETOOLONG;
}
int ErrorFileTooLarge() {
    return EOVERFLOW;
}
int ErrorNotRegularFile() {
    return ENODEV;
}

// ---- files --------------------------------------------------------------

FileHandle OpenFile(const std::string& path, OpenMode mode) {
    int flags = O_CLOEXEC;
    switch (mode) {
    case OpenMode::Read:
        flags |= O_RDONLY;
        break;
    case OpenMode::ReadWrite:
        flags |= O_RDWR;
        break;
    case OpenMode::CreateAlways:
        flags |= O_WRONLY | O_CREAT | O_TRUNC;
        break;
    case OpenMode::CreateNew:
    case OpenMode::CreateTemporary:
        flags |= O_RDWR | O_CREAT | O_EXCL;
        break;
    case OpenMode::Append:
        flags |= O_WRONLY | O_CREAT | O_APPEND;
        break;
    }
    int fd;
    do {
        fd = ::open(path.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        lastError = errno;
        return InvalidFile;
    }
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        lastError = EISDIR;
        return InvalidFile;
    }
    if (mode == OpenMode::Read) ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    if (mode == OpenMode::CreateTemporary) ::unlink(path.c_str());
    return fd;
}

std::int64_t ReadFile(FileHandle f, void* buffer, std::size_t count) {
    for (;;) {
        ssize_t r = ::read(static_cast<int>(f), buffer, count);
        if (r >= 0) return r;
        if (errno != EINTR) {
            lastError = errno;
            return -1;
        }
    }
}

std::int64_t WriteFile(FileHandle f, const void* buffer, std::size_t count) {
    const char* p = static_cast<const char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        ssize_t w = ::write(static_cast<int>(f), p + done, count - done);
        if (w < 0) {
            if (errno == EINTR) continue;
            lastError = errno;
            break;
        }
        if (w == 0) { // nothing taken: the device is full
            lastError = ENOSPC;
            break;
        }
        done += static_cast<std::size_t>(w);
    }
    return static_cast<std::int64_t>(done);
}

std::int64_t SeekFile(FileHandle f, std::int64_t distance, SeekFrom from) {
    int whence = from == SeekFrom::Begin     ? SEEK_SET
                 : from == SeekFrom::Current ? SEEK_CUR
                                             : SEEK_END;
    off_t r = ::lseek(static_cast<int>(f), distance, whence);
    if (r < 0) lastError = errno;
    return r;
}

std::int64_t FileSize(FileHandle f) {
    struct stat st;
    if (::fstat(static_cast<int>(f), &st) != 0) {
        lastError = errno;
        return -1;
    }
    return st.st_size;
}

bool CloseFile(FileHandle f) {
    if (f == InvalidFile) {
        lastError = EBADF;
        return false;
    }
    // The descriptor is gone after close even when it reports an error.
    if (::close(static_cast<int>(f)) != 0 && errno != EINTR) return Fail();
    return true;
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
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return Fail();
    return !S_ISDIR(st.st_mode);
}

bool FolderExists(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return Fail();
    return S_ISDIR(st.st_mode);
}

bool PathExists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 || Fail();
}

bool IsRegularFile(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return Fail();
    return S_ISREG(st.st_mode);
}

namespace {
FileId IdOf(const struct stat& st) {
    return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}
} // namespace

bool GetFileId(const std::string& path, FileId& id) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return Fail();
    id = IdOf(st);
    return true;
}

bool GetFileId(FileHandle f, FileId& id) {
    struct stat st;
    if (::fstat(static_cast<int>(f), &st) != 0) return Fail();
    id = IdOf(st);
    return true;
}

bool SameFile(const std::string& a, const std::string& b) {
    FileId ia, ib;
    return GetFileId(a, ia) && GetFileId(b, ib) && ia == ib;
}

std::int64_t FileSizeOf(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        lastError = errno;
        return -1;
    }
    return st.st_size;
}

bool DeleteFile(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        lastError = EISDIR;
        return false;
    }
    return ::unlink(path.c_str()) == 0 || Fail();
}

bool CreateFolder(const std::string& path) {
    return ::mkdir(path.c_str(), 0777) == 0 || Fail();
}
bool RemoveFolder(const std::string& path) {
    return ::rmdir(path.c_str()) == 0 || Fail();
}

bool CopyFile(const std::string& from, const std::string& to, bool failIfExists) {
    File in;
    if (!in.Open(from, OpenMode::Read)) return false;
    File out;
    if (!out.Open(to, failIfExists ? OpenMode::CreateNew : OpenMode::CreateAlways)) return false;
    // Any failure from here on removes the half copy and keeps the first error.
    auto giveUp = [&] {
        int err = lastError;
        out.Close();
        ::unlink(to.c_str());
        lastError = err;
        return false;
    };
    std::vector<char> buf(1 << 20);
    for (;;) {
        std::int64_t r = ReadFile(in.Handle(), buf.data(), buf.size());
        if (r < 0) return giveUp();
        if (r == 0) break;
        if (WriteFile(out.Handle(), buf.data(), static_cast<std::size_t>(r)) != r) return giveUp();
    }
    if (!out.Close()) {
        int err = lastError;
        ::unlink(to.c_str());
        lastError = err;
        return false;
    }
    return true;
}

bool SetExecutable(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return Fail();
    mode_t m = st.st_mode & 07777;
    m |= (m & 0444) >> 2; // execute wherever reading is allowed
    m |= S_IXUSR;
    return ::chmod(path.c_str(), m) == 0 || Fail();
}

bool SetWritable(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return Fail();
    if (S_ISLNK(st.st_mode)) return true; // a link has no mode of its own
    return ::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0 || Fail();
}

bool Folder::Open(const std::string& path) {
    Close();
    int fd;
    do {
        fd = ::open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return Fail();
    h_ = fd;
    path_ = path;
    return true;
}

bool Folder::OpenChild(const Folder& parent, const std::string& name) {
    Close();
    if (!parent.IsOpen()) {
        lastError = EBADF;
        return false;
    }
    int fd;
    do {
        fd = ::openat(static_cast<int>(parent.h_), name.c_str(),
                      O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return Fail();
    h_ = fd;
    path_ = parent.path_ + PathSep + name;
    return true;
}

void Folder::Close() {
    if (h_ != -1) ::close(static_cast<int>(h_));
    h_ = -1;
    path_.clear();
}

bool Folder::List(std::vector<DirEntry>& entries) const {
    entries.clear();
    // The listing gets a descriptor of its own, so this folder stays open after it.
    int fd = static_cast<int>(h_);
    int listFd = fd < 0 ? -1 : ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (listFd < 0) return Fail();
    DIR* d = ::fdopendir(listFd);
    if (!d) {
        int err = errno;
        ::close(listFd);
        lastError = err;
        return false;
    }
    ::rewinddir(d);
    errno = 0;
    while (dirent* e = ::readdir(d)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        DirEntry de;
        de.name = e->d_name;
        de.hidden = de.name[0] == '.';
        struct stat st;
        if (::fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
            de.isLink = S_ISLNK(st.st_mode);
            de.isFolder = S_ISDIR(st.st_mode);
            de.readOnly = !de.isLink && (st.st_mode & 0222) == 0;
        }
        entries.push_back(std::move(de));
        errno = 0;
    }
    int err = errno;
    ::closedir(d);
    if (err != 0) {
        lastError = err;
        return false;
    }
    return true;
}

bool Folder::DeleteFile(const std::string& name) const {
    // unlinkat without AT_REMOVEDIR refuses a folder by itself.
    return ::unlinkat(static_cast<int>(h_), name.c_str(), 0) == 0 || Fail();
}

bool Folder::RemoveFolder(const std::string& name) const {
    return ::unlinkat(static_cast<int>(h_), name.c_str(), AT_REMOVEDIR) == 0 || Fail();
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
    while (*n) {
        if (*m == '*') {
            star = m++;
            resume = n;
        } else if (*m == '?' || (*m && std::tolower(static_cast<unsigned char>(*m)) ==
                                           std::tolower(static_cast<unsigned char>(*n)))) {
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
    struct stat st;
    if (::fstat(static_cast<int>(f), &st) != 0) return Fail();
    info.size = st.st_size;
    std::tm tm{};
    time_t t = st.st_mtime;
    ::localtime_r(&t, &tm);
    int year = tm.tm_year + 1900;
    if (year < 1980) { // the DOS calendar starts in 1980
        year = 1980;
        tm.tm_mon = 0;
        tm.tm_mday = 1;
        tm.tm_hour = tm.tm_min = tm.tm_sec = 0;
    } else if (year > 2107) {
        year = 2107;
        tm.tm_mon = 11;
        tm.tm_mday = 31;
        tm.tm_hour = 23;
        tm.tm_min = 59;
        tm.tm_sec = 58;
    }
    info.dosDate =
        static_cast<std::uint16_t>(((year - 1980) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
    info.dosTime =
        static_cast<std::uint16_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
    info.attributes = 0x20;
    return true;
}

bool GetFileAttributes(const std::string& path, std::uint32_t& attributes) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return Fail();
    attributes = S_ISDIR(st.st_mode) ? 0x10 : 0x20;
    if ((st.st_mode & 0222) == 0) attributes |= 0x01; // nobody may write it
    std::string::size_type slash = path.find_last_of(PathSep);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (!name.empty() && name[0] == '.') attributes |= 0x02;
    return true;
}

// ---- volumes -----------------------------------------------------------

namespace {
bool QueryVolume(const std::string& folder, struct statvfs& v) {
    if (!FolderExists(folder)) return false;
    return ::statvfs(folder.c_str(), &v) == 0 || Fail();
}
} // namespace

std::int64_t VolumeFree(const std::string& folder) {
    struct statvfs v;
    if (!QueryVolume(folder, v)) return -1;
    return static_cast<std::int64_t>(v.f_bavail) * static_cast<std::int64_t>(v.f_frsize);
}

std::int64_t VolumeTotal(const std::string& folder) {
    struct statvfs v;
    if (!QueryVolume(folder, v)) return -1;
    return static_cast<std::int64_t>(v.f_blocks) * static_cast<std::int64_t>(v.f_frsize);
}

// ---- temporary files, program folder ------------------------------------

std::string TempFolder() {
    const char* t = std::getenv("TMPDIR");
    std::string dir = t && *t ? t : "/tmp";
    if (dir.back() != PathSep) dir += PathSep;
    return dir;
}

std::string MakeTempFile(const std::string& folder, const std::string& prefix) {
    std::string tmpl = folder;
    if (!tmpl.empty() && tmpl.back() != PathSep) tmpl += PathSep;
    tmpl += prefix + "XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back(0);
    int fd = ::mkstemp(buf.data());
    if (fd < 0) {
        lastError = errno;
        return {};
    }
    ::close(fd);
    return buf.data();
}

std::string ProgramFolder() {
    std::vector<char> buf(4096);
    ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0) return "./";
    std::string path(buf.data(), static_cast<std::size_t>(n));
    return path.substr(0, path.find_last_of(PathSep) + 1);
}

// ---- threads and the process ---------------------------------------------

bool SetCurrentThreadPriority(int level) {
    static const int niceOf[] = {19, 10, 5, 0, -5, -10, -20}; // idle .. time critical
    if (level < -3) level = -3;
    if (level > 3) level = 3;
    pid_t tid = static_cast<pid_t>(::syscall(SYS_gettid));
    if (::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), niceOf[level + 3]) == 0) return true;
    lastError = errno;
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), 0);
    return false;
}

bool StderrIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

unsigned QuietCriticalErrors() {
    return 0;
}

void RestoreErrorMode(unsigned) {}

void SleepMs(unsigned ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::uint64_t MonotonicMs() {
    timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
           static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
}

void ExitProcess(int code) {
    std::fflush(nullptr);
    ::_exit(code);
}

} // namespace plat
