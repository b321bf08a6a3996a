// The split engine's job files: the input is pienames.txt, piesizes.txt and
// piesplit.txt, separated by the byte 0x1E. They are written into a scratch
// program folder and loaded as the program loads them; a job that loads has
// its first piece names expanded.
#include "FuzzCommon.h"

#include "uCore.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::string text[3];
    std::size_t from = 0;
    for (int i = 0; i < 3; ++i) {
        const std::size_t end = i < 2 ? input.find('\x1e', from) : std::string::npos;
        text[i] = input.substr(from, end == std::string::npos ? std::string::npos : end - from);
        from = end == std::string::npos ? input.size() : end + 1;
    }
    const std::string& folder = fuzz::ScratchFolder();
    fuzz::WriteBytes(folder + "pienames.txt", text[0]);
    fuzz::WriteBytes(folder + "piesizes.txt", text[1]);
    fuzz::WriteBytes(folder + "piesplit.txt", text[2]);

    JobState job;
    std::string error;
    if (!LoadJob(folder, job, error)) {
        if (error.empty()) fuzz::Fail("jobfile: refused without a message");
        return 0;
    }
    std::int64_t zeros = 0;
    if (job.PieNames.size() < 2 || !ParseDecimal(job.PieNames[0], zeros) || zeros < 0 ||
        zeros > 255)
        fuzz::Fail("jobfile: accepted with zero count line '%s'",
                   job.PieNames.empty() ? "" : job.PieNames[0].c_str());
    for (std::size_t i = 1; i < job.PieNames.size() && i <= 8; ++i) {
        const std::int64_t m = static_cast<std::int64_t>(i) * 999;
        const std::string number = PieNumberText(zeros, m);
        if (number.size() < static_cast<std::size_t>(zeros) + 1 ||
            number.find(std::to_string(m)) == std::string::npos)
            fuzz::Fail("jobfile: piece %lld with %lld zeros numbered %s", static_cast<long long>(m),
                       static_cast<long long>(zeros), number.c_str());
        ExpandPattern(job.PieNames[i], number, job.SourcePath);
    }
    return 0;
}
