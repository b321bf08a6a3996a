// The split engine's job files: the input is pienames.txt, piesizes.txt,
// piesplit.txt and glue.txt, separated by the byte 0x1E. They are written into
// a scratch program folder and read as the program reads them (ReadJob: the
// texts, their checks and the checks against the files they name). A job that
// is taken must hold what the checks promise, and its first piece names, sizes
// and the joiner's name are worked out from it.
#include "FuzzCommon.h"

#include "uJob.h"

#include <cstdint>
#include <limits>
#include <string>

namespace {

void CheckNumber(const JobSettings& job, std::int64_t m) {
    const std::string number = PieNumberText(job.ZeroCount, m);
    if (number.size() < static_cast<std::size_t>(job.ZeroCount) + 1 ||
        number.find(std::to_string(m)) == std::string::npos ||
        number.find_first_not_of('0') != number.size() - std::to_string(m).size())
        fuzz::Fail("jobfile: piece %lld with %lld zeros numbered %s", static_cast<long long>(m),
                   static_cast<long long>(job.ZeroCount), number.c_str());
    const std::size_t line =
        static_cast<std::size_t>(std::min<std::int64_t>(m, std::int64_t(job.PieNames.size())));
    const std::string name = job.PieName(m);
    if (name != ExpandPattern(job.PieNames[line - 1], number, job.SourcePath))
        fuzz::Fail("jobfile: piece %lld named %s, not by line %zu of the patterns",
                   static_cast<long long>(m), name.c_str(), line + 1);
    if (name.find('\0') != std::string::npos)
        fuzz::Fail("jobfile: piece %lld has a NUL byte in its name", static_cast<long long>(m));
    job.PiePath(m);
    const std::int64_t size = job.PieSize(m);
    const std::size_t sizeLine =
        static_cast<std::size_t>(std::min<std::int64_t>(m, std::int64_t(job.PieSizes.size())));
    if (size != job.PieSizes[sizeLine - 1])
        fuzz::Fail("jobfile: piece %lld sized %lld, not by line %zu of the sizes",
                   static_cast<long long>(m), static_cast<long long>(size), sizeLine);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::string text[4];
    std::size_t from = 0;
    for (int i = 0; i < 4; ++i) {
        const std::size_t end = i < 3 ? input.find('\x1e', from) : std::string::npos;
        text[i] = input.substr(from, end == std::string::npos ? std::string::npos : end - from);
        from = end == std::string::npos ? input.size() : end + 1;
    }
    const std::string& folder = fuzz::ScratchFolder();
    fuzz::WriteBytes(folder + "pienames.txt", text[0]);
    fuzz::WriteBytes(folder + "piesizes.txt", text[1]);
    fuzz::WriteBytes(folder + "piesplit.txt", text[2]);
    fuzz::WriteBytes(folder + "glue.txt", text[3]);

    JobSettings job;
    std::string error;
    if (!ReadJob(folder, job, error)) {
        if (error.empty()) fuzz::Fail("jobfile: refused without a message");
        return 0;
    }
    if (!error.empty()) fuzz::Fail("jobfile: taken with the message %s", error.c_str());
    if (job.ProgramFolder != folder)
        fuzz::Fail("jobfile: program folder %s", job.ProgramFolder.c_str());
    if (job.ZeroCount < 0 || job.ZeroCount > 255)
        fuzz::Fail("jobfile: taken with zero count %lld", static_cast<long long>(job.ZeroCount));
    if (job.PieNames.empty() || job.PieSizes.empty())
        fuzz::Fail("jobfile: taken with %zu patterns and %zu sizes", job.PieNames.size(),
                   job.PieSizes.size());
    for (const std::string& p : job.PieNames)
        if (p.empty() || p.find('\0') != std::string::npos)
            fuzz::Fail("jobfile: taken with the pattern '%s'", p.c_str());
    for (std::int64_t s : job.PieSizes)
        if (s < 0 || s > 2147483647)
            fuzz::Fail("jobfile: taken with the pie size %lld", static_cast<long long>(s));
    if (job.BufferSize < 2 || job.SourcePath.empty() || job.TargetPath.empty())
        fuzz::Fail("jobfile: taken with buffer size %lld, source '%s', target '%s'",
                   static_cast<long long>(job.BufferSize), job.SourcePath.c_str(),
                   job.TargetPath.c_str());
    for (const std::string* path : {&job.SourcePath, &job.TargetPath, &job.ReportPath})
        if (path->find('\0') != std::string::npos)
            fuzz::Fail("jobfile: taken with a NUL byte in a path");
    if (job.MakeCrc != (job.CrcOption > 0) || job.ComparePies != (job.CompareOption > 0))
        fuzz::Fail("jobfile: CrcOption %lld, CompareOption %lld read as %d, %d",
                   static_cast<long long>(job.CrcOption), static_cast<long long>(job.CompareOption),
                   job.MakeCrc, job.ComparePies);

    const std::int64_t many = std::numeric_limits<std::int64_t>::max();
    for (std::int64_t m = 1; m <= std::int64_t(job.PieNames.size()) + 1 && m <= 8; ++m)
        CheckNumber(job, m);
    CheckNumber(job, 999999);
    CheckNumber(job, many);
    // The joiner's number is |JoinerPie|, also for the smallest value.
    const std::uint64_t k = job.JoinerK();
    if (job.JoinerPie != std::numeric_limits<std::int64_t>::min() &&
        k != static_cast<std::uint64_t>(job.JoinerPie < 0 ? -job.JoinerPie : job.JoinerPie))
        fuzz::Fail("jobfile: JoinerPie %lld gives the joiner number %llu",
                   static_cast<long long>(job.JoinerPie), static_cast<unsigned long long>(k));
    job.JoinerName(text[3].substr(0, text[3].find_first_of("\r\n")));
    return 0;
}
