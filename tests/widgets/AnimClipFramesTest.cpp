// The clips without a toolkit: their frames as drawing steps and the rules
// of playing them.
#include "AnimClipFrames.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<int> Steps(TClipPlayer& anim, int count) {
    std::vector<int> frames;
    for (int i = 0; i < count; ++i) {
        anim.NextFrame();
        frames.push_back(anim.Frame());
    }
    return frames;
}

} // namespace

TEST(ClipFrames, FrameCountsCoverTheRangesTheWindowsPlay) {
    EXPECT_EQ(ClipFrameCount(aviCopyFile), 27);
    EXPECT_EQ(ClipFrameCount(aviCopyFiles), 34);
    EXPECT_EQ(ClipFrameCount(aviFindFolder), 30);
    EXPECT_EQ(ClipFrameCount(aviDeleteFile), 25);
    EXPECT_GT(ClipFrameCount(aviFindFile), 0);
    EXPECT_GT(ClipFrameCount(aviFindComputer), 0);
    EXPECT_EQ(ClipFrameCount(aviNone), 0);
}

TEST(ClipPlayer, LoopsOverItsRange) {
    TClipPlayer anim;
    anim.SetClip(aviCopyFile);
    anim.SetStartFrame(0);
    anim.SetStopFrame(26);
    anim.SetActive(true);
    EXPECT_EQ(anim.Frame(), 0);
    const std::vector<int> frames = Steps(anim, 28);
    EXPECT_EQ(frames[25], 26);
    EXPECT_EQ(frames[26], 0);
    EXPECT_EQ(frames[27], 1);
    EXPECT_TRUE(anim.Active());

    anim.Play(5, 7, 0);
    EXPECT_EQ(anim.Frame(), 5);
    EXPECT_EQ(Steps(anim, 5), (std::vector<int>{6, 7, 5, 6, 7}));
}

TEST(ClipPlayer, RepetitionsStopAtTheLastFrame) {
    TClipPlayer anim;
    anim.SetClip(aviFindFolder);
    anim.Play(2, 4, 2);
    EXPECT_EQ(Steps(anim, 6), (std::vector<int>{3, 4, 2, 3, 4, 4}));
    EXPECT_FALSE(anim.Active());
}

TEST(ClipPlayer, StopKeepsTheFrameAndPlayStartsOver) {
    TClipPlayer anim;
    anim.SetClip(aviDeleteFile);
    anim.SetActive(true);
    Steps(anim, 3);
    anim.SetActive(false);
    EXPECT_FALSE(anim.Active());
    anim.NextFrame();
    EXPECT_EQ(anim.Frame(), 3);
    anim.SetActive(true);
    EXPECT_EQ(anim.Frame(), 0);
    anim.Seek(12);
    EXPECT_FALSE(anim.Active());
    EXPECT_EQ(anim.Frame(), 12);
}

TEST(ClipPlayer, NoClipCannotPlay) {
    TClipPlayer anim;
    anim.SetActive(true);
    EXPECT_FALSE(anim.Active());
    anim.SetClip(aviCopyFile);
    anim.SetActive(true);
    anim.SetClip(aviNone);
    EXPECT_FALSE(anim.Active());
}

TEST(ClipPlayer, SwitchingClipsWhilePlayingPlaysTheNewOne) {
    TClipPlayer anim;
    anim.SetClip(aviCopyFile);
    anim.SetActive(true);
    Steps(anim, 10);
    anim.SetClip(aviFindFile);
    EXPECT_TRUE(anim.Active());
    EXPECT_EQ(anim.Frame(), 0);
    EXPECT_EQ(anim.StopFrame(), ClipFrameCount(aviFindFile) - 1);
}
