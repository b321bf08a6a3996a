// End to end: cabinets and spanned sets written by vcab with LZX, read back by
// cabextract, 7-Zip and libmspack.
#include "LzxTestData.h"
#include "Readers.h"
#include "TestUtil.h"
#include "VcabRun.h"

#include <gtest/gtest.h>

#include <map>

using namespace cabtest;
using namespace lzxtest;

namespace {

using cabtest::Input;

std::vector<std::string> Pack(const testutil::TempDir& dir, const std::vector<Input>& inputs,
                              const std::vector<std::string>& options) {
    return cabtest::PackWithVcab(VCAB_PATH, dir, inputs, options);
}

void ExtractAll(const std::vector<std::string>& cabs, const std::vector<Input>& inputs) {
    cabtest::ExpectEveryReaderGivesBack(cabs, inputs);
}

class LzxVcab : public ::testing::TestWithParam<int> {};

} // namespace

TEST_P(LzxVcab, OneCabinet) {
    const int w = GetParam();
    std::vector<Input> inputs = {{"empty.txt", ""},
                                 {"one.bin", "1"},
                                 {"text.txt", Text(200000, w)},
                                 {"code.exe", X86Code(150000, w)},
                                 {"random.bin", testutil::RandomBytes(50000, w)},
                                 {"zeros.bin", std::string(70000, '\0')}};
    testutil::TempDir dir("lzx-vcab");
    auto cabs = Pack(dir, inputs, {"-m", "lzx:" + std::to_string(w)});
    ASSERT_EQ(cabs.size(), 1u);
    ExtractAll(cabs, inputs);
    // The folder records carry LZX with this window: 3 | w << 8 at offset 36 + 6.
    std::string cab = testutil::ReadFile(cabs[0]);
    ASSERT_GT(cab.size(), 44u);
    EXPECT_EQ(static_cast<unsigned char>(cab[42]), 3);
    EXPECT_EQ(static_cast<unsigned char>(cab[43]), w);
}

INSTANTIATE_TEST_SUITE_P(Exponents, LzxVcab, ::testing::Range(15, 22),
                         [](const auto& info) { return "w" + std::to_string(info.param); });

TEST(LzxVcabSets, SpannedSetWithSeveralFolders) {
    std::vector<Input> inputs;
    for (int i = 0; i < 6; ++i) {
        inputs.push_back({"text" + std::to_string(i) + ".txt", Text(150000 + 977 * i, 50 + i)});
        inputs.push_back({"code" + std::to_string(i) + ".exe", X86Code(90000, 60 + i)});
        inputs.push_back(
            {"noise" + std::to_string(i) + ".bin", testutil::RandomBytes(40000, 70 + i)});
    }
    testutil::TempDir dir("lzx-vcab-set");
    // Small cabinets and a folder threshold that closes several folders.
    auto cabs = Pack(dir, inputs, {"-m", "lzx:21", "-s", "150000", "-F", "400000"});
    EXPECT_GE(cabs.size(), 4u);
    ExtractAll(cabs, inputs);
}

TEST(LzxVcabSets, LargeFilesInSmallCabinets) {
    std::vector<Input> inputs = {{"big.txt", Text(2600000, 5)}, {"big.exe", OwnExecutable(900000)}};
    testutil::TempDir dir("lzx-vcab-big");
    auto cabs = Pack(dir, inputs, {"-m", "lzx:18", "-s", "400000", "-F", "100000000"});
    EXPECT_GE(cabs.size(), 2u);
    ExtractAll(cabs, inputs);
}
