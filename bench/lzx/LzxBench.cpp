// Compresses the benchmark corpus (one folder, 32 KiB blocks) with our LZX at
// several window sizes and with our MSZIP, and prints a table next to the
// figures of xz -6 measured by bench/run-lzx.
//   lzx_bench LIST [--xz BYTES WALL CPU] [--xz2m BYTES WALL CPU] [--exponents 15,18,21]
// (--xz2m: xz -6 with its dictionary cut to 2 MiB, LZX's largest window.)
#include "Codec.h"
#ifdef HAVE_MSZIP
#include "BlockCodecs.h"
#endif

#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Result {
    std::string name;
    std::uint64_t bytes = 0;
    double seconds = 0;
    double cpu = 0;
};

// Stand-in when the engine's MSZIP is not built: the same block format made
// with zlib directly (level 9, previous block as dictionary).
class ZlibMsZip final : public cab::Codec {
  public:
    void BeginFolder() override { prev_.clear(); }
    bool Put(const std::uint8_t* data, std::size_t size) override {
        z_stream z{};
        if (deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK) return false;
        if (!prev_.empty()) deflateSetDictionary(&z, prev_.data(), static_cast<uInt>(prev_.size()));
        cab::CompressedBlock b;
        b.data.resize(2 + deflateBound(&z, static_cast<uLong>(size)) + 16);
        b.data[0] = 'C';
        b.data[1] = 'K';
        z.next_in = const_cast<Bytef*>(data);
        z.avail_in = static_cast<uInt>(size);
        z.next_out = b.data.data() + 2;
        z.avail_out = static_cast<uInt>(b.data.size() - 2);
        const int rc = deflate(&z, Z_FINISH);
        b.data.resize(2 + z.total_out);
        deflateEnd(&z);
        if (rc != Z_STREAM_END) return false;
        b.uncompressedSize = static_cast<std::uint16_t>(size);
        out_.push_back(std::move(b));
        prev_.assign(data, data + size);
        return true;
    }
    bool EndFolder() override { return true; }
    bool Take(cab::CompressedBlock& b) override {
        if (out_.empty()) return false;
        b = std::move(out_.front());
        out_.erase(out_.begin());
        return true;
    }

  private:
    std::vector<std::uint8_t> prev_;
    std::vector<cab::CompressedBlock> out_;
};

Result Measure(const std::string& name, cab::Codec& codec, const std::string& data) {
    Result r;
    r.name = name;
    const auto t0 = std::chrono::steady_clock::now();
    const std::clock_t c0 = std::clock();
    cab::CompressedBlock b;
    codec.BeginFolder();
    for (std::size_t at = 0; at < data.size(); at += cab::BlockSize) {
        const std::size_t n = std::min(cab::BlockSize, data.size() - at);
        if (!codec.Put(reinterpret_cast<const std::uint8_t*>(data.data()) + at, n)) {
            std::cerr << name << ": codec refused a block\n";
            std::exit(1);
        }
        while (codec.Take(b))
            r.bytes += b.data.size() + 8; // payload + CFDATA header
    }
    codec.EndFolder();
    while (codec.Take(b))
        r.bytes += b.data.size() + 8;
    r.cpu = static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC;
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return r;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: lzx_bench LIST [--xz BYTES WALL CPU] [--exponents 15,18,21]\n";
        return 2;
    }
    std::vector<int> exponents = {15, 18, 21};
    Result xz{"xz -6", 0, 0, 0};
    Result xz2m{"xz -6, 2 MiB dictionary", 0, 0, 0};
    for (int i = 2; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--xz") && i + 3 < argc) {
            xz.bytes = std::stoull(argv[i + 1]);
            xz.seconds = std::stod(argv[i + 2]);
            xz.cpu = std::stod(argv[i + 3]);
            i += 3;
        } else if (!std::strcmp(argv[i], "--xz2m") && i + 3 < argc) {
            xz2m.bytes = std::stoull(argv[i + 1]);
            xz2m.seconds = std::stod(argv[i + 2]);
            xz2m.cpu = std::stod(argv[i + 3]);
            i += 3;
        } else if (!std::strcmp(argv[i], "--exponents") && i + 1 < argc) {
            exponents.clear();
            std::stringstream ss(argv[++i]);
            std::string item;
            while (std::getline(ss, item, ','))
                exponents.push_back(std::stoi(item));
        }
    }
    std::string data;
    std::ifstream list(argv[1]);
    std::string path;
    std::size_t files = 0;
    while (std::getline(list, path)) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        data += ss.str();
        ++files;
    }
    std::printf("corpus: %zu files, %zu bytes\n\n", files, data.size());

    std::vector<Result> results;
#ifdef HAVE_MSZIP
    auto mszip = cab::MakeMsZipCodec();
    results.push_back(Measure("MSZIP (ours)", *mszip, data));
#else
    ZlibMsZip mszip;
    results.push_back(Measure("MSZIP (zlib -9)", mszip, data));
#endif
    for (int w : exponents) {
        auto codec = cab::MakeLzxCodec(w);
        if (!codec) continue;
        results.push_back(Measure("LZX:" + std::to_string(w), *codec, data));
    }
    const double mszipBytes = static_cast<double>(results[0].bytes);
    if (xz.bytes) results.push_back(xz);
    if (xz2m.bytes) results.push_back(xz2m);

    std::printf(
        "| method | bytes | %% of input | vs MSZIP | vs xz -6 | wall s | cpu s | MB/s (cpu) |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---:|---:|\n");
    for (const Result& r : results) {
        char vsXz[32] = "-";
        if (xz.bytes)
            std::snprintf(vsXz, sizeof vsXz, "%.3f", r.bytes / static_cast<double>(xz.bytes));
        std::printf("| %s | %llu | %.2f | %.3f | %s | %.1f | %.1f | %.2f |\n", r.name.c_str(),
                    static_cast<unsigned long long>(r.bytes), 100.0 * r.bytes / data.size(),
                    r.bytes / mszipBytes, vsXz, r.seconds, r.cpu, data.size() / 1e6 / r.cpu);
    }
    return 0;
}
