// The job the worker tests start from: a source file split into pieces of
// 1000 bytes with CRCs and the compare pass, in a buffer of 64 KiB.
#pragma once

#include "uCore.h"

#include <string>

namespace zeqtest {

inline void PrepareJob(JobState& job, const std::string& prog, const std::string& source,
                       const std::string& target) {
    job.ProgramFolder = prog;
    job.PieNames = {"2", "\\.*"};
    job.PieSizes = {"1000"};
    job.SourcePath = source;
    job.TargetPath = target;
    job.BufferSize = 1 << 16;
    job.MakeCrc = true;
    job.ComparePies = true;
}

} // namespace zeqtest
