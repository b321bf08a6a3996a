// End to end: cabinets and spanned sets written by vcab through the cabinet
// engine with Quantum, read back by cabextract, 7-Zip and libmspack.
#include "LzxTestData.h"
#include "Readers.h"
#include "TestUtil.h"
#include "VcabRun.h"

#include <gtest/gtest.h>

#include <map>

using lzxtest::Text;

namespace {

using cabtest::Input;

std::vector<std::string> Pack(const testutil::TempDir& dir, const std::vector<Input>& inputs,
                              const std::vector<std::string>& options) {
    return cabtest::PackWithVcab(VCAB_PATH, dir, inputs, options);
}

void ExtractAll(const std::vector<std::string>& cabs, const std::vector<Input>& inputs) {
    cabtest::ExpectEveryReaderGivesBack(cabs, inputs);
}

// typeCompress of the first folder record of a cabinet without reserves.
unsigned FolderType(const std::string& cabPath) {
    const std::string cab = testutil::ReadFile(cabPath);
    if (cab.size() < 44) return 0;
    return static_cast<unsigned char>(cab[42]) | static_cast<unsigned char>(cab[43]) << 8;
}

} // namespace

// Plain "-m quantum" is what the cabinet component asks for with ctQuantum:
// code 2 alone, written as level 7 with a window of 2^21.
TEST(QuantumVcab, PlainQuantumIsLevelSevenWithTheLargestWindow) {
    std::vector<Input> inputs = {{"empty.txt", ""},
                                 {"one.bin", "1"},
                                 {"text.txt", Text(200000, 3)},
                                 {"random.bin", testutil::RandomBytes(50000, 4)},
                                 {"zeros.bin", std::string(70000, '\0')}};
    testutil::TempDir dir("quantum-vcab");
    auto cabs = Pack(dir, inputs, {"-m", "quantum"});
    ASSERT_EQ(cabs.size(), 1u);
    EXPECT_EQ(FolderType(cabs[0]), 0x1572u);
    ExtractAll(cabs, inputs);
}

TEST(QuantumVcab, SpannedSetsWithReservesAndFolderThresholds) {
    std::vector<Input> inputs;
    for (int i = 0; i < 5; ++i) {
        inputs.push_back({"text" + std::to_string(i) + ".txt", Text(120000 + 977 * i, 50 + i)});
        inputs.push_back(
            {"noise" + std::to_string(i) + ".bin", testutil::RandomBytes(30000, 70 + i)});
        inputs.push_back(
            {"tiny" + std::to_string(i), std::string(static_cast<std::size_t>(i), 'x')});
    }
    for (const char* method : {"quantum:1:10", "quantum:4:16", "quantum:7:21"}) {
        SCOPED_TRACE(method);
        testutil::TempDir dir("quantum-vcab-set");
        auto cabs = Pack(dir, inputs, {"-m", method, "-s", "120000", "-F", "300000", "-r", "40"});
        EXPECT_GE(cabs.size(), 3u);
        ExtractAll(cabs, inputs);
    }
}

TEST(QuantumVcab, RefusesLevelsAndWindowsOutOfRange) {
    for (const char* method :
         {"quantum:0", "quantum:8", "quantum:7:9", "quantum:7:22", "quantum:x"}) {
        testutil::TempDir dir("quantum-vcab-bad");
        testutil::WriteFile(dir / "a.txt", "a");
        testutil::RunResult run =
            testutil::Run({VCAB_PATH, "-m", method, dir / "out.cab", dir / "a.txt"});
        EXPECT_EQ(run.exitCode, 2) << method << ": " << run.output; // a wrong command line
        EXPECT_FALSE(testutil::Exists(dir / "out.cab")) << method;
    }
}
