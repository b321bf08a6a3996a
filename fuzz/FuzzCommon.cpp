#include "FuzzCommon.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

namespace fuzz {

namespace {

std::filesystem::path made;

void RemoveScratch() {
    std::error_code ec;
    if (!made.empty()) std::filesystem::remove_all(made, ec);
}

} // namespace

void Fail(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
    std::abort();
}

const std::string& ScratchFolder() {
    static const std::string folder = [] {
        std::random_device random;
        const auto base = std::filesystem::temp_directory_path();
        for (int attempt = 0; attempt < 100; ++attempt) {
            auto p = base / ("velmora-fuzz-" + std::to_string(random()));
            std::error_code ec;
            if (std::filesystem::create_directory(p, ec)) {
                made = p;
                std::atexit(RemoveScratch);
                return p.string() + "/";
            }
        }
        Fail("cannot make a scratch folder in %s", base.c_str());
    }();
    return folder;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) Fail("cannot write %s", path.c_str());
}

} // namespace fuzz
