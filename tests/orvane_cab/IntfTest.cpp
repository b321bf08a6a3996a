// The interface layer over real files: wrappers, relays, the shared error
// record, temporary files, open information and the edge cases of its callbacks.
#include "CabImage.h"
#include "Platform.h"
#include "Readers.h"
#include "TestData.h"
#include "TestUtil.h"
#include "vCabIntf.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

// The system's own codes for an existing and a missing file.
#ifdef _WIN32
constexpr int kFileExists = 80; // ERROR_FILE_EXISTS
constexpr int kFileMissing = 2; // ERROR_FILE_NOT_FOUND
#else
constexpr int kFileExists = EEXIST;
constexpr int kFileMissing = ENOENT;
#endif
using cabtest::CabImage;

// What the relays saw, and how they answer.
struct Relays {
    std::vector<std::pair<std::string, int>> progress;
    std::vector<int> cabNos, diskNos;
    std::vector<std::string> tempFilesDuringAdd, tempFilesHeld;
    std::string watchFolder;
    bool abortProgress = false, throwProgress = false, abortNext = false;
    std::string longName;
} g;

std::vector<std::string> TempFiles(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    return names;
}

// What this process holds open in the folder, as the system names it.
std::vector<std::string> OpenIn(const std::string& folder) {
    std::vector<std::string> held;
    for (const auto& e : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        std::string target = fs::read_symlink(e.path(), ec).string();
        if (!ec && target.rfind(folder + "/", 0) == 0)
            held.push_back(target.substr(folder.size() + 1));
    }
    return held;
}

void Progress(const std::string& file, int percent, bool& abort) {
    g.progress.emplace_back(file, percent);
    if (!g.watchFolder.empty() && g.tempFilesDuringAdd.empty()) {
        g.tempFilesDuringAdd = TempFiles(g.watchFolder);
        g.tempFilesHeld = OpenIn(g.watchFolder);
    }
    if (g.throwProgress) throw std::runtime_error("handler failed");
    abort = g.abortProgress;
}

void Next(std::string& cabName, std::string& diskName, int cabNo, int& diskNo, bool& abort) {
    g.cabNos.push_back(cabNo);
    g.diskNos.push_back(diskNo);
    cabName = g.longName.empty() ? "part" + std::to_string(cabNo) + ".cab" : g.longName;
    diskName = "Disk " + std::to_string(cabNo);
    diskNo = cabNo * 100;
    abort = g.abortNext;
}

class IntfTest : public ::testing::Test {
  protected:
    testutil::TempDir work{"cabintf"};
    testutil::TempDir temp{"cabtmp"};
    std::string oldTmp;

    void SetUp() override {
        g = Relays{};
        if (const char* t = std::getenv(testutil::TempFolderVariable())) oldTmp = t;
        testutil::SetEnv(testutil::TempFolderVariable(), temp.path());
    }
    void TearDown() override {
        if (oldTmp.empty())
            testutil::UnsetEnv(testutil::TempFolderVariable());
        else
            testutil::SetEnv(testutil::TempFolderVariable(), oldTmp);
    }
    std::string File(const std::string& name, const std::string& data) {
        testutil::WriteFile(work / name, data);
        return work / name;
    }
    HCabContext Create(const std::string& cab = "out.cab", std::int32_t diskSize = 2147483647,
                       std::int32_t reserved = 0) {
        return CabCreate(work / cab, "", 831415, diskSize, reserved, 0x2A5A5, Progress, Next);
    }
};

TEST_F(IntfTest, BuildsACabinetAndCleansUp) {
    std::string a = File("a.txt", std::string(100000, 'a'));
    std::string b = File("b.bin", testutil::RandomBytes(70000, 1));
    g.watchFolder = temp.path();
    HCabContext h = Create();
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(CabLastError().erfOper, 0);
    ASSERT_TRUE(CabAddFile(h, a, "a.txt", ctMsZip, 0, false));
    ASSERT_TRUE(CabAddFile(h, b, "sub\\b.bin", ctNone, 0, false));
    ASSERT_TRUE(CabFlush(h, false));
    TCabError e = CabLastError();
    EXPECT_EQ(e.erfOper, 0);
    EXPECT_EQ(e.erfType, 0);
    EXPECT_FALSE(e.fError);
    ASSERT_TRUE(CabDestroy(h));

    // The temporary file was made in the system's temporary folder under
    // "vFw". On POSIX its name was gone while the engine worked with it; on
    // Windows the system deletes it with its last handle. Either way not even a
    // killed process leaves it there.
#ifdef _WIN32
    ASSERT_EQ(g.tempFilesDuringAdd.size(), 1u);
    EXPECT_EQ(g.tempFilesDuringAdd[0].rfind("vFw", 0), 0u);
#else
    EXPECT_TRUE(g.tempFilesDuringAdd.empty());
    ASSERT_EQ(g.tempFilesHeld.size(), 1u);
    EXPECT_EQ(g.tempFilesHeld[0].rfind("vFw", 0), 0u);
    EXPECT_NE(g.tempFilesHeld[0].find("(deleted)"), std::string::npos);
#endif
    EXPECT_TRUE(TempFiles(temp.path()).empty());

    CabImage cab = CabImage::Load(work / "out.cab");
    ASSERT_TRUE(cab.ok()) << cab.ProblemText();
    EXPECT_EQ(cab.setId, 0xA5A5);
    ASSERT_EQ(cab.folders.size(), 2u);
    EXPECT_EQ(cab.folders[0].type, 1);
    EXPECT_EQ(cab.folders[1].type, 0);
    auto files = cab.Extract();
    EXPECT_EQ(files["a.txt"], testutil::ReadFile(a));
    EXPECT_EQ(files["sub\\b.bin"], testutil::ReadFile(b));
}

TEST_F(IntfTest, OpenInformationGivesDosTimeAndAttributes) {
    std::string plain = File("plain", "p");
    std::string hidden = File(".hidden", "h");
    cabtest::SetLocalMtime(hidden, 2020, 1, 2, 3, 4, 7);
    fs::permissions(hidden, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);

    HCabContext h = Create();
    ASSERT_TRUE(CabAddFile(h, plain, "plain", ctMsZip, 0, false));
    ASSERT_TRUE(CabAddFile(h, hidden, ".hidden", ctMsZip, 0, false));
    ASSERT_TRUE(CabFlush(h, false));
    CabDestroy(h);
    CabImage cab = CabImage::Load(work / "out.cab");
    ASSERT_TRUE(cab.ok()) << cab.ProblemText();
    EXPECT_EQ(cab.Find("plain")->attribs, 0x20);
    EXPECT_EQ(cab.Find(".hidden")->attribs, 0x23);
    EXPECT_EQ(cab.Find(".hidden")->date, cabtest::DosDate(2020, 1, 2));
    EXPECT_EQ(cab.Find(".hidden")->time, cabtest::DosTime(3, 4, 6));
}

TEST_F(IntfTest, NamesThatDoNotFitTheirFieldsAreRefused) {
    std::string longName(256, 'c');
    EXPECT_EQ(CabCreate(work / longName, "", 831415, 2147483647, 0, 1, Progress, Next), nullptr);
    EXPECT_EQ(CabLastError().erfOper, 6);
    EXPECT_TRUE(CabLastError().fError);
    EXPECT_EQ(CabLastError().erfType, plat::ErrorNameTooLong());
    EXPECT_EQ(
        CabCreate(work / "x.cab", std::string(256, 'd'), 831415, 2147483647, 0, 1, Progress, Next),
        nullptr);
    EXPECT_EQ(CabCreate(std::string(260, 'p') + "/" + "x.cab", "", 831415, 2147483647, 0, 1,
                        Progress, Next),
              nullptr);
    HCabContext h =
        CabCreate(work / std::string(255, 'c'), "", 831415, 2147483647, 0, 1, Progress, Next);
    EXPECT_NE(h, nullptr);
    CabDestroy(h);
}

TEST_F(IntfTest, ExistingCabinetIsNeverOverwritten) {
    testutil::WriteFile(work / "out.cab", "precious");
    std::string a = File("a", "data");
    HCabContext h = Create();
    ASSERT_TRUE(CabAddFile(h, a, "a", ctMsZip, 0, false));
    EXPECT_FALSE(CabFlush(h, false));
    EXPECT_EQ(CabLastError().erfOper, 6);
    EXPECT_EQ(CabLastError().erfType, kFileExists);
    EXPECT_EQ(CabErrorText(CabLastError().erfOper), "Could not create cabinet file");
    EXPECT_EQ(testutil::ReadFile(work / "out.cab"), "precious");
    // The caller removes it and flushes again.
    fs::remove(work / "out.cab");
    EXPECT_TRUE(CabFlush(h, false));
    CabDestroy(h);
    EXPECT_TRUE(CabImage::Load(work / "out.cab").ok());
}

TEST_F(IntfTest, CompressionCodes) {
    std::string a = File("a", std::string(5000, 'x'));
    HCabContext h = Create();
    // Quantum takes levels 1..7 and windows 2^10..2^21 (0: level 7, 2^21).
    EXPECT_FALSE(CabAddFile(h, a, "q", ctQuantum, 8 << 4 | 21 << 8, false));
    EXPECT_EQ(CabLastError().erfOper, 5);
    EXPECT_FALSE(CabAddFile(h, a, "q", ctQuantum, 7 << 4 | 9 << 8, false));
    EXPECT_EQ(CabLastError().erfOper, 5);
    EXPECT_EQ(CabErrorText(5), "Unknown compression type");
    EXPECT_FALSE(CabAddFile(h, a, "l", ctLzx, 22, false));
    EXPECT_EQ(CabLastError().erfOper, 5);
    EXPECT_FALSE(CabAddFile(h, a, "l", ctLzx, 14, false));
    EXPECT_EQ(CabLastError().erfOper, 5);
    bool lzx = CabAddFile(h, a, "lzx", ctLzx, 17, false);
    if (!lzx) {
        EXPECT_EQ(CabLastError().erfOper, 5);
    }
    // A plain window exponent, as the component passes for every method: the defaults.
    ASSERT_TRUE(CabAddFile(h, a, "q", ctQuantum, 17, false));
    ASSERT_TRUE(CabAddFile(h, a, "n", ctNone, 0, false));
    ASSERT_TRUE(CabFlush(h, false));
    CabDestroy(h);
    CabImage cab = CabImage::Load(work / "out.cab");
    ASSERT_TRUE(cab.ok()) << cab.ProblemText();
    if (lzx) {
        EXPECT_EQ(cab.folders[cab.Find("lzx")->folder].type, 0x1103);
    }
    EXPECT_EQ(cab.folders[cab.Find("n")->folder].type, 0);
    EXPECT_EQ(cab.folders[cab.Find("q")->folder].type, 0x1572);
}

TEST_F(IntfTest, ProgressOfAHundredMillionByteFile) {
    std::string big = work / "big";
    testutil::WriteFile(big, "");
    fs::resize_file(big, 100000000); // zeros, cheap to store
    HCabContext h = Create();
    ASSERT_TRUE(CabAddFile(h, big, "big", ctMsZip, 0, false));
    ASSERT_FALSE(g.progress.empty());
    int last = -1;
    bool half = false;
    for (std::size_t k = 0; k < g.progress.size(); ++k) {
        EXPECT_EQ(g.progress[k].first, big);
        long long expected = static_cast<long long>(k + 1) * 32768 * 100 / 100000000;
        EXPECT_EQ(g.progress[k].second, expected) << k;
        EXPECT_GE(g.progress[k].second, last);
        if (last < 50 && g.progress[k].second >= 50) half = g.progress[k].second == 50;
        last = g.progress[k].second;
    }
    EXPECT_TRUE(half) << "half of the file gives 50";
    // The last, short block leaves with the flush, whose status is not relayed.
    std::size_t before = g.progress.size();
    ASSERT_TRUE(CabFlush(h, false));
    EXPECT_EQ(g.progress.size(), before);
    CabDestroy(h);
}

TEST_F(IntfTest, BlocksMakingUpTheWholeFileGiveAHundred) {
    std::string a = File("a", testutil::RandomBytes(3 * 32768, 9));
    HCabContext h = Create();
    ASSERT_TRUE(CabAddFile(h, a, "a", ctMsZip, 0, false));
    ASSERT_EQ(g.progress.size(), 3u);
    EXPECT_EQ(g.progress[0].second, 33);
    EXPECT_EQ(g.progress[1].second, 66);
    EXPECT_EQ(g.progress[2].second, 100);
    ASSERT_TRUE(CabFlush(h, false));
    CabDestroy(h);
}

TEST_F(IntfTest, BlockReportedForAnEmptyFileGivesAHundred) {
    std::string a = File("a", std::string(1000, 'a'));
    std::string empty = File("empty", "");
    HCabContext h = Create();
    ASSERT_TRUE(CabAddFile(h, a, "a", ctMsZip, 0, false));
    EXPECT_TRUE(g.progress.empty());
    // The change of compression closes a's folder while the empty file is added.
    ASSERT_TRUE(CabAddFile(h, empty, "empty", ctNone, 0, false));
    ASSERT_EQ(g.progress.size(), 1u);
    EXPECT_EQ(g.progress[0].first, empty);
    EXPECT_EQ(g.progress[0].second, 100);
    ASSERT_TRUE(CabFlush(h, false));
    CabDestroy(h);
}

TEST_F(IntfTest, AbortAndExceptionInTheProgressRelay) {
    std::string a = File("a", testutil::RandomBytes(100000, 2));
    HCabContext h = Create();
    g.abortProgress = true;
    EXPECT_FALSE(CabAddFile(h, a, "a", ctMsZip, 0, false));
    EXPECT_EQ(CabLastError().erfOper, 7);
    EXPECT_EQ(CabErrorText(7), "User abort");
    g.abortProgress = false;
    g.throwProgress = true;
    EXPECT_FALSE(CabAddFile(h, a, "a", ctMsZip, 0, false));
    EXPECT_EQ(CabLastError().erfOper, 7);
    EXPECT_TRUE(CabDestroy(h));
    EXPECT_TRUE(TempFiles(temp.path()).empty());
}

TEST_F(IntfTest, NextCabinetRelayNamesTheSet) {
    std::string a = File("a", testutil::RandomBytes(120000, 3));
    HCabContext h = Create("part1.cab", 30000);
    ASSERT_TRUE(CabAddFile(h, a, "a", ctMsZip, 0, false));
    ASSERT_TRUE(CabFlush(h, false));
    CabDestroy(h);
    ASSERT_GE(g.cabNos.size(), 3u);
    // Cabinets and folders were written inside the add, yet only its four
    // blocks reached the progress relay (the folder crossed into another
    // cabinet, so it was closed as soon as the file was in).
    ASSERT_EQ(g.progress.size(), 4u);
    EXPECT_EQ(g.progress[2].second, 3 * 32768 * 100 / 120000);
    EXPECT_EQ(g.progress[3].second, 100);
    for (std::size_t i = 0; i < g.cabNos.size(); ++i) {
        EXPECT_EQ(g.cabNos[i], static_cast<int>(i) + 2);
        // The relay's disk number went into the interface and comes back next time.
        EXPECT_EQ(g.diskNos[i], i == 0 ? 1 : static_cast<int>(i + 1) * 100);
    }
    cabtest::Extraction set = cabtest::ExtractWithLibmspack(work / "part1.cab");
    EXPECT_TRUE(set.ok) << set.log;
    EXPECT_EQ(set.files["a"], testutil::ReadFile(a));
    CabImage second = CabImage::Load(work / "part2.cab");
    EXPECT_TRUE(second.ok()) << second.ProblemText();
    EXPECT_EQ(second.prevCab, "part1.cab");
    EXPECT_EQ(second.nextDisk, "Disk 3");
}

TEST_F(IntfTest, NextCabinetRelayAbortsOrGivesAnUnusableName) {
    std::string a = File("a", testutil::RandomBytes(120000, 4));
    HCabContext h = Create("part1.cab", 30000);
    g.abortNext = true;
    EXPECT_FALSE(CabAddFile(h, a, "a", ctMsZip, 0, false));
    EXPECT_EQ(CabLastError().erfOper, 7);
    CabDestroy(h);
    EXPECT_FALSE(fs::exists(work / "part1.cab"));

    g = Relays{};
    g.longName = std::string(300, 'n') + ".cab";
    h = Create("other1.cab", 30000);
    EXPECT_FALSE(CabAddFile(h, a, "a", ctMsZip, 0, false));
    EXPECT_EQ(CabLastError().erfOper, 6);
    CabDestroy(h);
    EXPECT_TRUE(TempFiles(temp.path()).empty());
}

TEST_F(IntfTest, GivingUpRemovesOnlyTheVeryCabinetsWritten) {
    std::string big = File("big.bin", testutil::RandomBytes(100000, 7));
    HCabContext h = Create("out.cab", 30000);
    ASSERT_NE(h, nullptr);
    ASSERT_TRUE(CabAddFile(h, big, "big.bin", ctNone, 0, false));
    ASSERT_TRUE(fs::exists(work / "part2.cab"));
    ASSERT_TRUE(fs::exists(work / "part3.cab"));
    EXPECT_EQ(CabLastCabinet(h), work / "part3.cab");
    // Files of the same names took the place of the first two cabinets (as
    // on another disk put in; the second even under the number of the file
    // deleted before it): they are not ours and stay, and those two cabinets
    // are named as out of reach.
    testutil::WriteFile(work / "other", "another disk's file");
    fs::rename(work / "other", work / "out.cab");
    fs::remove(work / "part2.cab");
    testutil::WriteFile(work / "part2.cab", "made since");
    EXPECT_EQ(CabRemoveWritten(h),
              (std::vector<std::string>{work / "out.cab", work / "part2.cab"}));
    EXPECT_EQ(testutil::ReadFile(work / "out.cab"), "another disk's file");
    EXPECT_EQ(testutil::ReadFile(work / "part2.cab"), "made since");
    EXPECT_FALSE(fs::exists(work / "part3.cab"));
    EXPECT_TRUE(CabRemoveWritten(h).empty()); // nothing is tried twice
    CabDestroy(h);
}

#ifndef _WIN32 // pipes and devices of this kind are POSIX things
TEST_F(IntfTest, OnlyRegularFilesAreOpenedForStoring) {
    std::string fifo = work / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    HCabContext h = Create();
    // Opening the pipe would wait for a writer that never comes.
    for (const std::string& odd : {fifo, std::string("/dev/zero")}) {
        EXPECT_FALSE(CabAddFile(h, odd, "odd", ctMsZip, 0, false)) << odd;
        EXPECT_EQ(CabLastError().erfOper, 1) << odd;
        EXPECT_NE(CabLastError().erfType, 0) << odd;
    }
    CabDestroy(h);
}
#endif

TEST_F(IntfTest, SourcesThatCannotBeStored) {
    HCabContext h = Create();
    EXPECT_FALSE(CabAddFile(h, work / "missing", "missing", ctMsZip, 0, false));
    EXPECT_EQ(CabLastError().erfOper, 1);
    EXPECT_EQ(CabLastError().erfType, kFileMissing);
    EXPECT_EQ(CabErrorText(1), "Failure opening file to be stored in cabinet");
    EXPECT_FALSE(CabAddFile(h, work.path(), "folder", ctMsZip, 0, false));
    EXPECT_EQ(CabLastError().erfOper, 1);
    // Files of 4 GiB and more (and any above the format's folder size) are
    // refused, never stored cut short.
    for (std::uintmax_t size : {0x80000000ull, 0x100000010ull, 0x140000000ull}) {
        std::string huge = work / "huge";
        testutil::WriteFile(huge, "");
        fs::resize_file(huge, size);
        EXPECT_FALSE(CabAddFile(h, huge, "huge", ctMsZip, 0, false)) << size;
        EXPECT_EQ(CabLastError().erfOper, 1) << size;
        fs::remove(huge);
    }
    std::string ok = File("ok", "fine");
    ASSERT_TRUE(CabAddFile(h, ok, "ok", ctMsZip, 0, false));
    ASSERT_TRUE(CabFlush(h, false));
    CabDestroy(h);
    CabImage cab = CabImage::Load(work / "out.cab");
    ASSERT_TRUE(cab.ok()) << cab.ProblemText();
    EXPECT_EQ(cab.files.size(), 1u);
}

TEST_F(IntfTest, MissingTemporaryFolder) {
    testutil::SetEnv(testutil::TempFolderVariable(), work / "nowhere");
    EXPECT_EQ(Create(), nullptr);
    EXPECT_EQ(CabLastError().erfOper, 4);
    EXPECT_EQ(CabErrorText(4), "Could not create a temporary file");
}

TEST_F(IntfTest, ErrorTextsAndBadHandles) {
    EXPECT_EQ(CabErrorText(0), "No error");
    EXPECT_EQ(CabErrorText(2), "Failure reading file to be stored in cabinet");
    EXPECT_EQ(CabErrorText(3), "Out of memory during compression");
    EXPECT_EQ(CabErrorText(8), "Failure compressing data");
    EXPECT_EQ(CabErrorText(9), "Unknown error!");
    EXPECT_EQ(CabErrorText(-1), "Unknown error!");
    EXPECT_FALSE(CabAddFile(nullptr, "x", "x", ctMsZip, 0, false));
    EXPECT_FALSE(CabFlush(nullptr, false));
    EXPECT_FALSE(CabDestroy(nullptr));
}

} // namespace
