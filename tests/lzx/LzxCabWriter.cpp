#include "LzxCabWriter.h"

#include "LzxCodec.h"

#include <memory>

namespace lzxtest {

namespace {

void Put16(std::string& s, std::uint32_t v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void Put32(std::string& s, std::uint32_t v) {
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}

} // namespace

bool BuildCabinet(const std::vector<CabFolder>& folders, std::string& out, CabStats* stats) {
    std::vector<std::vector<cab::CompressedBlock>> blocks(folders.size());
    std::size_t fileCount = 0;
    for (std::size_t f = 0; f < folders.size(); ++f) {
        auto codec = cab::MakeLzxCodec(folders[f].windowExponent);
        if (!codec) return false;
        std::string all;
        for (const CabFile& file : folders[f].files)
            all += file.data;
        fileCount += folders[f].files.size();
        codec->BeginFolder();
        for (std::size_t at = 0; at < all.size(); at += cab::BlockSize) {
            const std::size_t n = std::min(cab::BlockSize, all.size() - at);
            if (!codec->Put(reinterpret_cast<const std::uint8_t*>(all.data() + at), n))
                return false;
        }
        if (!codec->EndFolder()) return false;
        cab::CompressedBlock b;
        std::size_t uncompressed = 0;
        while (codec->Take(b)) {
            uncompressed += b.uncompressedSize;
            blocks[f].push_back(std::move(b));
        }
        if (uncompressed != all.size()) return false;
    }

    std::string files;
    for (std::size_t f = 0; f < folders.size(); ++f) {
        std::uint32_t offset = 0;
        for (const CabFile& file : folders[f].files) {
            Put32(files, static_cast<std::uint32_t>(file.data.size()));
            Put32(files, offset);
            Put16(files, static_cast<std::uint32_t>(f));
            Put16(files, 0x5022); // 2020-01-02
            Put16(files, 0x1883); // 03:04:06
            Put16(files, 0x20);
            files += file.name;
            files.push_back('\0');
            offset += static_cast<std::uint32_t>(file.data.size());
        }
    }

    const std::size_t headerSize = 36;
    const std::size_t folderTable = 8 * folders.size();
    std::size_t dataStart = headerSize + folderTable + files.size();
    std::string folderRecords;
    std::string data;
    CabStats st;
    for (std::size_t f = 0; f < folders.size(); ++f) {
        Put32(folderRecords, static_cast<std::uint32_t>(dataStart + data.size()));
        Put16(folderRecords, static_cast<std::uint32_t>(blocks[f].size()));
        Put16(folderRecords, 3u | (static_cast<std::uint32_t>(folders[f].windowExponent) << 8));
        for (const cab::CompressedBlock& b : blocks[f]) {
            Put32(data, 0);
            Put16(data, static_cast<std::uint32_t>(b.data.size()));
            Put16(data, b.uncompressedSize);
            data.append(reinterpret_cast<const char*>(b.data.data()), b.data.size());
            ++st.blocks;
            st.largestPayload = std::max(st.largestPayload, b.data.size());
            st.compressedBytes += b.data.size();
        }
    }

    out.clear();
    out += "MSCF";
    Put32(out, 0);
    Put32(out, static_cast<std::uint32_t>(dataStart + data.size()));
    Put32(out, 0);
    Put32(out, static_cast<std::uint32_t>(headerSize + folderTable));
    Put32(out, 0);
    out.push_back(3);
    out.push_back(1);
    Put16(out, static_cast<std::uint32_t>(folders.size()));
    Put16(out, static_cast<std::uint32_t>(fileCount));
    Put16(out, 0);      // flags
    Put16(out, 0x4C5A); // set id
    Put16(out, 0);      // cabinet index
    out += folderRecords;
    out += files;
    out += data;
    if (stats) *stats = st;
    return true;
}

} // namespace lzxtest
