#include "FakeIo.h"

#include "TestUtil.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace cabtest {

FakeIo* FakeIo::current = nullptr;

FakeIo::FakeIo() {
    current = this;
}
FakeIo::~FakeIo() {
    if (current == this) current = nullptr;
}

void FakeIo::AddSource(const std::string& name, const std::string& data) {
    sources[name].data = data;
}

std::vector<std::string> FakeIo::Cabinets() const {
    std::vector<std::string> names;
    for (const auto& [name, data] : files)
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".cab") == 0) names.push_back(name);
    return names;
}

void FakeIo::WriteCabinets(const std::string& folder) const {
    for (const auto& [name, data] : files) {
        std::string base = name.substr(name.find_last_of('/') + 1);
        testutil::WriteFile(folder + "/" + base, *data);
    }
}

CCAB FakeIo::MakeCcab(ULONG cb, ULONG threshold) const {
    CCAB c;
    std::memset(&c, 0, sizeof c);
    c.cb = cb;
    c.cbFolderThresh = threshold;
    c.iCab = 1;
    c.iDisk = 1;
    c.setID = 0x1234;
    std::strcpy(c.szCab, "cab1.cab");
    std::strcpy(c.szDisk, "disk1");
    std::strcpy(c.szCabPath, "mem/");
    return c;
}

HFCI FakeIo::Create(CCAB& ccab) {
    HFCI h = FCICreate(&erf, Placed, Alloc, Free, Open, Read, Write, Close, Seek, Delete, TempFile,
                       &ccab, this);
    if (h && codecs) cab::SetContextCodecFactory(h, codecs);
    return h;
}

bool FakeIo::Add(HFCI h, const std::string& source, const std::string& name, TCOMP type,
                 bool execute) {
    std::string s = source, n = name;
    return FCIAddFile(h, s.data(), n.data(), execute, Next, Status, OpenInfo, type) != FALSE;
}

bool FakeIo::Flush(HFCI h, bool getNext) {
    return FCIFlushCabinet(h, getNext, Next, Status) != FALSE;
}

bool FakeIo::FlushFolder(HFCI h) {
    return FCIFlushFolder(h, Next, Status) != FALSE;
}

void* FakeIo::Alloc(ULONG cb) {
    FakeIo* io = current;
    if (io) {
        if (io->failAllocAfter >= 0 && io->allocs >= io->failAllocAfter) return nullptr;
        ++io->allocs;
    }
    return std::malloc(cb);
}

void FakeIo::Free(void* p) {
    if (current && p) ++current->frees;
    std::free(p);
}

INT_PTR FakeIo::Open(char* name, int oflag, int, int* err, void* pv) {
    auto* io = static_cast<FakeIo*>(pv);
    *err = 0;
    io->opens.push_back({name, oflag});
    auto it = io->files.find(name);
    if (oflag & FCI_O_CREAT) {
        if (io->failCreate) {
            *err = EACCES;
            return -1;
        }
        if (it != io->files.end() && (oflag & FCI_O_EXCL)) {
            *err = EEXIST;
            return -1;
        }
        it = io->files.insert_or_assign(name, std::make_shared<std::string>()).first;
    } else if (it == io->files.end()) {
        *err = ENOENT;
        return -1;
    }
    INT_PTR h = io->nextHandle_++;
    io->handles_[h] = Handle{name, it->second, 0, false};
    ++io->openHandles;
    return h;
}

UINT FakeIo::Read(INT_PTR h, void* mem, UINT cb, int* err, void* pv) {
    auto* io = static_cast<FakeIo*>(pv);
    *err = 0;
    auto it = io->handles_.find(h);
    if (it == io->handles_.end()) {
        *err = EBADF;
        return static_cast<UINT>(-1);
    }
    Handle& hd = it->second;
    if (hd.source && hd.name == io->failReadOf && hd.pos + cb > io->failReadAfter) {
        *err = EIO;
        return static_cast<UINT>(-1);
    }
    std::size_t n =
        hd.pos >= hd.data->size() ? 0 : std::min<std::size_t>(cb, hd.data->size() - hd.pos);
    std::memcpy(mem, hd.data->data() + hd.pos, n);
    hd.pos += n;
    if (hd.source) io->bytesRead += n;
    return static_cast<UINT>(n);
}

UINT FakeIo::Write(INT_PTR h, void* mem, UINT cb, int* err, void* pv) {
    auto* io = static_cast<FakeIo*>(pv);
    *err = 0;
    auto it = io->handles_.find(h);
    if (it == io->handles_.end() || it->second.source) {
        *err = EBADF;
        return static_cast<UINT>(-1);
    }
    Handle& hd = it->second;
    if (hd.data->size() < hd.pos + cb) hd.data->resize(hd.pos + cb);
    std::memcpy(hd.data->data() + hd.pos, mem, cb);
    hd.pos += cb;
    return cb;
}

int FakeIo::Close(INT_PTR h, int* err, void* pv) {
    auto* io = static_cast<FakeIo*>(pv);
    *err = 0;
    if (io->handles_.erase(h) == 0) {
        *err = EBADF;
        return -1;
    }
    --io->openHandles;
    return 0;
}

long FakeIo::Seek(INT_PTR h, long dist, int type, int* err, void* pv) {
    auto* io = static_cast<FakeIo*>(pv);
    *err = 0;
    auto it = io->handles_.find(h);
    if (it == io->handles_.end()) {
        *err = EBADF;
        return -1;
    }
    Handle& hd = it->second;
    long size = static_cast<long>(hd.data->size());
    if (hd.source && io->sources[hd.name].reportedSize >= 0)
        size = io->sources[hd.name].reportedSize;
    long base = type == FCI_SEEK_SET ? 0 : type == FCI_SEEK_CUR ? static_cast<long>(hd.pos) : size;
    if (base + dist < 0) {
        *err = EINVAL;
        return -1;
    }
    hd.pos = static_cast<std::size_t>(base + dist);
    return base + dist;
}

int FakeIo::Delete(char* name, int* err, void* pv) {
    auto* io = static_cast<FakeIo*>(pv);
    *err = 0;
    io->deleted.push_back(name);
    if (io->files.erase(name) == 0) {
        *err = ENOENT;
        return -1;
    }
    return 0;
}

BOOL FakeIo::TempFile(char* name, int cb, void* pv) {
    auto* io = static_cast<FakeIo*>(pv);
    if (io->failTempName) return FALSE;
    std::string t = "tmp/vFw" + std::to_string(++io->tempCount_) + ".tmp";
    if (static_cast<int>(t.size()) >= cb) return FALSE;
    std::strcpy(name, t.c_str());
    io->tempNames.push_back(t);
    return TRUE;
}

int FakeIo::Placed(PCCAB, char* name, long size, BOOL cont, void* pv) {
    auto* io = static_cast<FakeIo*>(pv);
    io->placed.push_back(std::string(name) + ":" + std::to_string(size) + (cont ? "+" : ""));
    return 0;
}

BOOL FakeIo::Next(PCCAB ccab, ULONG, void* pv) {
    auto* io = static_cast<FakeIo*>(pv);
    io->nextCalls.push_back({ccab->iCab, ccab->iDisk, ccab->szCab});
    if (io->nextCount_++ == io->refuseNextAt) return FALSE;
    if (io->onNext) {
        io->onNext(*ccab);
    } else {
        std::snprintf(ccab->szCab, sizeof ccab->szCab, "cab%d.cab", ccab->iCab);
        std::snprintf(ccab->szDisk, sizeof ccab->szDisk, "disk%d", ccab->iCab);
    }
    return TRUE;
}

long FakeIo::Status(UINT type, ULONG cb1, ULONG cb2, void* pv) {
    auto* io = static_cast<FakeIo*>(pv);
    io->statuses.push_back({type, cb1, cb2});
    if (io->throwInStatus) throw std::runtime_error("status handler failed");
    if (type < 3 && static_cast<int>(type) == io->abortStatusType &&
        io->statusCount_[type]++ >= io->abortStatusAfter)
        return -1;
    return 0;
}

INT_PTR FakeIo::OpenInfo(char* name, USHORT* date, USHORT* time, USHORT* attribs, int* err,
                         void* pv) {
    auto* io = static_cast<FakeIo*>(pv);
    *err = 0;
    io->openInfos.push_back(name);
    auto it = io->sources.find(name);
    if (it == io->sources.end() || io->failOpenInfoOf == name) {
        *err = ENOENT;
        return -1;
    }
    *date = it->second.date;
    *time = it->second.time;
    *attribs = it->second.attribs;
    INT_PTR h = io->nextHandle_++;
    io->handles_[h] = Handle{name, std::make_shared<std::string>(it->second.data), 0, true};
    ++io->openHandles;
    return h;
}

} // namespace cabtest
