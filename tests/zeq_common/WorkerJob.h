// The job the worker tests start from: a source file split into pieces of
// 1000 bytes with CRCs and the compare pass, in a buffer of 64 KiB.
#pragma once

#include "TestUtil.h"
#include "uCore.h"

#include <filesystem>
#include <gtest/gtest.h>
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

// A fixture whose temporary folder holds the program folder, the target and the
// source of such a job, with the job prepared over them.
class JobFixture : public ::testing::Test {
  protected:
    explicit JobFixture(const std::string& prefix) : dir(prefix) {}
    void SetUp() override {
        prog = dir.path() + "/prog/";
        target = dir / "target";
        source = dir / "movie.avi";
        std::filesystem::create_directories(prog);
        std::filesystem::create_directories(target);
        PrepareJob(job, prog, source, target);
    }

    testutil::TempDir dir;
    std::string prog, target, source;
    JobState job;
};

} // namespace zeqtest
