// The texts of the self-joining pack: the joiner settings that the launcher
// leaves in glue.txt, and the joiner data gluedata.Zeq that describes the job
// to the joiner program. The worker (uCore) puts the pack together.
#pragma once

#include "uJob.h"

#include <cstdint>
#include <string>
#include <vector>

struct JoinerSettings {
    std::string JoinerPattern;          // line 1: the name pattern of the joiner file
    std::vector<std::string> DataLines; // lines 2 to 5, passed on unchanged into the joiner data
};

// Reads the text of glue.txt; lines missing at its end count as empty.
JoinerSettings ParseJoinerSettings(const std::string& text);

// The text of gluedata.Zeq, every line ending in CR LF: k (JoinerK), offsetText,
// JobTitle, SourcePath, sourceSize, "1" or "0" for MakeCrc, the four data lines
// of glue.txt, pieNumber (the number of pieces written), the zero count in
// plain decimal and the name patterns, "$", the entries of crcDecList (none
// without MakeCrc) and "$".
std::string JoinerDataText(const JobSettings& job, const JoinerSettings& glue,
                           std::uint64_t sourceSize, std::int64_t pieNumber,
                           const std::vector<std::string>& crcDecList,
                           const std::string& offsetText);
