#include "VcabRun.h"

#include "Readers.h"

#include <gtest/gtest.h>

#include <map>

namespace cabtest {

std::vector<std::string> PackWithVcab(const std::string& vcab, const testutil::TempDir& dir,
                                      const std::vector<Input>& inputs,
                                      const std::vector<std::string>& options) {
    std::vector<std::string> argv = {vcab};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back(dir / "out.cab");
    for (const Input& in : inputs) {
        testutil::WriteFile(dir / in.name, in.data);
        argv.push_back(dir / in.name);
    }
    testutil::RunResult run = testutil::Run(argv);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    std::vector<std::string> cabs;
    if (testutil::Exists(dir / "out.cab")) cabs.push_back(dir / "out.cab");
    for (int n = 2; testutil::Exists(dir / ("out" + std::to_string(n) + ".cab")); ++n)
        cabs.push_back(dir / ("out" + std::to_string(n) + ".cab"));
    return cabs;
}

void ExpectEveryReaderGivesBack(const std::vector<std::string>& cabs,
                                const std::vector<Input>& inputs) {
    ASSERT_FALSE(cabs.empty());
    std::map<std::string, std::string> want;
    for (const Input& in : inputs)
        want[in.name] = in.data;
    ExpectFiles(ExtractWithCabextract(cabs.front()), want, "cabextract");
    ExpectFiles(Extract7z(cabs.front()), want, "7-Zip");
    ExpectFiles(ExtractSetWithLibmspack(cabs), want, "libmspack");
}

} // namespace cabtest
