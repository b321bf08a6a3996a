#include "QuantumCabWriter.h"

#include "QuantumCodec.h"

#include <algorithm>
#include <memory>

namespace quantumtest {

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

bool CompressFolder(int level, int windowExponent, const std::string& data,
                    std::vector<std::string>& payloads) {
    payloads.clear();
    auto codec = cab::MakeQuantumCodec(level, windowExponent);
    if (!codec) return false;
    codec->BeginFolder();
    std::size_t uncompressed = 0;
    cab::CompressedBlock b;
    for (std::size_t at = 0; at < data.size(); at += cab::BlockSize) {
        const std::size_t n = std::min(cab::BlockSize, data.size() - at);
        if (!codec->Put(reinterpret_cast<const std::uint8_t*>(data.data() + at), n)) return false;
        while (codec->Take(b)) {
            uncompressed += b.uncompressedSize;
            payloads.emplace_back(b.data.begin(), b.data.end());
        }
    }
    if (!codec->EndFolder()) return false;
    while (codec->Take(b)) {
        uncompressed += b.uncompressedSize;
        payloads.emplace_back(b.data.begin(), b.data.end());
    }
    return uncompressed == data.size();
}

bool BuildCabinet(const std::vector<CabFolder>& folders, std::string& out, CabStats* stats) {
    std::vector<std::vector<std::string>> blocks(folders.size());
    std::vector<std::vector<std::uint32_t>> sizes(folders.size());
    std::size_t fileCount = 0;
    for (std::size_t f = 0; f < folders.size(); ++f) {
        std::string all;
        for (const CabFile& file : folders[f].files)
            all += file.data;
        fileCount += folders[f].files.size();
        if (!CompressFolder(folders[f].level, folders[f].windowExponent, all, blocks[f]))
            return false;
        for (std::size_t at = 0; at < all.size(); at += cab::BlockSize)
            sizes[f].push_back(
                static_cast<std::uint32_t>(std::min(cab::BlockSize, all.size() - at)));
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
    const std::size_t dataStart = headerSize + folderTable + files.size();
    std::string folderRecords;
    std::string data;
    CabStats st;
    for (std::size_t f = 0; f < folders.size(); ++f) {
        Put32(folderRecords, static_cast<std::uint32_t>(dataStart + data.size()));
        Put16(folderRecords, static_cast<std::uint32_t>(blocks[f].size()));
        Put16(folderRecords, 2u | static_cast<std::uint32_t>(folders[f].level) << 4 |
                                 static_cast<std::uint32_t>(folders[f].windowExponent) << 8);
        for (std::size_t b = 0; b < blocks[f].size(); ++b) {
            Put32(data, 0);
            Put16(data, static_cast<std::uint32_t>(blocks[f][b].size()));
            Put16(data, sizes[f][b]);
            data += blocks[f][b];
            ++st.blocks;
            st.largestPayload = std::max(st.largestPayload, blocks[f][b].size());
            st.compressedBytes += blocks[f][b].size();
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
    Put16(out, 0x5154); // set id
    Put16(out, 0);      // cabinet index
    out += folderRecords;
    out += files;
    out += data;
    if (stats) *stats = st;
    return true;
}

} // namespace quantumtest
