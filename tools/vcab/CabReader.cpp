#include "CabReader.h"

#include "Platform.h"

#include <cstdio>

#ifdef HAVE_MSPACK
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mspack.h>
#include <set>
#endif

namespace vcab {

#ifndef HAVE_MSPACK

namespace {
bool Unavailable() {
    std::fprintf(stderr, "vcab: listing, testing, extracting and --verify are not available "
                         "in this build\n");
    return false;
}
} // namespace

bool ReaderAvailable() {
    return false;
}
bool List(const std::string&) {
    return Unavailable();
}
bool Test(const std::string&, bool) {
    return Unavailable();
}
bool Extract(const std::string&, const std::string&, bool, bool) {
    return Unavailable();
}
bool Verify(const std::string&, const std::map<std::string, std::string>&) {
    return Unavailable();
}

#else

namespace {

// Where extracted bytes go when they are not written to a file: nowhere (a
// test), or compared with the file they came from (a verification).
struct Sink {
    plat::File source; // closed: the bytes are only counted
    std::int64_t bytes = 0;
    bool differs = false;
};

// One open file of the reader: a file of the file system, or the sink.
struct ReaderFile {
    plat::FileHandle handle = plat::InvalidFile;
    Sink* sink = nullptr;
};

// The file system as libmspack sees it, through the platform layer. A file
// opened for writing under the name SinkName goes to the current sink.
struct ReaderSystem {
    mspack_system base;
    Sink* sink = nullptr;
};

const char SinkName[] = "\x01vcab-sink";

ReaderFile* FileOf(mspack_file* f) {
    return reinterpret_cast<ReaderFile*>(f);
}

mspack_file* SysOpen(mspack_system* self, const char* name, int mode) {
    auto* system = reinterpret_cast<ReaderSystem*>(self);
    auto* f = new (std::nothrow) ReaderFile;
    if (!f) return nullptr;
    if (mode == MSPACK_SYS_OPEN_WRITE && std::strcmp(name, SinkName) == 0) {
        f->sink = system->sink;
        return reinterpret_cast<mspack_file*>(f);
    }
    plat::OpenMode m = mode == MSPACK_SYS_OPEN_READ     ? plat::OpenMode::Read
                       : mode == MSPACK_SYS_OPEN_WRITE  ? plat::OpenMode::CreateAlways
                       : mode == MSPACK_SYS_OPEN_UPDATE ? plat::OpenMode::ReadWrite
                                                        : plat::OpenMode::Append;
    f->handle = plat::OpenFile(name, m);
    if (f->handle == plat::InvalidFile) {
        delete f;
        return nullptr;
    }
    return reinterpret_cast<mspack_file*>(f);
}

void SysClose(mspack_file* file) {
    ReaderFile* f = FileOf(file);
    if (f->handle != plat::InvalidFile) plat::CloseFile(f->handle);
    delete f;
}

int SysRead(mspack_file* file, void* buffer, int bytes) {
    ReaderFile* f = FileOf(file);
    if (f->sink || bytes < 0) return -1;
    return static_cast<int>(plat::ReadFile(f->handle, buffer, static_cast<std::size_t>(bytes)));
}

int SysWrite(mspack_file* file, void* buffer, int bytes) {
    ReaderFile* f = FileOf(file);
    if (bytes < 0) return -1;
    if (!f->sink)
        return static_cast<int>(
            plat::WriteFile(f->handle, buffer, static_cast<std::size_t>(bytes)));
    Sink& s = *f->sink;
    s.bytes += bytes;
    if (s.source.IsOpen() && !s.differs) {
        // Compare with the same stretch of the source.
        std::vector<char> expected(static_cast<std::size_t>(bytes));
        std::size_t got = 0;
        while (got < expected.size()) {
            std::int64_t n =
                plat::ReadFile(s.source.Handle(), expected.data() + got, expected.size() - got);
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        if (got != expected.size() || std::memcmp(expected.data(), buffer, got) != 0)
            s.differs = true;
    }
    return bytes;
}

int SysSeek(mspack_file* file, off_t offset, int mode) {
    ReaderFile* f = FileOf(file);
    if (f->sink) return -1;
    plat::SeekFrom from = mode == MSPACK_SYS_SEEK_CUR   ? plat::SeekFrom::Current
                          : mode == MSPACK_SYS_SEEK_END ? plat::SeekFrom::End
                                                        : plat::SeekFrom::Begin;
    return plat::SeekFile(f->handle, offset, from) < 0 ? -1 : 0;
}

off_t SysTell(mspack_file* file) {
    ReaderFile* f = FileOf(file);
    if (f->sink) return static_cast<off_t>(f->sink->bytes);
    return static_cast<off_t>(plat::SeekFile(f->handle, 0, plat::SeekFrom::Current));
}

void SysMessage(mspack_file*, const char*, ...) {}

void* SysAlloc(mspack_system*, size_t bytes) {
    return std::malloc(bytes);
}
void SysFree(void* p) {
    std::free(p);
}
void SysCopy(void* src, void* dest, size_t bytes) {
    std::memmove(dest, src, bytes);
}

const char* ReaderErrorText(int code) {
    switch (code) {
    case MSPACK_ERR_OPEN:
        return "cannot open the file";
    case MSPACK_ERR_READ:
        return "read error";
    case MSPACK_ERR_WRITE:
        return "write error";
    case MSPACK_ERR_SEEK:
        return "seek error";
    case MSPACK_ERR_NOMEMORY:
        return "out of memory";
    case MSPACK_ERR_SIGNATURE:
        return "not a cabinet";
    case MSPACK_ERR_DATAFORMAT:
        return "damaged or unreadable data";
    case MSPACK_ERR_CHECKSUM:
        return "checksum error";
    case MSPACK_ERR_DECRUNCH:
        return "decompression error";
    default:
        return "cannot read it";
    }
}

std::string FolderOf(const std::string& path) {
    std::string::size_type cut = path.find_last_of(plat::PathSep);
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

// A cabinet set opened from its first cabinet, the ones it links to appended.
class OpenSet {
  public:
    OpenSet() {
        system_.base = {SysOpen,    SysClose, SysRead, SysWrite, SysSeek, SysTell,
                        SysMessage, SysAlloc, SysFree, SysCopy,  nullptr};
        cabd_ = mspack_create_cab_decompressor(&system_.base);
    }
    ~OpenSet() {
        if (cabd_) {
            if (first_) cabd_->close(cabd_, first_);
            for (mscabd_cabinet* c : loose_)
                cabd_->close(cabd_, c);
            mspack_destroy_cab_decompressor(cabd_);
        }
    }
    OpenSet(const OpenSet&) = delete;
    OpenSet& operator=(const OpenSet&) = delete;

    bool Open(const std::string& path) {
        if (!cabd_) {
            std::fprintf(stderr, "vcab: out of memory\n");
            return false;
        }
        // The reader keeps the name it was given and opens it again to extract.
        names_.push_back(path);
        first_ = cabd_->open(cabd_, const_cast<char*>(names_.back().c_str()));
        if (!first_) return Fail(path, cabd_->last_error(cabd_));
        std::set<std::string> seen{path};
        mscabd_cabinet* last = first_;
        while (last->nextname) {
            std::string next = FolderOf(path) + last->nextname;
            if (!seen.insert(next).second) break; // a loop of links
            names_.push_back(next);
            mscabd_cabinet* c = cabd_->open(cabd_, const_cast<char*>(names_.back().c_str()));
            if (!c) return Fail(next, cabd_->last_error(cabd_));
            if (cabd_->append(cabd_, last, c) != MSPACK_ERR_OK) {
                loose_.push_back(c);
                return Fail(next, cabd_->last_error(cabd_));
            }
            last = c;
        }
        return true;
    }

    mscabd_file* Files() const { return first_ ? first_->files : nullptr; }

    // Extracts one file to path, or to sink when it is given.
    int Extract(mscabd_file* f, const std::string& path, Sink* sink) {
        system_.sink = sink;
        int err = cabd_->extract(cabd_, f, const_cast<char*>(sink ? SinkName : path.c_str()));
        system_.sink = nullptr;
        return err;
    }

    static bool Fail(const std::string& what, int code) {
        std::fprintf(stderr, "vcab: %s: %s\n", what.c_str(), ReaderErrorText(code));
        return false;
    }

  private:
    ReaderSystem system_;
    mscab_decompressor* cabd_ = nullptr;
    mscabd_cabinet* first_ = nullptr;
    std::vector<mscabd_cabinet*> loose_;
    std::deque<std::string> names_;
};

// A stored name as a relative path of the file system, or empty when it is
// not safe to write: absolute, with a drive, or with "." or ".." parts.
std::string SafePath(const std::string& stored) {
    std::string out, part;
    auto take = [&]() {
        if (part.empty() || part == "." || part == ".." || part.find(':') != std::string::npos)
            return false;
        out += (out.empty() ? "" : std::string(1, plat::PathSep)) + part;
        part.clear();
        return true;
    };
    for (char c : stored) {
        if (c == '\\' || c == '/') {
            if (!take()) return std::string();
        } else {
            part += c;
        }
    }
    return take() ? out : std::string();
}

} // namespace

bool ReaderAvailable() {
    return true;
}

bool List(const std::string& cabinet) {
    OpenSet set;
    if (!set.Open(cabinet)) return false;
    std::printf(" File size | Date       Time     | Name\n");
    std::printf("-----------+---------------------+-------------\n");
    for (mscabd_file* f = set.Files(); f; f = f->next)
        std::printf("%10u | %04d-%02d-%02d %02d:%02d:%02d | %s\n", f->length, f->date_y, f->date_m,
                    f->date_d, f->time_h, f->time_m, f->time_s, f->filename);
    return true;
}

bool Test(const std::string& cabinet, bool quiet) {
    OpenSet set;
    if (!set.Open(cabinet)) return false;
    bool ok = true;
    int count = 0;
    for (mscabd_file* f = set.Files(); f; f = f->next, ++count) {
        Sink sink;
        int err = set.Extract(f, std::string(), &sink);
        if (err == MSPACK_ERR_OK && sink.bytes != f->length) err = MSPACK_ERR_DATAFORMAT;
        if (err != MSPACK_ERR_OK) {
            ok = OpenSet::Fail(cabinet + ": " + f->filename, err);
        } else if (!quiet) {
            std::printf("  OK  %s\n", f->filename);
        }
    }
    if (!quiet) std::printf("%s: %d files, %s\n", cabinet.c_str(), count, ok ? "all OK" : "ERRORS");
    return ok;
}

bool Extract(const std::string& cabinet, const std::string& folder, bool replace, bool quiet) {
    OpenSet set;
    if (!set.Open(cabinet)) return false;
    bool ok = true;
    std::string base = folder.empty() ? std::string() : folder;
    if (!base.empty() && base.back() != plat::PathSep) base += plat::PathSep;
    for (mscabd_file* f = set.Files(); f; f = f->next) {
        const std::string relative = SafePath(f->filename);
        if (relative.empty()) {
            std::fprintf(stderr, "vcab: %s: %s: not extracted: the name leads outside the folder\n",
                         cabinet.c_str(), f->filename);
            ok = false;
            continue;
        }
        // The folders on the way; an existing file in the way fails.
        const std::string path = base + relative;
        std::string::size_type at = 1;
        bool made = true;
        while ((at = path.find(plat::PathSep, at)) != std::string::npos) {
            const std::string sub = path.substr(0, at++);
            if (!plat::FolderExists(sub) && !plat::CreateFolder(sub)) {
                std::fprintf(stderr, "vcab: %s: %s\n", sub.c_str(), plat::LastErrorText().c_str());
                made = false;
                break;
            }
        }
        if (!made) {
            ok = false;
            continue;
        }
        if (plat::PathExists(path) && (!replace || !plat::IsRegularFile(path))) {
            std::fprintf(stderr, "vcab: %s: already exists; -f replaces it\n", path.c_str());
            ok = false;
            continue;
        }
        if (plat::PathExists(path)) plat::DeleteFile(path); // a link is replaced, not followed
        int err = set.Extract(f, path, nullptr);
        if (err != MSPACK_ERR_OK) {
            ok = OpenSet::Fail(path, err);
            continue;
        }
        if (!quiet) std::printf("  extracting %s\n", path.c_str());
    }
    return ok;
}

bool Verify(const std::string& cabinet, const std::map<std::string, std::string>& sources) {
    OpenSet set;
    if (!set.Open(cabinet)) return false;
    bool ok = true;
    std::set<std::string> found;
    for (mscabd_file* f = set.Files(); f; f = f->next) {
        auto it = sources.find(f->filename);
        if (it == sources.end()) {
            std::fprintf(stderr, "vcab: %s: verification failed: %s was not stored\n",
                         cabinet.c_str(), f->filename);
            ok = false;
            continue;
        }
        found.insert(it->first);
        Sink sink;
        if (!sink.source.Open(it->second, plat::OpenMode::Read)) {
            std::fprintf(stderr, "vcab: %s: %s\n", it->second.c_str(),
                         plat::LastErrorText().c_str());
            ok = false;
            continue;
        }
        int err = set.Extract(f, std::string(), &sink);
        if (err != MSPACK_ERR_OK) {
            ok = OpenSet::Fail(cabinet + ": verification failed: " + f->filename, err);
        } else if (sink.differs || sink.bytes != plat::FileSize(sink.source.Handle())) {
            std::fprintf(stderr, "vcab: %s: verification failed: %s differs from %s\n",
                         cabinet.c_str(), f->filename, it->second.c_str());
            ok = false;
        }
    }
    for (const auto& [name, path] : sources)
        if (!found.count(name)) {
            std::fprintf(stderr, "vcab: %s: verification failed: %s is missing\n", cabinet.c_str(),
                         name.c_str());
            ok = false;
        }
    return ok;
}

#endif

} // namespace vcab
