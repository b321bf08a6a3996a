// The disk change dialog against a scripted volume: a real folder stands for
// the disk in the drive, and the volume reports its free space as a capacity
// less the bytes the folder holds, or -1 while no disk is in.
#include "TestUtil.h"
#include "WorkerJob.h"
#include "uDisk.h"
#include "uErase.h"

#include <gtest/gtest.h>

#include <QTimer>
#include <filesystem>

namespace fs = std::filesystem;
using testutil::TempDir;
using testutil::WriteFile;

using zeqtest::SetJob;

namespace {

struct ScriptedVolume {
    std::string folder;
    bool inserted = true;
    std::int64_t capacity = 10000;
    int queries = 0;

    std::int64_t Free() {
        ++queries;
        if (!inserted) return -1;
        std::int64_t used = 0;
        for (const auto& e : fs::recursive_directory_iterator(folder))
            if (e.is_regular_file()) used += static_cast<std::int64_t>(e.file_size());
        return capacity - used;
    }
    std::size_t Files() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), {}));
    }
    // Takes the disk out and puts another in, holding count files of size bytes.
    void InsertNew(int count, std::size_t size) {
        fs::remove_all(folder);
        fs::create_directories(folder);
        for (int i = 0; i < count; ++i)
            WriteFile(folder + "/old" + std::to_string(i), std::string(size, 'o'));
        inserted = true;
    }
};

class DiskTest : public ::testing::Test {
  protected:
    void SetUp() override {
        volume.folder = dir / "drive";
        volume.InsertNew(2, 3000); // 4000 bytes free
        SetJob(job, &JobSettings::TargetPath, volume.folder);
        job.CurrentPie.Set(volume.folder + "/movie.002");
        job.RequiredSpace.Set(9000);
        SetJob(job, &JobSettings::EraseOption, 1);
        SetJob(job, &JobSettings::CheckInterval, 0);
        disk.FreeSpace = [this](const std::string& path) {
            EXPECT_EQ(path, job.Settings().TargetPath);
            return volume.Free();
        };
        disk.AskAbort = [this] {
            ++questions;
            if (whileAsked) whileAsked();
            return answerYes;
        };
        disk.Beep = [this] { ++beeps; };
    }
    bool Accepted() const { return disk.result() == QDialog::Accepted; }

    TempDir dir{"zeqdisk"};
    ScriptedVolume volume;
    JobState job;
    TErase erase{job};
    TDisk disk{job, erase};
    int questions = 0, beeps = 0;
    bool answerYes = false;
    std::function<void()> whileAsked;
};

TEST_F(DiskTest, PromptTextsAndWayOfCheckingFollowTheJob) {
    EXPECT_EQ(disk.windowTitle().toStdString(), "Velmora Zeq - Change Disk");
    EXPECT_FALSE(disk.windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint));
    EXPECT_EQ(disk.size(), QSize(375, 118));
    EXPECT_EQ(disk.OK->text().toStdString(), "Check !");
    EXPECT_EQ(disk.Cancel->text().toStdString(), "Cancel...");

    disk.Prepare();
    EXPECT_EQ(disk.diskPrompt->text().toStdString(),
              "Please insert a new disk into the following location:");
    EXPECT_EQ(disk.filePrompt->FileName().toStdString(), job.Settings().TargetPath);
    EXPECT_FALSE(disk.OK->isHidden());
    EXPECT_FALSE(disk.Check->isActive());

    job.WritingPies = false;
    SetJob(job, &JobSettings::CheckInterval, 250);
    disk.Prepare();
    EXPECT_EQ(disk.diskPrompt->text().toStdString(),
              "Please insert the disk that contains the file:");
    EXPECT_EQ(disk.filePrompt->FileName().toStdString(), volume.folder + "/movie.002");
    EXPECT_TRUE(disk.OK->isHidden());
    EXPECT_TRUE(disk.Check->isActive());
    EXPECT_EQ(disk.Check->interval(), 250);

    // The timer takes the low 32 bits; none left means the user checks.
    SetJob(job, &JobSettings::CheckInterval, (std::int64_t{1} << 32) + 40);
    EXPECT_EQ(disk.CheckMs(), 40);
    SetJob(job, &JobSettings::CheckInterval, std::int64_t{1} << 32);
    disk.Prepare();
    EXPECT_FALSE(disk.OK->isHidden());
    EXPECT_FALSE(disk.Check->isActive());
}

TEST_F(DiskTest, FreeSpaceEqualToRequiredIsEnoughAndOneByteLessIsNot) {
    SetJob(job, &JobSettings::EraseOption, 0);
    disk.Prepare();
    job.RequiredSpace.Set(4001);
    disk.CheckTimer();
    EXPECT_FALSE(Accepted());
    job.RequiredSpace.Set(4000);
    disk.CheckTimer();
    EXPECT_TRUE(Accepted());
    EXPECT_EQ(volume.Files(), 2u); // no erase with EraseOption 0
}

TEST_F(DiskTest, AutomaticChecksEraseOnlyADiskInsertedAfterTheDriveWasSeenEmpty) {
    SetJob(job, &JobSettings::CheckInterval, 100);
    disk.Prepare();
    for (int i = 0; i < 3; ++i)
        disk.CheckTimer(); // the filled disk stays in: never erased
    EXPECT_EQ(volume.Files(), 2u);
    EXPECT_FALSE(Accepted());
    EXPECT_TRUE(disk.Check->isActive()); // the next check is due

    volume.inserted = false;
    disk.CheckTimer();
    EXPECT_TRUE(disk.NoDiskSeen);
    volume.InsertNew(3, 2000);
    disk.CheckTimer();
    EXPECT_EQ(volume.Files(), 0u);
    EXPECT_FALSE(disk.NoDiskSeen);
    EXPECT_TRUE(Accepted()); // accepted by the check that erased it
}

TEST_F(DiskTest, EveryPressOfCheckErasesAReadableDisk) {
    SetJob(job, &JobSettings::EraseOption, -1);
    fs::create_directories(volume.folder + "/keep");
    WriteFile(volume.folder + "/keep/inner", std::string(5000, 'k'));
    disk.Prepare();
    disk.OK->click();
    EXPECT_EQ(volume.Files(), 1u); // only the subfolder is left
    EXPECT_FALSE(Accepted());      // 5000 free: not enough
    job.RequiredSpace.Set(5000);
    disk.OK->click();
    EXPECT_TRUE(Accepted());
}

TEST_F(DiskTest, ReadingBackAcceptsOnceThePieceExists) {
    job.WritingPies = false;
    disk.Prepare();
    disk.CheckTimer();
    EXPECT_FALSE(Accepted());
    WriteFile(job.CurrentPie.Get(), "pie");
    disk.CheckTimer();
    EXPECT_TRUE(Accepted());
    EXPECT_EQ(volume.Files(), 3u); // reading back never erases
}

TEST_F(DiskTest, AbortDeclinedGoesOnAndConfirmedClosesWithCancel) {
    SetJob(job, &JobSettings::CheckInterval, 100);
    disk.Prepare();
    disk.Cancel->click();
    EXPECT_EQ(questions, 1);
    EXPECT_EQ(disk.result(), 0);
    EXPECT_TRUE(disk.Check->isActive());

    answerYes = true;
    disk.Cancel->click();
    EXPECT_EQ(disk.result(), QDialog::Rejected);
    EXPECT_TRUE(disk.Aborted());
    EXPECT_FALSE(disk.Check->isActive());
}

TEST_F(DiskTest, CheckSucceedingWhileTheQuestionIsUpWaitsForTheAnswer) {
    SetJob(job, &JobSettings::CheckInterval, 100);
    for (bool yes : {false, true}) {
        volume.InsertNew(0, 0);
        disk.Prepare();
        answerYes = yes;
        bool openDuringQuestion = false;
        whileAsked = [&] {
            disk.CheckTimer(); // an automatic check while the box is up finds the disk
            openDuringQuestion = disk.result() == 0;
        };
        disk.Cancel->click();
        EXPECT_TRUE(openDuringQuestion);
        EXPECT_EQ(disk.result(), yes ? QDialog::Rejected : QDialog::Accepted) << yes;
    }
}

TEST_F(DiskTest, DuringAnEraseNoNestedCheckStartsAndAConfirmedAbortWins) {
    volume.InsertNew(20, 100); // the erase would make room enough
    disk.Prepare();
    answerYes = true;
    bool okEnabled = true, erasing = false;
    int queriesInside = -1;
    QTimer::singleShot(0, &disk, [&] {
        erasing = disk.Erasing();
        okEnabled = disk.OK->isEnabled();
        const int before = volume.queries;
        disk.CheckTimer(); // a check from inside the erase does nothing
        queriesInside = volume.queries - before;
        disk.Cancel->click(); // Yes
    });
    disk.OK->click();
    EXPECT_TRUE(erasing);
    EXPECT_FALSE(okEnabled);
    EXPECT_EQ(queriesInside, 0);
    EXPECT_EQ(disk.result(), QDialog::Rejected);
    EXPECT_EQ(volume.Files(), 20u); // the erase stopped before its first file
    EXPECT_TRUE(disk.OK->isEnabled());
}

TEST_F(DiskTest, ModalPromptBeepsOnceAndEndsWithTheAutomaticCheckThatFindsTheDisk) {
    SetJob(job, &JobSettings::CheckInterval, 1);
    SetJob(job, &JobSettings::EraseOption, 0);
    job.RequiredSpace.Set(4000);
    volume.inserted = false;
    // The disk goes in after three checks have found the drive empty.
    disk.FreeSpace = [this](const std::string&) {
        if (volume.queries == 3) volume.inserted = true;
        return volume.Free();
    };
    EXPECT_TRUE(disk.Prompt());
    EXPECT_GE(volume.queries, 4);
    EXPECT_EQ(beeps, 1);
    EXPECT_FALSE(disk.isVisible());
    EXPECT_FALSE(disk.Check->isActive());

    // Escape asks the question too; Yes ends the prompt with false.
    answerYes = true;
    volume.inserted = false;
    QTimer::singleShot(0, &disk, [&] { disk.reject(); });
    EXPECT_FALSE(disk.Prompt());
    EXPECT_EQ(questions, 1);
    EXPECT_EQ(beeps, 2);
}

} // namespace
