// Cabinet names, folder parts, free space and priority levels.
#include "TestUtil.h"
#include "vUtils.h"

#include <gtest/gtest.h>

#include <climits>

TEST(CabNames, CabExtensionOnlyForANameWithoutDot) {
    EXPECT_EQ(WithCabExtension("/out/backup"), "/out/backup.cab");
    EXPECT_EQ(WithCabExtension("/out/backup.zip"), "/out/backup.zip");
    EXPECT_EQ(WithCabExtension("/out/backup."), "/out/backup.");
    // The dot of the folder does not count.
    EXPECT_EQ(WithCabExtension("/my.folder/backup"), "/my.folder/backup.cab");
    EXPECT_EQ(WithCabExtension("backup"), "backup.cab");
    EXPECT_EQ(WithCabExtension(""), ".cab");
}

TEST(CabNames, FileStemRemovesTheFirstOccurrenceOfTheExtension) {
    EXPECT_EQ(FileStem("/out/backup.cab"), "backup");
    EXPECT_EQ(FileStem("/out/old.cab.new.cab"), "old.new.cab");
    EXPECT_EQ(FileStem("/out/readme"), "readme");
    EXPECT_EQ(FileStem("/my.folder/readme"), "readme");
    EXPECT_EQ(FileStem("/out/archive.tar.gz"), "archive.tar");
    EXPECT_EQ(FileStem("/out/backup."), "backup");
    EXPECT_EQ(FileStem("/out/"), "");
}

TEST(CabNames, FolderAndNameParts) {
    EXPECT_EQ(FolderPart("/out/backup1.cab"), "/out/");
    EXPECT_EQ(FileNamePart("/out/backup1.cab"), "backup1.cab");
    EXPECT_EQ(FolderPart("backup1.cab"), "");
    EXPECT_EQ(FileNamePart("backup1.cab"), "backup1.cab");
    EXPECT_EQ(FolderPart("/out/"), "/out/");
    // A colon names no drive on this platform.
    EXPECT_EQ(FolderPart("c:backup.cab"), "");
}

TEST(FreeSpace, FolderOfTheFileSystemOrMinusOne) {
    testutil::TempDir dir("orvfree");
    EXPECT_GT(DriveFreeSpace(dir.path() + "/"), 0);
    EXPECT_EQ(DriveFreeSpace(dir.path() + "/missing/"), -1);
    // A cabinet path without folder lies in the current folder.
    EXPECT_GT(DriveFreeSpace(""), 0);
}

TEST(Priority, SevenLevelsFromTimeCriticalToIdleAndNormalOtherwise) {
    const int expected[] = {3, 2, 1, 0, -1, -2, -3};
    for (int level = 0; level <= 6; ++level)
        EXPECT_EQ(PriorityOfLevel(level), expected[level]) << level;
    EXPECT_EQ(PriorityOfLevel(7), 0);
    EXPECT_EQ(PriorityOfLevel(-1), 0);
    EXPECT_EQ(PriorityOfLevel(INT_MIN), 0);
    EXPECT_EQ(InitialWorkerPriority, -3);
}

TEST(Messages, FullStopAppendedOnlyWhenMissing) {
    EXPECT_EQ(WithFullStop("Invalid numeric input"), "Invalid numeric input.");
    EXPECT_EQ(WithFullStop("Done."), "Done.");
    EXPECT_EQ(WithFullStop(""), ".");
}
