// Cabinets written by the component through the real interface layer and
// engine, read back by cabextract and compared with their sources.
#include "Readers.h"
#include "TestUtil.h"
#include "vFwCAB.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using Events = std::vector<std::string>;

namespace {

class RealCabTest : public ::testing::Test {
  protected:
    testutil::TempDir dir{"realcab"};
    std::string src = dir / "src/";
    std::string out = dir / "out/";
    tvFwCAB cab;
    Events errors;

    void SetUp() override {
        fs::create_directories(dir / "src/sub/deep");
        fs::create_directories(dir / "out");
        cab.OnErrorNotify = [this](tvFwCAB&, int id, int api, const std::string& text, int&) {
            errors.push_back(std::to_string(id) + " " + std::to_string(api) + " " + text);
        };
    }
    void Put(const std::string& name, std::size_t size, std::uint32_t seed) {
        testutil::WriteFile(src + name, testutil::RandomBytes(size, seed));
    }
    // Extracts the cabinet (and the rest of its set) and compares each named
    // source file with its extracted copy.
    void ExpectExtracted(const std::string& cabPath, const std::vector<std::string>& names) {
        cabtest::Extraction x = cabtest::ExtractWith(cabtest::Reader::Cabextract, cabPath);
        ASSERT_TRUE(x.ok) << x.log;
        EXPECT_EQ(x.files.size(), names.size());
        for (const std::string& n : names) {
            ASSERT_EQ(x.files.count(n), 1u) << n;
            EXPECT_TRUE(x.files[n] == testutil::ReadFile(src + n)) << n;
        }
    }
};

TEST_F(RealCabTest, SingleCabinetFromMasks) {
    Put("a.txt", 70000, 1);
    Put("b.bin", 1, 2);
    Put("empty.txt", 0, 3);
    Put(".hidden.txt", 500, 4);
    Put("sub/c.txt", 40000, 5);
    Put("sub/deep/d.txt", 33000, 6);
    testutil::WriteFile(src + "sub/deep/text.txt", std::string(200000, 'z')); // compresses well
    cab.AddFiles() = {src + "*.bin"};
    cab.RecurseFiles() = {src + "*.txt"};
    cab.SetStorePath(true);
    cab.SetPartialPath(true);
    cab.SetCompFactor(7);
    for (TCompressionType type : {ctNone, ctMsZip, ctLzx, ctQuantum}) {
        std::string name = "single" + std::to_string(type);
        cab.SetCabFile(out + name + ".cab");
        cab.SetCompType(type);
        cab.Encode();
        EXPECT_TRUE(errors.empty()) << errors.front();
        ASSERT_TRUE(testutil::Exists(out + name + ".cab"));
        if (type != ctNone) { // the text compresses, the random bytes hardly
            EXPECT_LT(fs::file_size(out + name + ".cab"), 160000u) << name;
        }
        ExpectExtracted(out + name + ".cab",
                        {"a.txt", "b.bin", "empty.txt", ".hidden.txt", "sub/c.txt",
                         "sub/deep/d.txt", "sub/deep/text.txt"});
    }
}

TEST_F(RealCabTest, SpannedSetOfThreeCabinets) {
    for (int i = 0; i < 4; ++i)
        Put("f" + std::to_string(i) + ".dat", 70000, 10 + i);
    cab.SetCabFile(out + "set1.cab");
    cab.SetDiskName("Disk 1");
    cab.SetDiskSize(110000); // 280000 incompressible bytes: three cabinets
    cab.AddFiles() = {src + "*.dat"};
    std::vector<int> numbers;
    std::vector<std::string> cabNames;
    cab.OnMessageNotify = [&](tvFwCAB&, std::string& name, std::string& disk, int no, int&, bool&) {
        numbers.push_back(no);
        name = "set" + std::to_string(no) + ".cab";
        disk = "Disk " + std::to_string(no);
    };
    cab.OnMajorStatus = [&](tvFwCAB&, const std::string& name, int, bool&) {
        if (cabNames.empty() || cabNames.back() != name) cabNames.push_back(name);
    };
    cab.Encode();
    EXPECT_TRUE(errors.empty()) << errors.front();
    EXPECT_EQ(numbers, (std::vector<int>{2, 3}));
    EXPECT_EQ(cab.CabFile(), out + "set3.cab");
    ASSERT_FALSE(cabNames.empty()) << "no cabinet was reported";
    EXPECT_EQ(cabNames.front(), out + "set1.cab");
    EXPECT_EQ(cabNames.back(), out + "set3.cab");
    for (const char* c : {"set1.cab", "set2.cab", "set3.cab"})
        EXPECT_LE(fs::file_size(out + c), 110000u) << c;
    ExpectExtracted(out + "set1.cab", {"f0.dat", "f1.dat", "f2.dat", "f3.dat"});
}

} // namespace
