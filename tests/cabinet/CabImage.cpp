#include "CabImage.h"

#include "TestUtil.h"

#include <cstring>
#include <filesystem>
#include <list>
#ifndef _WIN32
#include <mspack.h>
#endif
#include <zlib.h>

namespace cabtest {

namespace {

std::uint32_t Checksum(const std::uint8_t* p, std::size_t n, std::uint32_t seed) {
    std::uint32_t s = seed;
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4)
        s ^= p[i] | (std::uint32_t(p[i + 1]) << 8) | (std::uint32_t(p[i + 2]) << 16) |
             (std::uint32_t(p[i + 3]) << 24);
    std::uint32_t tail = 0;
    for (; i < n; ++i)
        tail = (tail << 8) | p[i];
    return s ^ tail;
}

class Cursor {
  public:
    Cursor(const std::string& b, std::vector<std::string>& problems) : b_(b), problems_(problems) {}
    bool Has(std::size_t n) const { return pos_ + n <= b_.size(); }
    std::uint32_t U(int bytes) {
        if (!Has(bytes)) {
            Problem("truncated at " + std::to_string(pos_));
            pos_ = b_.size();
            return 0;
        }
        std::uint32_t v = 0;
        for (int i = bytes - 1; i >= 0; --i)
            v = (v << 8) | static_cast<std::uint8_t>(b_[pos_ + i]);
        pos_ += bytes;
        return v;
    }
    std::string Text(const char* what) {
        std::size_t end = b_.find('\0', pos_);
        if (end == std::string::npos) {
            Problem(std::string("unterminated ") + what);
            pos_ = b_.size();
            return {};
        }
        std::string s = b_.substr(pos_, end - pos_);
        if (s.size() > 255) Problem(std::string(what) + " longer than 255 bytes");
        pos_ = end + 1;
        return s;
    }
    std::string Bytes(std::size_t n) {
        if (!Has(n)) {
            Problem("truncated data");
            pos_ = b_.size();
            return {};
        }
        std::string s = b_.substr(pos_, n);
        pos_ += n;
        return s;
    }
    std::size_t pos() const { return pos_; }
    void Seek(std::size_t p) { pos_ = p; }
    void Problem(const std::string& p) { problems_.push_back(p); }

  private:
    const std::string& b_;
    std::vector<std::string>& problems_;
    std::size_t pos_ = 0;
};

} // namespace

CabImage CabImage::Load(const std::string& path) {
    if (!testutil::Exists(path)) {
        CabImage c;
        c.problems.push_back("missing: " + path);
        return c;
    }
    return Parse(testutil::ReadFile(path));
}

CabImage CabImage::Parse(const std::string& bytes) {
    CabImage c;
    Cursor in(bytes, c.problems);
    if (bytes.compare(0, 4, "MSCF") != 0) c.problems.push_back("no MSCF signature");
    in.Seek(4);
    if (in.U(4) != 0) c.problems.push_back("reserved1 not 0");
    c.cbCabinet = in.U(4);
    if (in.U(4) != 0) c.problems.push_back("reserved2 not 0");
    c.coffFiles = in.U(4);
    if (in.U(4) != 0) c.problems.push_back("reserved3 not 0");
    std::uint32_t minor = in.U(1), major = in.U(1);
    if (minor != 3 || major != 1) c.problems.push_back("version not 1.3");
    std::uint32_t nFolders = in.U(2), nFiles = in.U(2);
    c.flags = static_cast<std::uint16_t>(in.U(2));
    c.setId = static_cast<std::uint16_t>(in.U(2));
    c.iCabinet = static_cast<std::uint16_t>(in.U(2));
    if (c.cbCabinet != bytes.size()) c.problems.push_back("cbCabinet differs from the size");
    if (c.flags > 7) c.problems.push_back("unknown flags");
    if (nFolders == 0) c.problems.push_back("no folder");
    if (nFiles == 0) c.problems.push_back("no file");
    if (c.flags & 4) {
        c.cbCFHeader = static_cast<std::uint16_t>(in.U(2));
        c.cbCFFolder = static_cast<std::uint8_t>(in.U(1));
        c.cbCFData = static_cast<std::uint8_t>(in.U(1));
        if (c.cbCFHeader > 60000) c.problems.push_back("header reserve above 60000");
        if (c.cbCFHeader == 0 && c.cbCFFolder == 0 && c.cbCFData == 0)
            c.problems.push_back("reserve flag without reserves");
        std::string r = in.Bytes(c.cbCFHeader);
        if (r.find_first_not_of('\0') != std::string::npos)
            c.problems.push_back("header reserve not zero");
    }
    if (c.flags & 1) {
        c.prevCab = in.Text("previous cabinet");
        c.prevDisk = in.Text("previous disk");
        if (c.prevCab.empty()) c.problems.push_back("empty previous cabinet name");
    }
    if (c.flags & 2) {
        c.nextCab = in.Text("next cabinet");
        c.nextDisk = in.Text("next disk");
        if (c.nextCab.empty()) c.problems.push_back("empty next cabinet name");
    }
    for (std::uint32_t i = 0; i < nFolders && in.Has(1); ++i) {
        Folder f;
        f.offset = in.U(4);
        f.blockCount = static_cast<std::uint16_t>(in.U(2));
        f.type = static_cast<std::uint16_t>(in.U(2));
        std::string r = in.Bytes(c.cbCFFolder);
        if (r.find_first_not_of('\0') != std::string::npos)
            c.problems.push_back("folder reserve not zero");
        c.folders.push_back(f);
    }
    if (in.pos() != c.coffFiles) c.problems.push_back("coffFiles does not follow the folders");
    for (std::uint32_t i = 0; i < nFiles && in.Has(1); ++i) {
        File f;
        f.size = in.U(4);
        f.offset = in.U(4);
        f.folder = static_cast<std::uint16_t>(in.U(2));
        f.date = static_cast<std::uint16_t>(in.U(2));
        f.time = static_cast<std::uint16_t>(in.U(2));
        f.attribs = static_cast<std::uint16_t>(in.U(2));
        f.name = in.Text("file name");
        if (f.name.empty()) c.problems.push_back("empty file name");
        if (f.folder < 0xFFFD && f.folder >= c.folders.size())
            c.problems.push_back("file " + f.name + " names a missing folder");
        if (f.attribs & ~0xE7) c.problems.push_back("file " + f.name + " has odd attributes");
        c.files.push_back(f);
    }
    // Data blocks: folder after folder, each at its offset, nothing after the last.
    std::size_t expected = in.pos();
    for (std::size_t fi = 0; fi < c.folders.size(); ++fi) {
        Folder& f = c.folders[fi];
        if (f.offset != expected) c.problems.push_back("folder data not where expected");
        in.Seek(f.offset);
        for (std::uint32_t b = 0; b < f.blockCount && in.Has(8); ++b) {
            Block blk;
            blk.csum = in.U(4);
            blk.cbData = static_cast<std::uint16_t>(in.U(2));
            blk.cbUncomp = static_cast<std::uint16_t>(in.U(2));
            std::string r = in.Bytes(c.cbCFData);
            if (r.find_first_not_of('\0') != std::string::npos)
                c.problems.push_back("data reserve not zero");
            blk.payload = in.Bytes(blk.cbData);
            if (blk.cbData == 0) c.problems.push_back("empty data block");
            if (blk.cbUncomp > 32768) c.problems.push_back("block above 32768 bytes");
            if (blk.cbData > 32768 + 6144) c.problems.push_back("block payload too large");
            std::uint8_t sizes[4] = {std::uint8_t(blk.cbData), std::uint8_t(blk.cbData >> 8),
                                     std::uint8_t(blk.cbUncomp), std::uint8_t(blk.cbUncomp >> 8)};
            auto* p = reinterpret_cast<const std::uint8_t*>(blk.payload.data());
            if (blk.csum != 0 && Checksum(sizes, 4, Checksum(p, blk.payload.size(), 0)) != blk.csum)
                c.problems.push_back("bad checksum");
            if ((f.type & 0xF) == 0 && blk.cbUncomp != 0 && blk.cbData != blk.cbUncomp &&
                !(b == 0 && fi == 0 && (c.flags & 1)))
                c.problems.push_back("stored block whose sizes differ");
            f.blocks.push_back(std::move(blk));
        }
        // Only the last block of a folder may be short (a cut piece has 0).
        for (std::size_t b = 0; b + 1 < f.blocks.size(); ++b)
            if (f.blocks[b].cbUncomp != 32768 && f.blocks[b].cbUncomp != 0)
                c.problems.push_back("short block inside a folder");
        for (std::size_t b = 0; b + 1 < f.blocks.size(); ++b)
            if (f.blocks[b].cbUncomp == 0) c.problems.push_back("cut piece not at the end");
        bool lastCut = !f.blocks.empty() && f.blocks.back().cbUncomp == 0;
        if (lastCut && (fi + 1 != c.folders.size() || !(c.flags & 2)))
            c.problems.push_back("cut piece in a folder that does not continue");
        expected = in.pos();
    }
    if (expected != bytes.size()) c.problems.push_back("bytes after the last block");
    return c;
}

std::string CabImage::ProblemText() const {
    std::string s;
    for (const auto& p : problems)
        s += p + "; ";
    return s;
}

const CabImage::File* CabImage::Find(const std::string& name) const {
    for (const File& f : files)
        if (f.name == name) return &f;
    return nullptr;
}

std::string InflateMsZip(const std::vector<std::string>& payloads,
                         const std::vector<std::uint16_t>& sizes,
                         std::vector<std::string>& problems) {
    std::string data, window;
    for (std::size_t b = 0; b < payloads.size(); ++b) {
        const std::string& payload = payloads[b];
        if (payload.compare(0, 2, "CK") != 0) {
            problems.push_back("MSZIP block without CK");
            break;
        }
        z_stream z{};
        inflateInit2(&z, -15);
        if (!window.empty())
            inflateSetDictionary(&z, reinterpret_cast<const Bytef*>(window.data()),
                                 static_cast<uInt>(window.size()));
        std::string block(32768 + 1, '\0');
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(payload.data())) + 2;
        z.avail_in = static_cast<uInt>(payload.size() - 2);
        z.next_out = reinterpret_cast<Bytef*>(block.data());
        z.avail_out = static_cast<uInt>(block.size());
        int rc = inflate(&z, Z_FINISH);
        std::size_t produced = block.size() - z.avail_out;
        if (rc != Z_STREAM_END) problems.push_back("MSZIP block without a final block");
        if (z.avail_in != 0) problems.push_back("bytes after the MSZIP stream");
        if (produced != sizes[b]) problems.push_back("MSZIP block of the wrong size");
        inflateEnd(&z);
        block.resize(produced);
        window = block;
        data += block;
    }
    return data;
}

std::map<std::string, std::string> CabImage::Extract() {
    std::map<std::string, std::string> out;
    std::vector<std::string> streams;
    for (const Folder& f : folders) {
        std::vector<std::string> payloads;
        std::vector<std::uint16_t> sizes;
        for (const Block& blk : f.blocks) {
            payloads.push_back(blk.payload);
            sizes.push_back(blk.cbUncomp);
        }
        if ((f.type & 0xF) == 0) {
            std::string data;
            for (const std::string& p : payloads)
                data += p;
            streams.push_back(data);
        } else if ((f.type & 0xF) == 1) {
            streams.push_back(InflateMsZip(payloads, sizes, problems));
        } else {
            problems.push_back("cannot decode this compression type");
            streams.emplace_back();
        }
    }
    for (const File& f : files) {
        if (f.folder >= streams.size()) {
            problems.push_back("cannot extract a continued file alone");
            continue;
        }
        const std::string& s = streams[f.folder];
        if (std::uint64_t(f.offset) + f.size > s.size()) {
            problems.push_back("file " + f.name + " beyond its folder");
            continue;
        }
        out[f.name] = s.substr(f.offset, f.size);
    }
    return out;
}

std::map<std::string, std::string> ExtractSetWithMspack(const std::string& firstCab,
                                                        std::string& error) {
    std::map<std::string, std::string> out;
#ifdef _WIN32
    // No libmspack for Windows: cabextract, its own program, follows the set.
    testutil::TempDir tmp("mspack");
    testutil::RunResult r = testutil::Run({"cabextract", "-q", "-d", tmp.path(), firstCab});
    if (r.exitCode != 0) {
        error = "cabextract: " + r.output;
        return out;
    }
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(tmp.path(), ec);
         !ec && it != std::filesystem::end(it); it.increment(ec)) {
        if (!it->is_regular_file()) continue;
        std::string name = std::filesystem::relative(it->path(), tmp.path()).string();
        out[name] = testutil::ReadFile(it->path().string());
    }
    return out;
#else
    mscab_decompressor* d = mspack_create_cab_decompressor(nullptr);
    if (!d) {
        error = "no decompressor";
        return out;
    }
    std::string dir = std::filesystem::path(firstCab).parent_path().string();
    // libmspack keeps the name pointers it was given: they must outlive the set.
    std::list<std::string> paths{firstCab};
    mscabd_cabinet* first = d->open(d, const_cast<char*>(paths.back().c_str()));
    if (!first) {
        error = "cannot open " + firstCab + " (" + std::to_string(d->last_error(d)) + ")";
        mspack_destroy_cab_decompressor(d);
        return out;
    }
    mscabd_cabinet* last = first;
    while (last->nextname) {
        paths.push_back(dir + "/" + last->nextname);
        mscabd_cabinet* next = d->open(d, const_cast<char*>(paths.back().c_str()));
        if (!next) {
            error = "cannot open " + paths.back();
            break;
        }
        if (d->append(d, last, next) != MSPACK_ERR_OK) {
            error = "cannot append " + paths.back() + " (" + std::to_string(d->last_error(d)) + ")";
            d->close(d, next);
            break;
        }
        last = next;
    }
    if (error.empty()) {
        testutil::TempDir tmp("mspack");
        int n = 0;
        for (mscabd_file* f = first->files; f; f = f->next) {
            std::string target = tmp / std::to_string(n++);
            if (d->extract(d, f, const_cast<char*>(target.c_str())) != MSPACK_ERR_OK) {
                error = std::string("cannot extract ") + f->filename + " (" +
                        std::to_string(d->last_error(d)) + ")";
                break;
            }
            out[f->filename] = testutil::ReadFile(target);
        }
    }
    d->close(d, first); // closes every cabinet appended to it
    mspack_destroy_cab_decompressor(d);
    return out;
#endif
}

std::uint16_t DosDate(int year, int month, int day) {
    return static_cast<std::uint16_t>(((year - 1980) << 9) | (month << 5) | day);
}
std::uint16_t DosTime(int hour, int minute, int second) {
    return static_cast<std::uint16_t>((hour << 11) | (minute << 5) | (second / 2));
}

} // namespace cabtest
