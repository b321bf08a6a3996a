#include "MemCab.h"

#include <cstdlib>
#include <cstring>
#include <mspack.h>

namespace fuzz {

namespace {

// ---- libmspack's file system over MemFiles -------------------------------------

struct MemSystem {
    mspack_system base; // first, so libmspack's pointer is ours
    MemFiles* files;
};

struct MemFile {
    std::string* data;
    std::size_t pos;
};

mspack_file* Open(mspack_system* self, const char* name, int mode) {
    MemFiles& files = *reinterpret_cast<MemSystem*>(self)->files;
    std::string* data = nullptr;
    if (mode == MSPACK_SYS_OPEN_READ) {
        auto it = files.find(name);
        if (it == files.end()) return nullptr;
        data = &it->second;
    } else if (mode == MSPACK_SYS_OPEN_WRITE) {
        data = &(files[name] = std::string());
    } else {
        return nullptr;
    }
    return reinterpret_cast<mspack_file*>(new MemFile{data, 0});
}

void Close(mspack_file* file) {
    delete reinterpret_cast<MemFile*>(file);
}

int Read(mspack_file* file, void* buffer, int bytes) {
    MemFile& f = *reinterpret_cast<MemFile*>(file);
    if (bytes < 0) return -1;
    std::size_t n = f.pos >= f.data->size() ? 0 : f.data->size() - f.pos;
    if (n > static_cast<std::size_t>(bytes)) n = static_cast<std::size_t>(bytes);
    std::memcpy(buffer, f.data->data() + f.pos, n);
    f.pos += n;
    return static_cast<int>(n);
}

int Write(mspack_file* file, void* buffer, int bytes) {
    MemFile& f = *reinterpret_cast<MemFile*>(file);
    if (bytes < 0) return -1;
    const std::size_t n = static_cast<std::size_t>(bytes);
    if (f.data->size() < f.pos + n) f.data->resize(f.pos + n);
    std::memcpy(f.data->data() + f.pos, buffer, n);
    f.pos += n;
    return bytes;
}

int Seek(mspack_file* file, off_t offset, int mode) {
    MemFile& f = *reinterpret_cast<MemFile*>(file);
    off_t base = mode == MSPACK_SYS_SEEK_START ? 0
                 : mode == MSPACK_SYS_SEEK_CUR ? static_cast<off_t>(f.pos)
                                               : static_cast<off_t>(f.data->size());
    if (base + offset < 0) return -1;
    f.pos = static_cast<std::size_t>(base + offset);
    return 0;
}

off_t Tell(mspack_file* file) {
    return static_cast<off_t>(reinterpret_cast<MemFile*>(file)->pos);
}

void Message(mspack_file*, const char*, ...) {}

void* Alloc(mspack_system*, size_t bytes) {
    return std::malloc(bytes);
}

void Free(void* p) {
    std::free(p);
}

void Copy(void* src, void* dest, size_t bytes) {
    std::memmove(dest, src, bytes);
}

// ---- cabinet framing ---------------------------------------------------------------

void Put16(std::string& s, std::uint32_t v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void Put32(std::string& s, std::uint32_t v) {
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}

} // namespace

bool ReadCabinets(const MemFiles& files, const std::vector<std::string>& cabNames,
                  std::vector<CabEntry>& out, std::string& error) {
    out.clear();
    MemFiles fs = files; // extraction adds its outputs here
    MemSystem sys{{Open, Close, Read, Write, Seek, Tell, Message, Alloc, Free, Copy, nullptr}, &fs};
    mscab_decompressor* cabd = mspack_create_cab_decompressor(&sys.base);
    if (!cabd) {
        error = "libmspack: no decompressor";
        return false;
    }
    std::vector<mscabd_cabinet*> cabs;
    for (const std::string& name : cabNames) {
        mscabd_cabinet* cab = cabd->open(cabd, name.c_str());
        if (!cab) {
            error = "libmspack cannot open " + name + ": error " +
                    std::to_string(cabd->last_error(cabd));
            break;
        }
        if (!cabs.empty() && cabd->append(cabd, cabs.back(), cab) != MSPACK_ERR_OK) {
            error = "libmspack cannot join " + name + ": error " +
                    std::to_string(cabd->last_error(cabd));
            cabd->close(cabd, cab);
            break;
        }
        cabs.push_back(cab);
    }
    if (error.empty() && !cabs.empty()) {
        int index = 0;
        for (mscabd_file* f = cabs.front()->files; f; f = f->next, ++index) {
            const std::string outName = "\x01out" + std::to_string(index);
            int err = cabd->extract(cabd, f, outName.c_str());
            if (err != MSPACK_ERR_OK) {
                error = std::string("libmspack cannot extract ") + f->filename + ": error " +
                        std::to_string(err);
                break;
            }
            out.push_back({f->filename, std::move(fs[outName])});
            fs.erase(outName);
        }
    }
    // A joined set is closed through any of its cabinets; unjoined ones one by one.
    if (!cabs.empty()) cabd->close(cabd, cabs.front());
    mspack_destroy_cab_decompressor(cabd);
    return error.empty();
}

std::string FrameFolder(std::uint16_t typeCompress, const std::vector<FolderBlock>& blocks,
                        const std::vector<CabEntry>& files) {
    std::string records;
    std::uint32_t offset = 0;
    for (const CabEntry& file : files) {
        Put32(records, static_cast<std::uint32_t>(file.data.size()));
        Put32(records, offset);
        Put16(records, 0);      // folder 0
        Put16(records, 0x5022); // 2020-01-02
        Put16(records, 0x1883); // 03:04:06
        Put16(records, 0x20);
        records += file.name;
        records.push_back('\0');
        offset += static_cast<std::uint32_t>(file.data.size());
    }
    const std::uint32_t headerSize = 36, folderSize = 8;
    const std::uint32_t dataStart =
        headerSize + folderSize + static_cast<std::uint32_t>(records.size());
    std::string data;
    for (const FolderBlock& b : blocks) {
        Put32(data, 0); // no checksum
        Put16(data, static_cast<std::uint32_t>(b.data.size()));
        Put16(data, b.uncompressedSize);
        data.append(reinterpret_cast<const char*>(b.data.data()), b.data.size());
    }
    std::string cab = "MSCF";
    Put32(cab, 0);
    Put32(cab, dataStart + static_cast<std::uint32_t>(data.size()));
    Put32(cab, 0);
    Put32(cab, headerSize + folderSize);
    Put32(cab, 0);
    cab.push_back(3); // version 1.3
    cab.push_back(1);
    Put16(cab, 1); // folders
    Put16(cab, static_cast<std::uint32_t>(files.size()));
    Put16(cab, 0);      // flags
    Put16(cab, 0x4C5A); // set id
    Put16(cab, 0);      // cabinet index
    Put32(cab, dataStart);
    Put16(cab, static_cast<std::uint32_t>(blocks.size()));
    Put16(cab, typeCompress);
    return cab + records + data;
}

} // namespace fuzz
