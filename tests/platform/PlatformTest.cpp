#include "Platform.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#ifdef _WIN32
#include <windows.h>
// The test calls the platform's functions of these names, never the macros.
#undef DeleteFile
#undef CopyFile
#undef GetFileAttributes
#else
#include <sys/stat.h>
#endif

namespace fs = std::filesystem;

namespace {

struct TempDir : testutil::TempDir {
    TempDir() : testutil::TempDir("plat") {}
};

// The text the system gives for a missing file.
std::string MissingFileText() {
#ifdef _WIN32
    return plat::ErrorText(2); // ERROR_FILE_NOT_FOUND
#else
    return "No such file or directory";
#endif
}

TEST(MaskTest, WildcardsAndCase) {
    EXPECT_TRUE(plat::MatchMask("Report.TXT", "*.txt"));
    EXPECT_TRUE(plat::MatchMask("a.b.c", "*.c"));
    EXPECT_TRUE(plat::MatchMask("abc", "a?c"));
    EXPECT_FALSE(plat::MatchMask("ac", "a?c"));
    EXPECT_FALSE(plat::MatchMask("abcd", "a?c"));
    EXPECT_TRUE(plat::MatchMask("anything", "*"));
    EXPECT_FALSE(plat::MatchMask("x.txt", "*.doc"));
    EXPECT_FALSE(plat::MatchMask("x", ""));
}

TEST(MaskTest, StarDotStarMatchesNamesWithoutDot) {
    EXPECT_TRUE(plat::MatchMask("Makefile", "*.*"));
    EXPECT_TRUE(plat::MatchMask("a.b", "*.*"));
    EXPECT_TRUE(plat::MatchMask(".hidden", "*.*"));
    EXPECT_TRUE(plat::MatchMask("readme", "read*.*"));
    EXPECT_FALSE(plat::MatchMask("other", "read*.*"));
}

TEST(FileTest, WriteReadSeekAndSize) {
    TempDir d;
    plat::File f;
    ASSERT_TRUE(f.Open(d / "a.bin", plat::OpenMode::CreateNew));
    EXPECT_EQ(plat::WriteFile(f.Handle(), "hello world", 11), 11);
    EXPECT_EQ(plat::SeekFile(f.Handle(), 6, plat::SeekFrom::Begin), 6);
    char buf[8] = {};
    EXPECT_EQ(plat::ReadFile(f.Handle(), buf, sizeof buf), 5);
    EXPECT_STREQ(buf, "world");
    EXPECT_EQ(plat::FileSize(f.Handle()), 11);
    EXPECT_TRUE(f.Close());
    EXPECT_EQ(plat::FileSizeOf(d / "a.bin"), 11);

    plat::File again;
    EXPECT_FALSE(again.Open(d / "a.bin", plat::OpenMode::CreateNew)) << "exclusive creation";
    EXPECT_FALSE(plat::LastErrorText().empty());
}

TEST(FileTest, FailuresCarryTheSystemText) {
    TempDir d;
    EXPECT_EQ(plat::OpenFile(d / "missing", plat::OpenMode::Read), plat::InvalidFile);
    EXPECT_EQ(plat::LastErrorText(), MissingFileText());
    EXPECT_EQ(plat::OpenFile(d.path(), plat::OpenMode::Read), plat::InvalidFile)
        << "a folder is not a file";
    EXPECT_FALSE(plat::DeleteFile(d.path()));
}

#ifndef _WIN32 // symbolic links, pipes and /proc belong to Linux
TEST(FileTest, DeleteRemovesALinkNotItsTarget) {
    TempDir d;
    std::ofstream(d / "target") << "keep";
    fs::create_symlink(d / "target", d / "link");
    EXPECT_TRUE(plat::DeleteFile(d / "link"));
    EXPECT_TRUE(plat::FileExists(d / "target"));
    EXPECT_FALSE(plat::PathExists(d / "link"));
}
#endif

#ifndef _WIN32 // symbolic links, pipes and /proc belong to Linux
TEST(FileTest, RegularFilesOnlyThroughLinks) {
    TempDir d;
    std::ofstream(d / "plain") << "x";
    fs::create_directory(d / "dir");
    fs::create_symlink(d / "plain", d / "toPlain");
    fs::create_directory_symlink(d / "dir", d / "toDir");
    fs::create_symlink(d / "gone", d / "dangling");
    ASSERT_EQ(::mkfifo((d / "pipe").c_str(), 0600), 0);
    EXPECT_TRUE(plat::IsRegularFile(d / "plain"));
    EXPECT_TRUE(plat::IsRegularFile(d / "toPlain"));
    EXPECT_FALSE(plat::IsRegularFile(d / "dir"));
    EXPECT_FALSE(plat::IsRegularFile(d / "toDir"));
    EXPECT_FALSE(plat::IsRegularFile(d / "dangling"));
    EXPECT_FALSE(plat::IsRegularFile(d / "pipe"));
    EXPECT_FALSE(plat::IsRegularFile(d / "missing"));
}
#endif

TEST(FileTest, CopyWholeFileAndRespectFailIfExists) {
    TempDir d;
    std::string big(3 << 20, 'x');
    big[12345] = 'y';
    std::ofstream(d / "src", std::ios::binary) << big;
    ASSERT_TRUE(plat::CopyFile(d / "src", d / "dst", true));
    std::ifstream in(d / "dst", std::ios::binary);
    std::string copy((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(copy, big);
    EXPECT_FALSE(plat::CopyFile(d / "src", d / "dst", true));
    EXPECT_TRUE(plat::CopyFile(d / "src", d / "dst", false));
}

#ifndef _WIN32 // symbolic links, pipes and /proc belong to Linux
TEST(FileTest, CopyThatCannotReadLeavesNoHalfCopy) {
    TempDir d;
    // Reading this process's memory at offset 0 fails with an input/output error.
    EXPECT_FALSE(plat::CopyFile("/proc/self/mem", d / "dst", false));
    EXPECT_FALSE(plat::PathExists(d / "dst"));
    EXPECT_FALSE(plat::LastErrorText().empty());
}
#endif

#ifndef _WIN32 // symbolic links, pipes and /proc belong to Linux
TEST(FolderTest, ListingMarksLinksHiddenAndFolders) {
    TempDir d;
    fs::create_directory(d / "sub");
    std::ofstream(d / ".hid") << "";
    fs::create_directory_symlink("/", d / "root");
    std::vector<plat::DirEntry> entries;
    ASSERT_TRUE(plat::ListFolder(d.path(), entries));
    ASSERT_EQ(entries.size(), 3u);
    for (const auto& e : entries) {
        if (e.name == "sub") {
            EXPECT_TRUE(e.isFolder && !e.isLink);
        } else if (e.name == ".hid") {
            EXPECT_TRUE(e.hidden && !e.isFolder);
        } else {
            EXPECT_TRUE(e.isLink && !e.isFolder);
        }
    }
}
#endif

#ifndef _WIN32 // symbolic links, pipes and /proc belong to Linux
TEST(FolderTest, HeldFolderNeverEntersOrDeletesThroughALink) {
    TempDir d;
    fs::create_directory(d / "outside");
    std::ofstream(d / "outside/keep") << "x";
    fs::create_directory(d / "t");
    fs::create_directory(d / "t/sub");
    plat::Folder top;
    ASSERT_TRUE(top.Open(d / "t"));
    plat::Folder sub;
    EXPECT_TRUE(sub.OpenChild(top, "sub"));
    sub.Close();

    // The folder is swapped for a link after it was listed: entering it fails.
    fs::remove(d / "t/sub");
    fs::create_directory_symlink(d / "outside", d / "t/sub");
    EXPECT_FALSE(sub.OpenChild(top, "sub"));
    EXPECT_FALSE(top.RemoveFolder("sub"));
    EXPECT_TRUE(top.DeleteFile("sub")) << "the link itself goes";
    EXPECT_TRUE(plat::FileExists(d / "outside/keep"));

    fs::create_directory(d / "t/real");
    EXPECT_FALSE(top.DeleteFile("real")) << "never a folder";
    EXPECT_TRUE(top.RemoveFolder("real"));
    std::vector<plat::DirEntry> entries;
    ASSERT_TRUE(top.List(entries));
    EXPECT_TRUE(entries.empty());
}
#endif

TEST(VolumeTest, MissingFolderGivesMinusOne) {
    TempDir d;
    EXPECT_EQ(plat::VolumeFree(d / "nope"), -1);
    EXPECT_EQ(plat::VolumeTotal(d / "nope"), -1);
    EXPECT_GT(plat::VolumeTotal(d.path()), 0);
    EXPECT_GE(plat::VolumeTotal(d.path()), plat::VolumeFree(d.path()));
}

// A dialog that waits for a disk turns the system's critical-error box off
// while it is up and brings back whatever mode was in force before.
TEST(VolumeTest, QuietCriticalErrorsUntilTheEarlierModeIsBack) {
    const unsigned before = plat::QuietCriticalErrors();
    const unsigned during = plat::QuietCriticalErrors();
    plat::RestoreErrorMode(before);
    const unsigned after = plat::QuietCriticalErrors();
    plat::RestoreErrorMode(before);
#ifdef _WIN32
    EXPECT_EQ(during & SEM_FAILCRITICALERRORS, unsigned(SEM_FAILCRITICALERRORS));
#else
    EXPECT_EQ(during, 0u); // nothing to quieten here
#endif
    EXPECT_EQ(after, before);
}

TEST(InfoTest, DosTimeAndAttributes) {
    TempDir d;
    std::ofstream(d / ".ro") << "x";
    fs::permissions(d / ".ro", fs::perms::owner_read);
#ifdef _WIN32 // hidden is an attribute there, not a leading dot
    ASSERT_TRUE(::SetFileAttributesA((d / ".ro").c_str(), 0x03));
#endif
    std::uint32_t a = 0;
    ASSERT_TRUE(plat::GetFileAttributes(d / ".ro", a));
    EXPECT_EQ(a & 0x01, 0x01u);
    EXPECT_EQ(a & 0x22, 0x22u);

    plat::File f;
    ASSERT_TRUE(f.Open(d / ".ro", plat::OpenMode::Read));
    plat::FileInfo info;
    ASSERT_TRUE(plat::GetFileInfo(f.Handle(), info));
    EXPECT_EQ(info.size, 1);
    EXPECT_GE(info.dosDate >> 9, 2024 - 1980);
}

TEST(TempTest, UniqueFilesWithPrefix) {
    std::string a = plat::MakeTempFile(plat::TempFolder(), "vFw");
    std::string b = plat::MakeTempFile(plat::TempFolder(), "vFw");
    ASSERT_FALSE(a.empty());
    EXPECT_NE(a, b);
    EXPECT_NE(a.find(std::string(1, plat::PathSep) + "vFw"), std::string::npos);
    EXPECT_TRUE(plat::DeleteFile(a));
    EXPECT_TRUE(plat::DeleteFile(b));
    EXPECT_EQ(plat::ProgramFolder().back(), plat::PathSep);
}

#ifdef _WIN32
// Windows keeps an open file and a held folder in place: what the programs open
// for reading may be read alongside but not written or deleted, and a held
// folder can be neither removed nor renamed under a walk.
TEST(WindowsTest, SharingOfOpenFilesAndHeldFolders) {
    TempDir d;
    std::ofstream(d / "src") << "data";
    plat::File reading;
    ASSERT_TRUE(reading.Open(d / "src", plat::OpenMode::Read));
    plat::File second;
    EXPECT_TRUE(second.Open(d / "src", plat::OpenMode::Read)) << "readers share";
    EXPECT_FALSE(second.Open(d / "src", plat::OpenMode::CreateAlways));
    EXPECT_EQ(plat::LastError(), ERROR_SHARING_VIOLATION);
    EXPECT_FALSE(plat::DeleteFile(d / "src"));
    reading.Close();
    EXPECT_TRUE(plat::DeleteFile(d / "src"));

    fs::create_directories(d / "top/sub");
    plat::Folder top, sub;
    ASSERT_TRUE(top.Open(d / "top"));
    ASSERT_TRUE(sub.OpenChild(top, "sub"));
    EXPECT_FALSE(top.RemoveFolder("sub")) << "held by sub";
    EXPECT_FALSE(::MoveFileA((d / "top\\sub").c_str(), (d / "moved").c_str()));
    std::ofstream(d / "top\\file") << "x";
    EXPECT_FALSE(sub.OpenChild(top, "file")) << "only folders are entered";
    EXPECT_FALSE(top.DeleteFile("sub")) << "never a folder";
    std::vector<plat::DirEntry> entries;
    ASSERT_TRUE(top.List(entries));
    EXPECT_EQ(entries.size(), 2u);
    sub.Close();
    EXPECT_TRUE(top.RemoveFolder("sub"));
    EXPECT_TRUE(top.DeleteFile("file"));
}

TEST(WindowsTest, PathsAndSystemCodes) {
    EXPECT_EQ(plat::PathSep, '\\');
    std::string program = plat::ProgramFolder() + "platform_tests.exe";
    EXPECT_TRUE(plat::FileExists(program)) << program;
    EXPECT_EQ(plat::ErrorNameTooLong(), ERROR_FILENAME_EXCED_RANGE);
    EXPECT_FALSE(plat::ErrorText(ERROR_ACCESS_DENIED).empty());
    EXPECT_GT(plat::VolumeFree(plat::TempFolder()), 0);
    EXPECT_TRUE(plat::SetCurrentThreadPriority(-1));
    EXPECT_TRUE(plat::SetCurrentThreadPriority(0));
}
#endif

} // namespace
