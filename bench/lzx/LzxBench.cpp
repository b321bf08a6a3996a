// Compresses the benchmark corpus (one folder, 32 KiB blocks) with our LZX at
// several window sizes and with our MSZIP, and prints a table next to the
// figures bench/run-lzx measured for the shipped vcab and for xz.
//   lzx_bench LIST [--xz BYTES WALL CPU] [--xz2m BYTES WALL CPU]
//             [--vcab METHOD BYTES WALL CPU]... [--exponents 15,18,21]
//             [--quantum LEVEL:WINDOW,...]
// LIST names the corpus files, one a line, in order. --xz2m is xz -6 with its
// dictionary cut to 2 MiB, LZX's largest window; --vcab (repeatable) is one
// cabinet written by `vcab -m METHOD` with its defaults. --quantum lists the
// Quantum rows (default 1:21,4:21,6:21,7:21; an empty list measures none).
//   lzx_bench --write-random FILE MIB
// writes MIB MiB of seeded random bytes to FILE. With --random FILE the same
// codecs also compress that file, in a second table next to the figures of
// --random-vcab METHOD BYTES WALL CPU (vcab on FILE), with the time of LZX:21
// over that of MSZIP: random data is stored, and should cost no more than
// MSZIP's stored blocks.
#include "LzxCodec.h"
#ifdef HAVE_QUANTUM
#include "QuantumCodec.h"
#endif
#ifdef HAVE_MSZIP
#include "MsZipCodec.h"
#endif

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
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
    std::string how; // what the row measures
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
    r.how = "codec, one folder";
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

// Reads BYTES WALL CPU from argv[at..at+2] into r.
void ReadFigures(char** argv, int at, Result& r) {
    r.bytes = std::stoull(argv[at]);
    r.seconds = std::stod(argv[at + 1]);
    r.cpu = std::stod(argv[at + 2]);
}

const Result* Find(const std::vector<Result>& results, const std::string& name) {
    for (const Result& r : results)
        if (r.name == name) return &r;
    return nullptr;
}

// Seeded random bytes (splitmix64), the same on every machine.
std::string RandomData(std::size_t n) {
    std::string s(n, '\0');
    std::uint64_t x = 0x4C5A5852414E44ull; // the seed
    for (std::size_t i = 0; i < n; i += 8) {
        std::uint64_t z = (x += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        std::memcpy(&s[i], &z, std::min<std::size_t>(8, n - i));
    }
    return s;
}

// The codecs on random data, next to the vcab figures measured on it.
void RandomTable(const std::string& data, const std::vector<int>& exponents,
                 const std::vector<Result>& shipped) {
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
        if (codec) results.push_back(Measure("LZX:" + std::to_string(w), *codec, data));
    }
    results.insert(results.end(), shipped.begin(), shipped.end());
    std::printf("\nrandom data: %zu bytes, seeded\n\n", data.size());
    std::printf("| method | measured | bytes | %% of input | cpu s | MB/s (cpu) |\n");
    std::printf("|---|---|---:|---:|---:|---:|\n");
    for (const Result& r : results)
        std::printf("| %s | %s | %llu | %.3f | %.2f | %.1f |\n", r.name.c_str(), r.how.c_str(),
                    static_cast<unsigned long long>(r.bytes), 100.0 * r.bytes / data.size(), r.cpu,
                    data.size() / 1e6 / r.cpu);
    auto cpuRatio = [&](const char* a, const char* b) {
        const Result* x = Find(results, a);
        const Result* y = Find(results, b);
        char text[32] = "-";
        if (x && y && y->cpu > 0) std::snprintf(text, sizeof text, "%.3f", x->cpu / y->cpu);
        return std::string(text);
    };
    std::printf("\n%-26s %20s\n", "random data", "LZX:21/MSZIP cpu time");
    std::printf("%-26s %20s\n", "codec, one folder",
                cpuRatio("LZX:21", results[0].name.c_str()).c_str());
    std::printf("%-26s %20s\n", "vcab, cabinets as shipped",
                cpuRatio("vcab -m lzx:21", "vcab -m mszip").c_str());
}

// ---- Quantum rows ----------------------------------------------------------------

// Quantum settings to measure, "level:window" items separated by commas.
struct QuantumSpec {
    int level;
    int window;
};

std::vector<QuantumSpec> ParseQuantumSpecs(const std::string& text) {
    std::vector<QuantumSpec> specs;
    std::stringstream ss(text);
    std::string item;
    while (std::getline(ss, item, ',')) {
        const std::size_t colon = item.find(':');
        if (colon == std::string::npos) continue;
        specs.push_back({std::stoi(item.substr(0, colon)), std::stoi(item.substr(colon + 1))});
    }
    return specs;
}

void AddQuantumRows(const std::string& data, const std::vector<QuantumSpec>& specs,
                    std::vector<Result>& results) {
#ifdef HAVE_QUANTUM
    for (const QuantumSpec& q : specs) {
        auto codec = cab::MakeQuantumCodec(q.level, q.window);
        if (!codec) continue;
        results.push_back(Measure(
            "Quantum " + std::to_string(q.level) + ":" + std::to_string(q.window), *codec, data));
    }
#else
    (void)data;
    (void)results;
    if (!specs.empty()) std::cerr << "lzx_bench: built without the Quantum encoder\n";
#endif
}

// Every Quantum row against our LZX:21 and our MSZIP, and the shipped tool's
// Quantum cabinet against its LZX:21 and MSZIP ones.
void PrintQuantumRatios(const std::vector<Result>& results, std::size_t inputBytes) {
    auto ratio = [](const Result* a, const Result* b) {
        char text[32] = "-";
        if (a && b && b->bytes)
            std::snprintf(text, sizeof text, "%.3f",
                          static_cast<double>(a->bytes) / static_cast<double>(b->bytes));
        return std::string(text);
    };
    bool header = false;
    for (const Result& r : results) {
        const bool shipped = r.name == "vcab -m quantum";
        if (r.name.rfind("Quantum", 0) != 0 && !shipped) continue;
        if (!header) {
            std::printf("\n%-26s %12s %12s %12s\n", "Quantum", "vs LZX:21", "vs MSZIP",
                        "MB/s (cpu)");
            header = true;
        }
        const Result* lzx = Find(results, shipped ? "vcab -m lzx:21" : "LZX:21");
        const Result* mszip = shipped ? Find(results, "vcab -m mszip") : &results[0];
        std::printf("%-26s %12s %12s %12.2f\n", r.name.c_str(), ratio(&r, lzx).c_str(),
                    ratio(&r, mszip).c_str(),
                    r.cpu > 0 ? static_cast<double>(inputBytes) / 1e6 / r.cpu : 0.0);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && !std::strcmp(argv[1], "--write-random")) {
        const std::string data = RandomData(std::size_t{std::stoul(argv[3])} << 20);
        std::ofstream out(argv[2], std::ios::binary);
        out.write(data.data(), static_cast<std::streamsize>(data.size()));
        return out.flush() ? 0 : 1;
    }
    if (argc < 2) {
        std::cerr << "usage: lzx_bench LIST [--xz BYTES WALL CPU] [--xz2m BYTES WALL CPU]\n"
                     "                 [--vcab METHOD BYTES WALL CPU]... [--exponents 15,18,21]\n"
                     "                 [--random FILE [--random-vcab METHOD BYTES WALL CPU]...]\n"
                     "       lzx_bench --write-random FILE MIB\n";
        return 2;
    }
    std::vector<int> exponents = {15, 18, 21};
    Result xz{"xz -6", "xz -T1, one stream", 0, 0, 0};
    Result xz2m{"xz -6, 2 MiB dictionary", "xz -T1, one stream", 0, 0, 0};
    std::vector<Result> shipped;
    std::string randomFile;
    std::vector<Result> randomShipped;
    std::vector<QuantumSpec> quantumSpecs = ParseQuantumSpecs("1:21,4:21,6:21,7:21");
    for (int i = 2; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--xz") && i + 3 < argc) {
            ReadFigures(argv, i + 1, xz);
            i += 3;
        } else if (!std::strcmp(argv[i], "--xz2m") && i + 3 < argc) {
            ReadFigures(argv, i + 1, xz2m);
            i += 3;
        } else if (!std::strcmp(argv[i], "--vcab") && i + 4 < argc) {
            Result r;
            r.name = std::string("vcab -m ") + argv[i + 1];
            r.how = "vcab, whole cabinet";
            ReadFigures(argv, i + 2, r);
            shipped.push_back(r);
            i += 4;
        } else if (!std::strcmp(argv[i], "--random") && i + 1 < argc) {
            randomFile = argv[++i];
        } else if (!std::strcmp(argv[i], "--random-vcab") && i + 4 < argc) {
            Result r;
            r.name = std::string("vcab -m ") + argv[i + 1];
            r.how = "vcab, whole cabinet";
            ReadFigures(argv, i + 2, r);
            randomShipped.push_back(r);
            i += 4;
        } else if (!std::strcmp(argv[i], "--quantum") && i + 1 < argc) {
            quantumSpecs = ParseQuantumSpecs(argv[++i]);
        } else if (!std::strcmp(argv[i], "--exponents") && i + 1 < argc) {
            exponents.clear();
            std::stringstream ss(argv[++i]);
            std::string item;
            while (std::getline(ss, item, ','))
                exponents.push_back(std::stoi(item));
        } else {
            std::cerr << "lzx_bench: unknown or incomplete option " << argv[i] << "\n";
            return 2;
        }
    }
    std::string data;
    std::ifstream list(argv[1]);
    if (!list) {
        std::cerr << "lzx_bench: cannot read the list " << argv[1] << "\n";
        return 1;
    }
    std::string path;
    std::size_t files = 0;
    while (std::getline(list, path)) {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            std::cerr << "lzx_bench: cannot read " << path << "\n";
            return 1;
        }
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
    AddQuantumRows(data, quantumSpecs, results);
    const double mszipBytes = static_cast<double>(results[0].bytes);
    results.insert(results.end(), shipped.begin(), shipped.end());
    if (xz.bytes) results.push_back(xz);
    if (xz2m.bytes) results.push_back(xz2m);

    std::printf("| method | measured | bytes | %% of input | vs MSZIP | vs xz -6 | wall s | cpu s "
                "| MB/s (cpu) |\n");
    std::printf("|---|---|---:|---:|---:|---:|---:|---:|---:|\n");
    for (const Result& r : results) {
        char vsXz[32] = "-";
        if (xz.bytes)
            std::snprintf(vsXz, sizeof vsXz, "%.3f", r.bytes / static_cast<double>(xz.bytes));
        std::printf("| %s | %s | %llu | %.2f | %.3f | %s | %.1f | %.1f | %.2f |\n", r.name.c_str(),
                    r.how.c_str(), static_cast<unsigned long long>(r.bytes),
                    100.0 * r.bytes / data.size(), r.bytes / mszipBytes, vsXz, r.seconds, r.cpu,
                    data.size() / 1e6 / r.cpu);
    }
    std::printf("\ncodec: our codecs in-process, the corpus as one folder, data blocks with their\n"
                "headers; vcab: the shipped tool with its defaults (many folders), the whole\n"
                "cabinet; vs MSZIP and vs xz -6 divide by the %s and xz -6 rows.\n",
                results[0].name.c_str());

    // The two ratios the aims are about, like for like.
    const Result* lzx21 = Find(results, "LZX:21");
    const Result* vMsZip = Find(results, "vcab -m mszip");
    const Result* vLzx21 = Find(results, "vcab -m lzx:21");
    auto ratio = [](const Result* a, const Result* b) {
        char text[32] = "-";
        if (a && b && b->bytes)
            std::snprintf(text, sizeof text, "%.3f",
                          static_cast<double>(a->bytes) / static_cast<double>(b->bytes));
        return std::string(text);
    };
    const Result* xzRow = xz.bytes ? &xz : nullptr;
    std::printf("\n%-26s %14s %14s\n", "ratios", "LZX:21/MSZIP", "LZX:21/xz -6");
    std::printf("%-26s %14s %14s\n", "codec, one folder", ratio(lzx21, &results[0]).c_str(),
                ratio(lzx21, xzRow).c_str());
    std::printf("%-26s %14s %14s\n", "vcab, cabinets as shipped", ratio(vLzx21, vMsZip).c_str(),
                ratio(vLzx21, xzRow).c_str());

    PrintQuantumRatios(results, data.size());

    if (!randomFile.empty()) {
        std::ifstream in(randomFile, std::ios::binary);
        if (!in) {
            std::cerr << "lzx_bench: cannot read " << randomFile << "\n";
            return 1;
        }
        std::stringstream ss;
        ss << in.rdbuf();
        RandomTable(ss.str(), exponents, randomShipped);
    }

    return 0;
}
