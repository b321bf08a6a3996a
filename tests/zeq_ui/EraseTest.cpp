// The erase dialog on real folders: what goes, what stays, links, the label
// and the way out of a running erase.
#include "TestUtil.h"
#include "WorkerJob.h"
#include "uErase.h"

#include <gtest/gtest.h>

#include <QTimer>
#include <filesystem>
#include <set>

namespace fs = std::filesystem;
using testutil::TempDir;
using testutil::WriteFile;

using zeqtest::SetJob;

namespace {

// Everything below root, as paths relative to it (links not followed).
std::set<std::string> Tree(const std::string& root) {
    std::set<std::string> names;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::end(it); ++it)
        names.insert(fs::relative(it->path(), root).string());
    return names;
}

class EraseTest : public ::testing::Test {
  protected:
    // A target with a read-only file, hidden files, nested and hidden
    // subfolders, and links to a folder and a file outside it and to nothing.
    void SetUp() override {
        target = dir / "target";
        outside = dir / "outside";
        fs::create_directories(target + "/sub/deeper");
        fs::create_directories(target + "/.hiddensub");
        fs::create_directories(outside);
        WriteFile(outside + "/keep.txt", "outside");
        WriteFile(target + "/plain.bin", "x");
        WriteFile(target + "/readonly.txt", "r");
        fs::permissions(target + "/readonly.txt", fs::perms::owner_read | fs::perms::group_read);
        WriteFile(target + "/.hidden", "h");
        WriteFile(target + "/sub/a.txt", "a");
        WriteFile(target + "/sub/deeper/b.txt", "b");
        WriteFile(target + "/.hiddensub/c.txt", "c");
        fs::create_directory_symlink(outside, target + "/linkdir");
        fs::create_symlink(outside + "/keep.txt", target + "/linkfile");
        fs::create_symlink(dir / "nothing", target + "/dangling");
        SetJob(job, &JobSettings::TargetPath, target);
    }

    void ExpectOutsideUntouched() {
        EXPECT_EQ(Tree(outside), std::set<std::string>{"keep.txt"});
        EXPECT_EQ(testutil::ReadFile(outside + "/keep.txt"), "outside");
    }

    TempDir dir{"zeqerase"};
    std::string target, outside;
    JobState job;
};

TEST_F(EraseTest, PositiveOptionEmptiesTheWholeTreeAndKeepsTheFolder) {
    SetJob(job, &JobSettings::EraseOption, 1);
    TErase erase(job);
    erase.EraseFolder(target);
    EXPECT_TRUE(fs::is_directory(target));
    EXPECT_EQ(Tree(target), std::set<std::string>{});
    ExpectOutsideUntouched();
}

TEST_F(EraseTest, NegativeOptionDeletesOnlyWhatLiesDirectlyInTheFolder) {
    SetJob(job, &JobSettings::EraseOption, -1);
    TErase erase(job);
    erase.EraseFolder(target);
    EXPECT_EQ(Tree(target), (std::set<std::string>{".hiddensub", ".hiddensub/c.txt", "sub",
                                                   "sub/a.txt", "sub/deeper", "sub/deeper/b.txt"}));
    ExpectOutsideUntouched();
}

TEST_F(EraseTest, EraseTargetShowsTheDialogWhileItWorksAndTheLabelFollowsWithinATick) {
    SetJob(job, &JobSettings::EraseOption, 1);
    TErase erase(job);
    EXPECT_EQ(erase.windowTitle().toStdString(), "Velmora Zeq - Erase");
    EXPECT_TRUE(erase.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(erase.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(erase.size(), QSize(330, 122));
    EXPECT_TRUE(erase.Timer1->isActive());
    EXPECT_EQ(erase.Timer1->interval(), 1000);
    EXPECT_EQ(erase.Animate1->CommonAVI(), aviDeleteFile);

    // Window messages are handled during the erase: a posted call runs inside it.
    bool shownWhileErasing = false;
    QTimer::singleShot(0, &erase, [&] { shownWhileErasing = erase.isVisible(); });
    erase.EraseTarget();
    EXPECT_TRUE(shownWhileErasing);
    EXPECT_FALSE(erase.isVisible());
    EXPECT_EQ(Tree(target), std::set<std::string>{});

    const std::string last = erase.CurrentErase();
    EXPECT_EQ(last.rfind(target + "/", 0), 0u) << last;
    EXPECT_TRUE(erase.tDisk->FileName().isEmpty()); // not before the timer's tick
    erase.Timer1Timer();
    EXPECT_EQ(erase.tDisk->FileName().toStdString(), last);
}

TEST_F(EraseTest, StopEndsTheEraseBeforeTheNextFile) {
    SetJob(job, &JobSettings::EraseOption, -1);
    fs::remove_all(target);
    fs::create_directories(target);
    for (int i = 0; i < 10; ++i)
        WriteFile(target + "/f" + std::to_string(i), "x");
    TErase erase(job);
    int asked = 0;
    erase.EraseTarget([&] { return ++asked == 3; });
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(Tree(target).size(), 8u); // two files went before the stop
}

} // namespace
