// The job the worker tests start from: a source file split into pieces of
// 1000 bytes with CRCs and the compare pass, in a buffer of 64 KiB.
#pragma once

#include "TestUtil.h"
#include "uCore.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <utility>

namespace zeqtest {

// Changes one setting of the job that state holds, as a test prepares what a
// window or the worker reads from it.
template <typename T, typename V> void SetJob(JobState& state, T JobSettings::*field, V value) {
    JobSettings job = state.Settings();
    job.*field = static_cast<T>(value);
    state.SetSettings(std::move(job));
}

inline void PrepareJob(JobSettings& job, const std::string& prog, const std::string& source,
                       const std::string& target) {
    job.ProgramFolder = prog;
    job.ZeroCount = 2;
    job.PieNames = {"\\.*"};
    job.PieSizes = {1000};
    job.SourcePath = source;
    job.TargetPath = target;
    job.BufferSize = 1 << 16;
    job.MakeCrc = true;
    job.ComparePies = true;
}

// A fixture whose temporary folder holds the program folder, the target and the
// source of such a job, with the job prepared over them. A test changes job as
// it needs and hands it to state (Start) before the worker runs.
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

    // Hands job to state, which the worker reads it from; the job keeps to
    // what loading a job assures the worker.
    void Start() {
        EXPECT_GE(job.BufferSize, 2);
        EXPECT_FALSE(job.PieNames.empty());
        EXPECT_FALSE(job.PieSizes.empty());
        state.SetSettings(job);
    }

    testutil::TempDir dir;
    std::string prog, target, source;
    JobSettings job;
    JobState state;
};

} // namespace zeqtest
