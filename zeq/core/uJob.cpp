#include "uJob.h"

#include "Text.h"

#include "uUtils.h"

#include <algorithm>
#include <limits>

namespace {

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
        // Read as the numbers of the other job files are: any length, so
        // leading zeros never make a valid number invalid.
        return ParseDecimal(token, value);
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

bool HasNul(const std::string& s) {
    return s.find('\0') != std::string::npos;
}

// The folder that holds path, as spelled: the part before its last separator
// ("." when there is none, the root folder when that is all there is).
std::string FolderOf(const std::string& path) {
    std::size_t end = path.size();
    while (end > 0 && !IsPathSeparator(path[end - 1]))
        --end;
    if (end == 0) return ".";
    std::string folder = path.substr(0, end - 1);
    if (folder.empty() || folder.back() == ':') folder = path.substr(0, end);
    return folder;
}

// The number of pieces the job will write from a source of size bytes, or -1
// when a piece fills its target and the count is not known beforehand.
std::int64_t PieceCount(const JobSettings& job, std::uint64_t size) {
    std::uint64_t count = 0;
    for (std::size_t i = 0; i < job.PieSizes.size(); ++i) {
        if (job.PieSizes[i] <= 0) return -1;
        const std::uint64_t piece = static_cast<std::uint64_t>(job.PieSizes[i]);
        if (size == 0) break;
        if (i + 1 == job.PieSizes.size()) { // the last line serves every later piece
            count += (size + piece - 1) / piece;
            break;
        }
        size -= std::min(size, piece);
        ++count;
    }
    return static_cast<std::int64_t>(count);
}

// The entry of list for number m (from 1); numbers beyond the list take its last entry.
template <typename T> const T& ForNumber(const std::vector<T>& list, std::int64_t m) {
    const std::size_t i = static_cast<std::size_t>(std::max<std::int64_t>(m, 1)) - 1;
    return list.at(std::min(i, list.size() - 1));
}

} // namespace

// ---- the settings --------------------------------------------------------------

std::uint64_t JobSettings::JoinerK() const {
    std::uint64_t k = static_cast<std::uint64_t>(JoinerPie);
    return JoinerPie < 0 ? 0 - k : k;
}

std::int64_t JobSettings::PieSize(std::int64_t m) const {
    return ForNumber(PieSizes, m);
}

std::string JobSettings::PieName(std::int64_t m) const {
    return ExpandPattern(ForNumber(PieNames, m), PieNumberText(ZeroCount, m), SourcePath);
}

std::string JobSettings::PiePath(std::int64_t m) const {
    return JoinPath(TargetPath, PieName(m));
}

std::string JobSettings::JoinerName(const std::string& pattern) const {
    std::string number;
    if (JoinerPie != 0) number = PieNumberText(ZeroCount, static_cast<std::int64_t>(JoinerK()));
    return ExpandPattern(pattern, number, SourcePath);
}

// ---- the job files -------------------------------------------------------------

bool ParseDecimal(const std::string& text, std::int64_t& value) {
    std::size_t b = 0, e = text.size();
    while (b < e && IsBlank(text[b]))
        ++b;
    while (e > b && IsBlank(text[e - 1]))
        --e;
    return ParseStrict(text.substr(b, e - b), value);
}

bool ReadPieSplit(const std::string& text, JobSettings& job, std::string& error) {
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

bool CheckJob(const std::string& pieNames, const std::string& pieSizes, JobSettings& job,
              std::string& error) {
    error.clear();
    const std::vector<std::string> names = SplitLines(pieNames);
    const std::vector<std::string> sizes = SplitLines(pieSizes);
    if (names.size() < 2) {
        error = "pienames.txt must hold the count of leading zeros and at least one name pattern.";
    } else if (!ParseDecimal(names[0], job.ZeroCount) || job.ZeroCount < 0 || job.ZeroCount > 255) {
        error = Lines({"Line 1 of pienames.txt must be the count of leading zeros,",
                       "a whole number from 0 to 255, not \"" + names[0] + "\"."});
    } else if (sizes.empty()) {
        error = "piesizes.txt holds no pie size.";
    } else if (job.BufferSize < 2) {
        error = "The buffer size (BufferSize in piesplit.txt) must be at least 2 bytes, not " +
                std::to_string(job.BufferSize) + ".";
    } else if (job.SourcePath.empty()) {
        error = "piesplit.txt names no source file (line 2 is empty).";
    } else if (job.TargetPath.empty()) {
        error = "piesplit.txt names no target location (line 3 is empty).";
    }
    for (std::size_t i = 1; error.empty() && i < names.size(); ++i) {
        if (names[i].empty())
            error = "Line " + std::to_string(i + 1) + " of pienames.txt holds no name pattern.";
        // The system ends a name at a NUL byte, so every piece would land in one file.
        else if (HasNul(names[i]))
            error = "Line " + std::to_string(i + 1) + " of pienames.txt holds a NUL byte.";
    }
    if (error.empty() &&
        (HasNul(job.SourcePath) || HasNul(job.TargetPath) || HasNul(job.ReportPath)))
        error = "A path in piesplit.txt holds a NUL byte.";
    job.PieSizes.clear();
    for (std::size_t i = 0; error.empty() && i < sizes.size(); ++i) {
        std::int64_t v = 0;
        if (!ParseDecimal(sizes[i], v) || v < 0 || v > 2147483647)
            error = Lines({"Line " + std::to_string(i + 1) + " of piesizes.txt must be a pie size",
                           "from 0 to 2147483647, not \"" + sizes[i] + "\"."});
        job.PieSizes.push_back(v);
    }
    if (!error.empty()) return false;
    job.PieNames.assign(names.begin() + 1, names.end());
    return true;
}

bool CheckJobFiles(JobSettings& job, std::string& error) {
    error.clear();
    job.SourceKnown = false;
    const std::string& source = job.SourcePath;
    std::string why = NotRegularReason(source);
    if (!why.empty()) {
        error = Lines({"The source cannot be split:", source, why});
        return false;
    }
    // A source that is not there yet is looked for again when the split starts.
    if (!plat::GetFileId(source, job.SourceId)) return true;
    job.SourceKnown = true;
    auto isSource = [&job](const std::string& path) {
        plat::FileId id;
        return plat::GetFileId(path, id) && id == job.SourceId;
    };
    auto overSource = [&](const std::string& what, const std::string& path) {
        error = Lines({what + " would be written over the source file:", path});
        return false;
    };

    if (!job.ReportPath.empty() && isSource(job.ReportPath))
        return overSource("The report", job.ReportPath);
    // Every pattern line is the name of the piece of its number.
    for (std::size_t m = 1; m <= job.PieNames.size(); ++m) {
        std::string path = job.PiePath(static_cast<std::int64_t>(m));
        if (isSource(path)) return overSource("Pie " + std::to_string(m), path);
    }

    // The joiner: its two files in the program folder, and on the target the
    // name glue.txt gives it, when the job makes a pack.
    for (const char* name : {"ZeqGlue.tmp", "gluedata.Zeq"}) {
        if (isSource(job.ProgramFolder + name))
            return overSource("The joiner file", job.ProgramFolder + name);
    }
    const std::int64_t pieces = PieceCount(
        job, static_cast<std::uint64_t>(std::max<std::int64_t>(plat::FileSizeOf(source), 0)));
    std::string settings;
    if ((pieces < 0 || job.JoinerK() <= static_cast<std::uint64_t>(pieces)) &&
        ReadWholeFile(job.ProgramFolder + "glue.txt", settings)) {
        std::vector<std::string> lines = SplitLines(settings);
        if (!lines.empty() && !lines[0].empty()) {
            std::string path = JoinPath(job.TargetPath, job.JoinerName(lines[0]));
            if (isSource(path)) return overSource("The joiner file", path);
        }
    }

    // The erase empties the target folder, and with EraseOption > 0 every
    // folder below it: walk up from the folder that really holds the source
    // (".." is resolved by the system, through any link on the way).
    plat::FileId target;
    if (job.EraseOption != 0 && plat::GetFileId(job.TargetPath, target)) {
        std::string folder = FolderOf(source);
        plat::FileId id;
        for (int depth = 0; depth < 1000 && plat::GetFileId(folder, id); ++depth) {
            if (id == target) {
                error =
                    Lines({"The erase of the target folder would delete the source file:", source,
                           job.EraseOption > 0 ? "It lies in the target folder or below it."
                                               : "It lies in the target folder."});
                return false;
            }
            if (job.EraseOption < 0) break; // only files directly in the target go
            std::string parent = JoinPath(folder, "..");
            plat::FileId up;
            if (!plat::GetFileId(parent, up) || up == id) break; // the root
            folder = parent;
        }
    }
    return true;
}

namespace {
bool ReadJobFiles(const std::string& folder, JobSettings& job, std::string& error) {
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
    // A bad number in piesplit.txt is told as it is; what the job asks that
    // cannot be run is told as a refusal.
    if (!ReadPieSplit(text[2], job, error)) return false;
    if (!CheckJob(text[0], text[1], job, error) || !CheckJobFiles(job, error)) {
        error = Lines({JobRefused, error});
        return false;
    }
    return true;
}
} // namespace

bool ReadJob(const std::string& folder, JobSettings& job, std::string& error) {
    if (ReadJobFiles(folder, job, error)) return true;
    error = ShortenedText(error);
    return false;
}

// ---- names and checksum texts -------------------------------------------------

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
