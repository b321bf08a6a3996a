#include "uJoiner.h"

#include "uUtils.h"

#include <algorithm>

JoinerSettings ParseJoinerSettings(const std::string& text) {
    std::vector<std::string> lines = SplitLines(text);
    lines.resize(std::max<std::size_t>(lines.size(), 5));
    return {lines[0], {lines.begin() + 1, lines.begin() + 5}};
}

std::string JoinerDataText(const JobSettings& job, const JoinerSettings& glue,
                           std::uint64_t sourceSize, std::int64_t pieNumber,
                           const std::vector<std::string>& crcDecList,
                           const std::string& offsetText) {
    std::string text;
    auto line = [&text](const std::string& s) {
        text += s;
        text += "\r\n";
    };
    line(std::to_string(job.JoinerK()));
    line(offsetText);
    line(job.JobTitle);
    line(job.SourcePath);
    line(std::to_string(sourceSize));
    line(job.MakeCrc ? "1" : "0");
    for (const std::string& s : glue.DataLines)
        line(s);
    line(std::to_string(pieNumber));
    // The count of zeros as the engine read it ("+2", "-0" or a run of leading
    // zeros), in the plain form that every reader takes.
    line(std::to_string(job.ZeroCount));
    for (const std::string& pattern : job.PieNames)
        line(pattern);
    line("$");
    if (job.MakeCrc) {
        for (const std::string& crc : crcDecList)
            line(crc);
    }
    line("$");
    return text;
}
