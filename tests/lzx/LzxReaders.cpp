#include "LzxReaders.h"

#include "TestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>

#ifdef HAVE_MSPACK
#include <mspack.h>
#endif

namespace lzxtest {

namespace fs = std::filesystem;

namespace {

bool OnPath(const std::string& program) {
    return testutil::Run({"sh", "-c", "command -v " + program + " >/dev/null"}).exitCode == 0;
}

void Collect(const std::string& dir, Extracted& result) {
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (!entry.is_regular_file()) continue;
        std::string rel = fs::relative(entry.path(), dir).generic_string();
        result.files[rel] = testutil::ReadFile(entry.path().string());
    }
}

} // namespace

Extracted ExtractWithCabextract(const std::string& cabPath) {
    Extracted r;
    if (!OnPath("cabextract")) {
        r.available = false;
        r.error = "cabextract is not installed";
        return r;
    }
    testutil::TempDir dir("lzx-cabextract");
    testutil::RunResult run = testutil::Run({"cabextract", "-q", "-d", dir.path(), cabPath});
    r.error = run.output;
    r.ok = run.exitCode == 0;
    Collect(dir.path(), r);
    return r;
}

Extracted Extract7z(const std::string& cabPath) {
    Extracted r;
    if (!OnPath("7zz")) {
        r.available = false;
        r.error = "7zz is not installed";
        return r;
    }
    testutil::TempDir dir("lzx-7z");
    testutil::RunResult run = testutil::Run({"7zz", "x", "-y", "-bd", "-o" + dir.path(), cabPath});
    r.error = run.output;
    r.ok = run.exitCode == 0 && run.output.find("Everything is Ok") != std::string::npos;
    Collect(dir.path(), r);
    return r;
}

void ExpectFiles(const Extracted& got, const std::map<std::string, std::string>& want,
                 const std::string& reader) {
    if (!got.available) return; // reported once by ReadersArePresent
    EXPECT_TRUE(got.ok) << reader << ": " << got.error.substr(0, 2000);
    EXPECT_EQ(got.files.size(), want.size()) << reader;
    for (const auto& [name, data] : want) {
        auto it = got.files.find(name);
        if (it == got.files.end()) {
            ADD_FAILURE() << reader << " did not extract " << name;
            continue;
        }
        if (it->second != data) {
            std::size_t at = 0;
            while (at < data.size() && at < it->second.size() && data[at] == it->second[at])
                ++at;
            ADD_FAILURE() << reader << ": " << name << " differs from byte " << at << " (size "
                          << it->second.size() << ", expected " << data.size() << ")";
        }
    }
}

bool HaveLibmspack() {
#ifdef HAVE_MSPACK
    return true;
#else
    return false;
#endif
}

Extracted ExtractWithLibmspack(const std::string& cabPath) {
    return ExtractSetWithLibmspack({cabPath});
}

Extracted ExtractSetWithLibmspack(const std::vector<std::string>& cabPaths) {
    Extracted r;
#ifdef HAVE_MSPACK
    testutil::TempDir dir("lzx-mspack");
    mscab_decompressor* cabd = mspack_create_cab_decompressor(nullptr);
    if (!cabd) {
        r.error = "no decompressor";
        return r;
    }
    std::vector<mscabd_cabinet*> cabs;
    for (const std::string& path : cabPaths) {
        mscabd_cabinet* cab = cabd->open(cabd, const_cast<char*>(path.c_str()));
        if (!cab) {
            r.error += path + ": open failed: " + std::to_string(cabd->last_error(cabd)) + "\n";
            break;
        }
        if (!cabs.empty() && cabd->append(cabd, cabs.back(), cab) != MSPACK_ERR_OK) {
            r.error += path + ": append failed: " + std::to_string(cabd->last_error(cabd)) + "\n";
            cabd->close(cabd, cab);
            break;
        }
        cabs.push_back(cab);
    }
    if (r.error.empty() && !cabs.empty()) {
        r.ok = true;
        int index = 0;
        for (mscabd_file* f = cabs.front()->files; f; f = f->next, ++index) {
            const std::string out = dir / ("f" + std::to_string(index));
            int err = cabd->extract(cabd, f, const_cast<char*>(out.c_str()));
            if (err != MSPACK_ERR_OK) {
                r.ok = false;
                r.error += std::string(f->filename) + ": error " + std::to_string(err) + "\n";
                continue;
            }
            r.files[f->filename] = testutil::ReadFile(out);
        }
    }
    // Joined cabinets are closed through the first one.
    if (!cabs.empty()) cabd->close(cabd, cabs.front());
    mspack_destroy_cab_decompressor(cabd);
#else
    (void)cabPaths;
    r.available = false;
    r.error = "built without libmspack";
#endif
    return r;
}

} // namespace lzxtest
