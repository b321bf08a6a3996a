// File selection on a real temporary tree.
#include "Platform.h"
#include "TestUtil.h"
#include "vFileSel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <sys/stat.h>

namespace fs = std::filesystem;
using Files = std::vector<std::pair<std::string, std::string>>; // source, name in cabinet

// A path of the tests written with '/', with the platform's separator.
std::string N(std::string path) {
    std::replace(path.begin(), path.end(), '/', plat::PathSep);
    return path;
}
// Links in the tree (one to a plain file is selected): Linux only.
#ifdef _WIN32
constexpr std::size_t kLinkedFiles = 0;
#else
constexpr std::size_t kLinkedFiles = 1;
#endif

namespace {

class FileSelTest : public ::testing::Test {
  protected:
    testutil::TempDir dir{"filesel"};
    std::string root = dir.path() + plat::PathSep;

    void SetUp() override {
        for (const char* f : {"a.txt", "B.TXT", "noext", ".hidden.txt", "x.dat", "sub1/c.txt",
                              "sub1/deep/d.txt", "sub2/e.txt", ".hid/h.txt", "folder.txt/f.txt"}) {
            fs::create_directories(fs::path(dir / f).parent_path());
            testutil::WriteFile(dir / f, f);
        }
#ifndef _WIN32 // links and pipes in a folder are a Linux matter
        fs::create_directory_symlink(dir / "sub2", dir / "linkdir");
        fs::create_symlink(dir / "a.txt", dir / "linkfile.txt");
        fs::create_symlink(dir / "missing", dir / "dangling.txt");
        ASSERT_EQ(::mkfifo((dir / "pipe.txt").c_str(), 0600), 0);
#endif
    }

    Files Add(const std::string& entry, bool recurse, bool storePath = false,
              bool partialPath = false) {
        std::string folder, mask;
        SplitEntry(entry, folder, mask);
        Files got;
        TFileSelTarget t;
        t.StorePath = storePath;
        t.PartialPath = partialPath;
        t.AddFile = [&](const std::string& s, const std::string& n) { got.emplace_back(s, n); };
        AddMatchingFiles(mask, folder, recurse, folder, t);
        EXPECT_EQ(CountFiles(mask, folder, recurse), static_cast<std::int32_t>(got.size()));
        return got;
    }

    // The walk as the listing gives it: entered subfolders first, then the
    // folder's files; the links that lead nowhere and the pipe are the files
    // this tree holds that must never be taken.
    void Expected(const std::string& folder, const std::string& mask, Files& out) {
        static const std::set<std::string> never{"dangling.txt", "pipe.txt"};
        std::vector<plat::DirEntry> es;
        ASSERT_TRUE(plat::ListFolder(folder, es));
        for (const auto& e : es)
            if (e.isFolder && !e.hidden) Expected(folder + e.name + plat::PathSep, mask, out);
        for (const auto& e : es)
            if (!e.isFolder && !never.count(e.name) && plat::MatchMask(e.name, mask))
                out.emplace_back(folder + e.name, e.name);
    }
    // The root as a stored full path: without the drive (Windows) or the
    // leading separator, every separator a backslash.
    std::string StoredRoot() const {
#ifdef _WIN32
        std::string full = root.substr(3);
#else
        std::string full = root.substr(1);
#endif
        for (char& c : full)
            if (c == '/') c = '\\';
        return full;
    }
};

std::vector<std::string> Sources(const Files& files) {
    std::vector<std::string> v;
    for (const auto& f : files)
        v.push_back(f.first);
    return v;
}

TEST(EntryTest, SplitAtTheLastSeparator) {
    std::string folder, mask;
    SplitEntry("/data/in/*.txt", folder, mask);
    EXPECT_EQ(folder, "/data/in/");
    EXPECT_EQ(mask, "*.txt");
    SplitEntry("*.txt", folder, mask);
    EXPECT_EQ(folder, "");
    EXPECT_EQ(mask, "*.txt");
    SplitEntry("/data/in/", folder, mask);
    EXPECT_EQ(folder, "/data/in/");
    EXPECT_EQ(mask, "");
#ifdef _WIN32
    // Both slashes separate there.
    SplitEntry("rel/a\\b*.txt", folder, mask);
    EXPECT_EQ(folder, "rel/a\\");
    EXPECT_EQ(mask, "b*.txt");
#else
    // A backslash is an ordinary character of a name on this platform.
    SplitEntry("rel/a\\b*.txt", folder, mask);
    EXPECT_EQ(folder, "rel/");
    EXPECT_EQ(mask, "a\\b*.txt");
#endif
}

TEST_F(FileSelTest, WalkFollowsTheListingSubfoldersFirst) {
    Files expected;
    Expected(root, "*.txt", expected);
    Files got = Add(root + "*.txt", true);
    EXPECT_EQ(Sources(got), Sources(expected));

    std::set<std::string> names;
    for (const auto& f : got)
        names.insert(f.first.substr(root.size()));
    // Hidden files yes, hidden folders no; a link to a plain file yes, a link
    // to a folder, a dangling link and a pipe no; a folder is not a file.
    std::set<std::string> want{"a.txt",
                               "B.TXT",
                               ".hidden.txt",
                               N("sub1/c.txt"),
                               N("sub2/e.txt"),
                               N("sub1/deep/d.txt"),
                               N("folder.txt/f.txt")};
    if (kLinkedFiles) want.insert("linkfile.txt");
    EXPECT_EQ(names, want);
    std::vector<std::string> order = Sources(got);
    auto pos = [&](const std::string& n) {
        return std::find(order.begin(), order.end(), root + N(n)) - order.begin();
    };
    EXPECT_LT(pos("sub1/deep/d.txt"), pos("sub1/c.txt"));
    EXPECT_LT(pos("sub1/c.txt"), pos("a.txt"));
    EXPECT_LT(pos("sub2/e.txt"), pos("a.txt"));
}

TEST_F(FileSelTest, MasksAndEntriesWithoutMask) {
    EXPECT_EQ(Add(root + "*.txt", false).size(), 3u + kLinkedFiles);
    EXPECT_EQ(Add(root + "*.*", false).size(), 5u + kLinkedFiles); // noext and x.dat too
    EXPECT_EQ(Sources(Add(root + "?.TxT", false)).size(), 2u);
    EXPECT_TRUE(Add(root + "*.none", true).empty());
    EXPECT_TRUE(Add(root, true).empty());           // empty mask
    EXPECT_TRUE(Add(root + "sub1", false).empty()); // the folder itself is no file
    testutil::WriteFile(dir / "sub2/deep", "x");    // a file named like a folder
    EXPECT_EQ(Sources(Add(root + "deep", true)), std::vector<std::string>{root + N("sub2/deep")});
}

TEST_F(FileSelTest, AbortIsLookedAtBeforeEachFile) {
    Files all = Add(root + "*.txt", true);
    Files got;
    TFileSelTarget t;
    t.Aborted = [&] { return got.size() >= 2; };
    t.AddFile = [&](const std::string& s, const std::string& n) { got.emplace_back(s, n); };
    AddMatchingFiles("*.txt", root, true, root, t);
    EXPECT_EQ(got, Files(all.begin(), all.begin() + 2));
}

TEST_F(FileSelTest, StoredNamesForEachSwitchCombination) {
    const std::string full = StoredRoot();
    struct Case {
        bool store, partial;
        std::string deep, top;
    } cases[] = {
        {false, false, "d.txt", "a.txt"},
        {false, true, "d.txt", "a.txt"},
        {true, true, "sub1\\deep\\d.txt", "a.txt"},
        {true, false, full + "sub1\\deep\\d.txt", full + "a.txt"},
    };
    for (const Case& c : cases) {
        std::set<std::string> names;
        for (const auto& f : Add(root + "*.txt", true, c.store, c.partial))
            names.insert(f.second);
        EXPECT_TRUE(names.count(c.deep)) << c.store << c.partial << " " << c.deep;
        EXPECT_TRUE(names.count(c.top)) << c.store << c.partial << " " << c.top;
    }
}

TEST_F(FileSelTest, RelativeEntriesAndNamesThatWouldClimbOut) {
    fs::path before = fs::current_path();
    fs::current_path(dir.path());
    Files plain = Add("*.dat", false, true, false);
    Files sub = Add("sub1/*.txt", true, true, false);
    Files partial = Add("sub1/*.txt", true, true, true);
    fs::current_path(before);
    EXPECT_EQ(plain, (Files{{"x.dat", "x.dat"}}));
    EXPECT_EQ(sub, (Files{{"sub1/" + N("deep/d.txt"), "sub1\\deep\\d.txt"},
                          {"sub1/c.txt", "sub1\\c.txt"}}));
    EXPECT_EQ(partial,
              (Files{{"sub1/" + N("deep/d.txt"), "deep\\d.txt"}, {"sub1/c.txt", "c.txt"}}));
    EXPECT_EQ(NameInCabinet("../in/./a.txt", "a.txt", "../in/./", true, false), "in\\a.txt");
    EXPECT_EQ(NameInCabinet("//srv/a.txt", "a.txt", "//srv/", true, false), "srv\\a.txt");
}

TEST_F(FileSelTest, DotDotInAnEntryNamesTheFolderTheFileIsIn) {
    // The entry reaches the root's own files through sub1/..: they are stored
    // under the root's path, where they are, not under sub1.
    const std::string full = StoredRoot();
    EXPECT_EQ(Add(root + "sub1/../*.dat", false, true, false),
              (Files{{root + "sub1/../x.dat", full + "x.dat"}}));
    EXPECT_EQ(NameInCabinet("/in/sub/.//../top.txt", "top.txt", "/in/sub/", true, false),
              "in\\top.txt");
    EXPECT_EQ(NameInCabinet("/in/a/../../../../etc/x", "x", "/in/a/", true, false), "etc\\x");
}

} // namespace
