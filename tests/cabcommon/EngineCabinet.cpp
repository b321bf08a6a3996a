#include "EngineCabinet.h"

#include "CabImage.h"
#include "FakeIo.h"
#include "Readers.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace cabtest {

bool BuildCabinet(const std::vector<CabFolder>& folders, std::string& out, CabStats* stats) {
    FakeIo io;
    CCAB ccab = io.MakeCcab();
    HFCI h = io.Create(ccab);
    if (!h) return false;
    bool ok = true;
    int source = 0;
    for (const CabFolder& folder : folders) {
        for (const CabFile& file : folder.files) {
            const std::string name = "src" + std::to_string(source++);
            io.AddSource(name, file.data);
            ok = ok && io.Add(h, name, file.name, folder.type);
        }
        ok = ok && io.FlushFolder(h);
    }
    ok = ok && io.Flush(h);
    ok = FCIDestroy(h) && ok;
    const std::vector<std::string> cabinets = io.Cabinets();
    if (!ok || cabinets.size() != 1) return false;
    out = *io.files.at(cabinets[0]);
    if (stats) {
        *stats = CabStats{};
        for (const CabImage::Folder& f : CabImage::Parse(out).folders)
            for (const CabImage::Block& b : f.blocks) {
                ++stats->blocks;
                stats->largestPayload = std::max<std::size_t>(stats->largestPayload, b.cbData);
                stats->compressedBytes += b.cbData;
            }
    }
    return true;
}

CabStats ExpectRoundTrip(const std::vector<CabFolder>& folders) {
    std::string cab;
    CabStats stats;
    EXPECT_TRUE(BuildCabinet(folders, cab, &stats));
    const CabImage image = CabImage::Parse(cab);
    EXPECT_TRUE(image.ok()) << image.ProblemText();
    EXPECT_EQ(image.folders.size(), folders.size());
    EXPECT_LE(stats.largestPayload, 38912u);
    std::map<std::string, std::string> want;
    for (const CabFolder& f : folders)
        for (const CabFile& file : f.files)
            want[file.name] = file.data;
    testutil::TempDir dir("roundtrip");
    const std::string path = dir / "test.cab";
    testutil::WriteFile(path, cab);
    ExpectFiles(ExtractWithCabextract(path), want, "cabextract");
    ExpectFiles(Extract7z(path), want, "7-Zip");
    ExpectFiles(ExtractWithLibmspack(path), want, "libmspack");
    return stats;
}

} // namespace cabtest
