#include "uCore.h"

#include "uCRC32.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <new>

namespace {

// Thrown by Zeq::Stop and caught by Zeq::Execute, so that every file the worker
// holds is closed on the way out.
struct JobEnd {
    int code;
    std::string text;
    std::string caption;
    MsgIcon icon;
};

bool ParseStrict(const std::string& s, std::int64_t& value) {
    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    if (i == s.size()) return false;
    // Accumulate towards the negative side, which has room for the smallest value.
    std::int64_t v = 0;
    const std::int64_t lowest = std::numeric_limits<std::int64_t>::min();
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        int d = s[i] - '0';
        if (v < (lowest + d) / 10) return false;
        v = v * 10 - d;
    }
    if (!negative) {
        if (v == lowest) return false;
        v = -v;
    }
    value = v;
    return true;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Reads piesplit.txt the way a text file is read value by value.
class PieSplitReader {
  public:
    explicit PieSplitReader(const std::string& text) : t_(text) {}

    std::string Text() {
        std::size_t start = pos_;
        while (pos_ < t_.size() && t_[pos_] != '\r' && t_[pos_] != '\n')
            ++pos_;
        std::string s = t_.substr(start, pos_ - start);
        SkipLineEnd();
        return s;
    }

    // False for a token that is not a decimal number; token and line tell which.
    bool Number(std::int64_t& value, std::string& token, int& line) {
        while (pos_ < t_.size() && static_cast<unsigned char>(t_[pos_]) <= ' ')
            ++pos_;
        value = 0;
        if (pos_ >= t_.size()) return true;
        line = LineOf(pos_);
        std::size_t start = pos_;
        while (pos_ < t_.size() && static_cast<unsigned char>(t_[pos_]) > ' ')
            ++pos_;
        token = t_.substr(start, pos_ - start);
        while (pos_ < t_.size() && t_[pos_] != '\r' && t_[pos_] != '\n')
            ++pos_;
        SkipLineEnd();
        return token.size() <= 32 && ParseStrict(token, value);
    }

  private:
    void SkipLineEnd() {
        if (pos_ < t_.size() && t_[pos_] == '\r') {
            ++pos_;
            if (pos_ < t_.size() && t_[pos_] == '\n') ++pos_;
        } else if (pos_ < t_.size() && t_[pos_] == '\n') {
            ++pos_;
        }
    }
    int LineOf(std::size_t at) const {
        int line = 1;
        for (std::size_t i = 0; i < at; ++i) {
            if (t_[i] == '\n' || (t_[i] == '\r' && (i + 1 >= t_.size() || t_[i + 1] != '\n')))
                ++line;
        }
        return line;
    }

    const std::string& t_;
    std::size_t pos_ = 0;
};

std::int64_t SatAdd(std::int64_t a, std::int64_t b) {
    std::int64_t r;
    if (!__builtin_add_overflow(a, b, &r)) return r;
    return b > 0 ? std::numeric_limits<std::int64_t>::max()
                 : std::numeric_limits<std::int64_t>::min();
}

std::int64_t SatSub(std::int64_t a, std::int64_t b) {
    std::int64_t r;
    if (!__builtin_sub_overflow(a, b, &r)) return r;
    return b < 0 ? std::numeric_limits<std::int64_t>::max()
                 : std::numeric_limits<std::int64_t>::min();
}

std::string Lines(std::initializer_list<std::string> parts) {
    std::string s;
    for (const std::string& p : parts) {
        if (!s.empty()) s += '\r';
        s += p;
    }
    return s;
}

} // namespace

// ---- the job files -------------------------------------------------------------

bool ParseDecimal(const std::string& text, std::int64_t& value) {
    std::size_t b = 0, e = text.size();
    while (b < e && IsBlank(text[b]))
        ++b;
    while (e > b && IsBlank(text[e - 1]))
        --e;
    return ParseStrict(text.substr(b, e - b), value);
}

bool ReadPieSplit(const std::string& text, JobState& job, std::string& error) {
    PieSplitReader in(text);
    struct NumberField {
        const char* name;
        std::int64_t* field;
    };
    job.JobTitle = in.Text();
    job.SourcePath = in.Text();
    job.TargetPath = in.Text();
    const NumberField numbers[] = {
        {"KeepFree", &job.KeepFree},           {"BufferSize", &job.BufferSize},
        {"JoinerPie", &job.JoinerPie},         {"CheckInterval", &job.CheckInterval},
        {"EraseOption", &job.EraseOption},     {"CrcOption", &job.CrcOption},
        {"CompareOption", &job.CompareOption},
    };
    for (const NumberField& n : numbers) {
        std::string token;
        int line = 0;
        if (!in.Number(*n.field, token, line)) {
            error =
                Lines({"Invalid numeric input in piesplit.txt, line " + std::to_string(line) + ":",
                       "\"" + token + "\" is no whole decimal number for " + n.name + "."});
            return false;
        }
        if (n.field == &job.CrcOption) job.MakeCrc = job.CrcOption > 0;
        if (n.field == &job.CompareOption) job.ComparePies = job.CompareOption > 0;
    }
    job.ReportPath = in.Text();
    return true;
}

bool CheckJob(const JobState& job, std::string& error) {
    error.clear();
    std::int64_t v = 0;
    if (job.PieNames.size() < 2) {
        error = "pienames.txt must hold the count of leading zeros and at least one name pattern.";
    } else if (!ParseDecimal(job.PieNames[0], v) || v < 0 || v > 255) {
        error = Lines({"Line 1 of pienames.txt must be the count of leading zeros,",
                       "a whole number from 0 to 255, not \"" + job.PieNames[0] + "\"."});
    } else if (job.PieSizes.empty()) {
        error = "piesizes.txt holds no pie size.";
    } else if (job.BufferSize < 2) {
        error = "The buffer size (BufferSize in piesplit.txt) must be at least 2 bytes, not " +
                std::to_string(job.BufferSize) + ".";
    } else if (job.SourcePath.empty()) {
        error = "piesplit.txt names no source file (line 2 is empty).";
    } else if (job.TargetPath.empty()) {
        error = "piesplit.txt names no target location (line 3 is empty).";
    }
    for (std::size_t i = 1; error.empty() && i < job.PieNames.size(); ++i) {
        if (job.PieNames[i].empty())
            error = "Line " + std::to_string(i + 1) + " of pienames.txt holds no name pattern.";
    }
    for (std::size_t i = 0; error.empty() && i < job.PieSizes.size(); ++i) {
        if (!ParseDecimal(job.PieSizes[i], v) || v < 0 || v > 2147483647)
            error = Lines({"Line " + std::to_string(i + 1) + " of piesizes.txt must be a pie size",
                           "from 0 to 2147483647, not \"" + job.PieSizes[i] + "\"."});
    }
    return error.empty();
}

bool LoadJob(const std::string& folder, JobState& job, std::string& error) {
    job.ProgramFolder = folder;
    std::string text[3];
    const char* names[3] = {"pienames.txt", "piesizes.txt", "piesplit.txt"};
    for (int i = 0; i < 3; ++i) {
        std::string path = folder + names[i];
        if (!ReadWholeFile(path, text[i])) {
            error = Lines({"Cannot open the job file", path, plat::LastErrorText()});
            return false;
        }
    }
    job.PieNames = SplitLines(text[0]);
    job.PieSizes = SplitLines(text[1]);
    if (!ReadPieSplit(text[2], job, error)) return false;
    if (!CheckJob(job, error)) {
        error = Lines({"The split job cannot be run:", error});
        return false;
    }
    return true;
}

// ---- piece names -------------------------------------------------------------

std::string PieNumberText(std::int64_t zeroCount, std::int64_t m) {
    std::string digits = std::to_string(m);
    std::size_t width = zeroCount < 0 ? 1 : static_cast<std::size_t>(zeroCount) + 1;
    if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
    return digits;
}

std::string ExpandPattern(const std::string& pattern, const std::string& numberText,
                          const std::string& sourcePath) {
    std::string name;
    for (char c : pattern) {
        if (c == '*')
            name += numberText;
        else if (c == '/')
            name += ExtWithoutDot(sourcePath);
        else if (c == '\\')
            name += NameWithoutExt(sourcePath);
        else
            name += c;
    }
    return name;
}

std::string CrcHex(std::uint32_t crc) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    do {
        s.insert(s.begin(), digits[crc & 0xF]);
        crc >>= 4;
    } while (crc != 0);
    return s;
}

std::string CrcDec(std::uint32_t crc) {
    return std::to_string(crc);
}

// ---- the worker -----------------------------------------------------------------

Zeq::Zeq(JobState& job, IWindowBridge& bridge) : job_(job), bridge_(bridge) {
    job.Worker = this;
}

Zeq::~Zeq() {
    if (thread_.joinable()) thread_.join();
    if (job_.Worker == this) job_.Worker = nullptr;
}

void Zeq::Start() {
    thread_ = std::thread([this] { Execute(); });
}

void Zeq::Wait() {
    if (thread_.joinable()) thread_.join();
}

void Zeq::Pause() {
    gate_.Close();
}

void Zeq::Resume() {
    gate_.Open();
}

bool Zeq::Paused() const {
    return gate_.IsClosed();
}

void Zeq::PassGate() {
    gate_.Pass();
}

std::uint64_t Zeq::JoinerK() const {
    std::uint64_t k = static_cast<std::uint64_t>(job_.JoinerPie);
    return job_.JoinerPie < 0 ? 0 - k : k;
}

void Zeq::Stop(int code, const std::string& text, const std::string& caption, MsgIcon icon) {
    throw JobEnd{code, text, caption, icon};
}

void Zeq::StopOnFile(const std::string& what, const std::string& path) {
    Stop(1, Lines({what, path, plat::LastErrorText()}));
}

void Zeq::AbandonPiece() {
    piece_.Close();
    if (pieceWritten_) plat::DeleteFile(piecePath_);
    pieceWritten_ = false;
    job_.PieOpen = false;
}

void Zeq::Execute() {
    JobEnd end{0, {}, {}, MsgIcon::None};
    try {
        // 1. The files read whole later on are opened read-only where they are used.
        if (job_.EraseOption != 0) EraseTarget();
        SplitPass();
        if (job_.ComparePies) ComparePass();
        if (!job_.ReportPath.empty()) WriteReport();
        if (JoinerK() <= static_cast<std::uint64_t>(job_.PieNumber)) {
            job_.WritingPies = false;
            bridge_.Synchronize([this] { bridge_.ShowJoinNotice(); });
            MakeJoiner();
        }
        job_.Finished = true;
        return;
    } catch (const JobEnd& e) {
        end = e;
    } catch (const std::bad_alloc&) {
        end = {1, "Not enough memory for the split.", "Application Error", MsgIcon::Error};
    } catch (const std::exception& e) {
        end = {1, e.what(), "Application Error", MsgIcon::Error};
    }
    AbandonPiece();
    if (!end.text.empty()) {
        bridge_.Synchronize(
            [&] { bridge_.MessageBox(end.text, end.caption, end.icon, MsgButtons::Ok); });
    }
    job_.Finished = true;
    EndProcess(end.code);
}

void Zeq::EraseTarget() {
    bridge_.Synchronize([this] { bridge_.EraseTarget(job_); });
}

void Zeq::PromptForDisk() {
    bool ok = false;
    bridge_.Synchronize([&] { ok = bridge_.PromptForDisk(job_); });
    if (!ok) Stop(1); // the user gave up; no piece is open now
}

void Zeq::RequirePieFile() {
    while (!plat::FileExists(job_.CurrentPie.Get()))
        PromptForDisk();
}

void Zeq::SplitPass() {
    plat::File source;
    if (!source.Open(job_.SourcePath, plat::OpenMode::Read))
        StopOnFile("Cannot open the source file", job_.SourcePath);
    std::int64_t size = plat::FileSize(source.Handle());
    if (size < 0) StopOnFile("Cannot read the size of the source file", job_.SourcePath);
    job_.SourceSize.Set(static_cast<std::uint64_t>(size));

    // The buffer never needs to be larger than the source.
    std::uint64_t bufferSize =
        std::min<std::uint64_t>(static_cast<std::uint64_t>(job_.BufferSize),
                                std::max<std::uint64_t>(job_.SourceSize.Get(), 1));
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[bufferSize]);
    if (!buffer)
        Stop(1, "Not enough memory for a buffer of " + std::to_string(bufferSize) + " bytes.");
    job_.CompareFill.Set(0);

    while (job_.SourceDone.Get() < job_.SourceSize.Get()) {
        PassGate();
        job_.BufferFill.Set(0);
        std::uint64_t want = std::min(bufferSize, job_.SourceSize.Get() - job_.SourceDone.Get());
        std::int64_t r = plat::ReadFile(source.Handle(), buffer.get(), want);
        if (r < 0) StopOnFile("Cannot read the source file", job_.SourcePath);
        if (r == 0) {
            Stop(1, Lines({"The source file became shorter while it was split:", job_.SourcePath}));
        }
        job_.SourceDone.Add(static_cast<std::uint64_t>(r));
        job_.BufferFill.Add(static_cast<std::uint64_t>(r));
        job_.LastRead = static_cast<std::uint64_t>(r);
        WriteStep(buffer.get());
    }
    source.Close();
    job_.PieNumber -= 1;
    buffer.reset();
    job_.NameIndex = 1;
}

void Zeq::WriteStep(const char* buffer) {
    const char* cursor = buffer;
    while (job_.BufferFill.Get() > 0) {
        if (!job_.PieOpen) {
            PreparePieSize();
            BuildPiePath(job_.PieNumber);
            std::string path = job_.CurrentPie.Get();
            if (JoinerK() == static_cast<std::uint64_t>(job_.PieNumber)) job_.JoinerPiePath = path;
            if (job_.MakeCrc) job_.CrcValue = 0xFFFFFFFFu;
            PassGate();
            piecePath_ = path;
            if (!piece_.Open(path, plat::OpenMode::CreateAlways))
                StopOnFile("Cannot create the pie file", path);
            pieceWritten_ = true;
            job_.PieLeft = job_.NextPieSize;
            job_.PieOpen = true;
        }
        // The last piece holds only what is left of the source.
        std::uint64_t fill = job_.BufferFill.Get();
        if (job_.SourceDone.Get() == job_.SourceSize.Get() &&
            fill < static_cast<std::uint64_t>(job_.PieLeft))
            job_.PieLeft = static_cast<std::int64_t>(fill);
        while (job_.BufferFill.Get() > 0 && job_.PieLeft > 0) {
            PassGate();
            std::uint64_t n =
                std::min(job_.BufferFill.Get(), static_cast<std::uint64_t>(job_.PieLeft));
            std::int64_t w = plat::WriteFile(piece_.Handle(), cursor, n);
            if (w < static_cast<std::int64_t>(n))
                StopOnFile("Cannot write the pie file", piecePath_);
            if (job_.MakeCrc) job_.CrcValue = CrcUpdate(job_.CrcValue, n, cursor);
            job_.PieDone.Add(n);
            job_.PieLeft -= w;
            cursor += n;
            job_.BufferFill.Sub(n);
        }
        if (job_.PieLeft == 0) {
            if (!piece_.Close()) StopOnFile("Cannot write the pie file", piecePath_);
            pieceWritten_ = false;
            job_.PieOpen = false;
            if (job_.MakeCrc) {
                job_.CrcValue = CrcFinish(job_.CrcValue);
                job_.CrcHexList.push_back(CrcHex(job_.CrcValue));
                job_.CrcDecList.push_back(CrcDec(job_.CrcValue));
            }
            job_.PieNumber += 1;
        }
    }
}

void Zeq::PreparePieSize() {
    std::int64_t size = 0;
    const std::string& line = job_.PieSizes.at(static_cast<std::size_t>(job_.SizeIndex));
    if (!ParseDecimal(line, size) || size < 0 || size > 2147483647)
        Stop(1, Lines({"Invalid pie size in piesizes.txt:", "\"" + line + "\""}));
    if (job_.SizeIndex < static_cast<std::int64_t>(job_.PieSizes.size()) - 1) job_.SizeIndex += 1;
    const bool fill = size == 0;
    // The free space is measured again after every prompt; a piece that fills the
    // target takes its size from the same measurement that passed the test.
    for (;;) {
        std::int64_t reserve = JoinerReserve();
        std::int64_t required = SatAdd(SatAdd(job_.KeepFree, fill ? 1 : size), reserve);
        job_.RequiredSpace.Set(required);
        std::int64_t free = FreeSpace(job_.TargetPath);
        if (required > free) {
            PromptForDisk();
            continue;
        }
        job_.NextPieSize = fill ? SatSub(SatSub(free, job_.KeepFree), reserve) : size;
        return;
    }
}

void Zeq::BuildPiePath(std::int64_t m) {
    std::size_t index = static_cast<std::size_t>(job_.NameIndex);
    const std::string& pattern = job_.PieNames.at(index);
    if (job_.NameIndex < static_cast<std::int64_t>(job_.PieNames.size()) - 1) job_.NameIndex += 1;
    std::int64_t zeros = 0;
    ParseDecimal(job_.PieNames.at(0), zeros);
    job_.CurrentPie.Set(JoinPath(job_.TargetPath,
                                 ExpandPattern(pattern, PieNumberText(zeros, m), job_.SourcePath)));
}

std::int64_t Zeq::JoinerReserve() {
    std::uint64_t k = JoinerK();
    if (k > static_cast<std::uint64_t>(job_.PieNumber)) return 0;
    std::string glue = job_.ProgramFolder + "glue32.exe";
    std::int64_t size = plat::FileSizeOf(glue);
    if (size < 0) StopOnFile("Cannot find the joiner program", glue);
    if (k < static_cast<std::uint64_t>(job_.PieNumber) && !plat::FileExists(job_.JoinerPiePath))
        return 0; // the piece that the joiner takes in is not on this target
    return size + 8192;
}

[[noreturn]] void Zeq::CompareError() {
    Stop(1,
         "The pies do not match the original file!\rPlease check your target media and try to "
         "split again.",
         "Compare Error!", MsgIcon::Error);
}

void Zeq::ComparePass() {
    job_.WritingPies = false;
    job_.SourceDone.Set(0);
    job_.PieDone.Set(0);
    plat::File source;
    if (!source.Open(job_.SourcePath, plat::OpenMode::Read))
        StopOnFile("Cannot open the source file", job_.SourcePath);
    std::uint64_t half = std::min<std::uint64_t>(static_cast<std::uint64_t>(job_.BufferSize / 2),
                                                 std::max<std::uint64_t>(job_.SourceSize.Get(), 1));
    std::unique_ptr<char[]> sourceBuffer(new (std::nothrow) char[half]);
    std::unique_ptr<char[]> pieBuffer(new (std::nothrow) char[half]);
    if (!sourceBuffer || !pieBuffer)
        Stop(1, "Not enough memory for two buffers of " + std::to_string(half) + " bytes.");
    bridge_.Synchronize([this] { bridge_.ShowCompareNotice(); });

    while (job_.SourceDone.Get() < job_.SourceSize.Get()) {
        PassGate();
        job_.BufferFill.Set(0);
        job_.CompareFill.Set(0);
        std::uint64_t want = std::min(half, job_.SourceSize.Get() - job_.SourceDone.Get());
        std::int64_t r = plat::ReadFile(source.Handle(), sourceBuffer.get(), want);
        if (r < 0) StopOnFile("Cannot read the source file", job_.SourcePath);
        if (r == 0) CompareError(); // the source changed since it was split
        job_.SourceDone.Add(static_cast<std::uint64_t>(r));
        job_.BufferFill.Add(static_cast<std::uint64_t>(r));
        CompareStep(sourceBuffer.get(), pieBuffer.get());
    }
    source.Close();
    // Piece bytes beyond the end of the source: the pieces are longer than it.
    if (job_.PieOpen && job_.PieLeft > 0) CompareError();
    piece_.Close();
    job_.PieOpen = false;
}

void Zeq::CompareStep(const char* sourceBuffer, char* pieBuffer) {
    const std::int64_t fill = static_cast<std::int64_t>(job_.BufferFill.Get());
    while (job_.CompareFill.Get() < fill) {
        if (!job_.PieOpen) {
            BuildPiePath(job_.ComparePieNumber);
            RequirePieFile();
            PassGate();
            piecePath_ = job_.CurrentPie.Get();
            if (!piece_.Open(piecePath_, plat::OpenMode::Read))
                StopOnFile("Cannot open the pie file", piecePath_);
            std::int64_t size = plat::FileSize(piece_.Handle());
            if (size < 0) StopOnFile("Cannot read the size of the pie file", piecePath_);
            job_.PieLeft = size;
            job_.PieOpen = true;
        }
        while (job_.CompareFill.Get() < fill && job_.PieLeft > 0) {
            PassGate();
            std::int64_t have = job_.CompareFill.Get();
            std::uint64_t want = static_cast<std::uint64_t>(std::min(fill - have, job_.PieLeft));
            std::int64_t r = plat::ReadFile(piece_.Handle(), pieBuffer + have, want);
            if (r < 0) StopOnFile("Cannot read the pie file", piecePath_);
            if (r == 0) CompareError(); // the piece is shorter than when it was opened
            job_.CompareFill.Add(r);
            job_.PieDone.Add(static_cast<std::uint64_t>(r));
            job_.PieLeft -= r;
        }
        if (job_.PieLeft == 0) {
            piece_.Close();
            job_.PieOpen = false;
            job_.ComparePieNumber += 1;
        }
    }
    if (std::memcmp(sourceBuffer, pieBuffer, static_cast<std::size_t>(fill)) != 0) CompareError();
}

void Zeq::WriteReport() {
    std::string text = std::to_string(job_.PieNumber) + "\r\n";
    if (job_.MakeCrc) {
        for (const std::string& crc : job_.CrcHexList)
            text += crc + "\r\n";
    }
    plat::File report;
    if (!report.Open(job_.ReportPath, plat::OpenMode::Append))
        StopOnFile("Cannot open the report file", job_.ReportPath);
    if (plat::WriteFile(report.Handle(), text.data(), text.size()) !=
        static_cast<std::int64_t>(text.size()))
        StopOnFile("Cannot write the report file", job_.ReportPath);
    if (!report.Close()) StopOnFile("Cannot write the report file", job_.ReportPath);
}
