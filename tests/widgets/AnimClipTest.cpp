#include "AnimClip.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<int> Steps(TAnimate& anim, int count) {
    std::vector<int> frames;
    for (int i = 0; i < count; ++i) {
        anim.NextFrame();
        frames.push_back(anim.CurrentFrame());
    }
    return frames;
}

} // namespace

TEST(AnimClip, FrameCountsCoverTheRangesTheWindowsPlay) {
    EXPECT_EQ(ClipFrameCount(aviCopyFile), 27);
    EXPECT_EQ(ClipFrameCount(aviCopyFiles), 34);
    EXPECT_EQ(ClipFrameCount(aviFindFolder), 30);
    EXPECT_EQ(ClipFrameCount(aviDeleteFile), 25);
    EXPECT_GT(ClipFrameCount(aviFindFile), 0);
    EXPECT_GT(ClipFrameCount(aviFindComputer), 0);
    EXPECT_EQ(ClipFrameCount(aviNone), 0);
}

TEST(AnimClip, ChoosingAClipSelectsItsWholeRange) {
    TAnimate anim;
    anim.SetCommonAVI(aviCopyFiles);
    EXPECT_EQ(anim.StartFrame(), 0);
    EXPECT_EQ(anim.StopFrame(), 33);
    EXPECT_EQ(anim.sizeHint(), QSize(272, 60));
    anim.SetStopFrame(100);
    EXPECT_EQ(anim.StopFrame(), 33);
    anim.SetStartFrame(-4);
    EXPECT_EQ(anim.StartFrame(), 0);
}

TEST(AnimClip, LoopsOverItsRange) {
    TAnimate anim;
    anim.SetCommonAVI(aviCopyFile);
    anim.SetStartFrame(0);
    anim.SetStopFrame(26);
    anim.SetActive(true);
    EXPECT_EQ(anim.CurrentFrame(), 0);
    const std::vector<int> frames = Steps(anim, 28);
    EXPECT_EQ(frames[25], 26);
    EXPECT_EQ(frames[26], 0);
    EXPECT_EQ(frames[27], 1);
    EXPECT_TRUE(anim.Active());

    anim.Play(5, 7, 0);
    EXPECT_EQ(anim.CurrentFrame(), 5);
    EXPECT_EQ(Steps(anim, 5), (std::vector<int>{6, 7, 5, 6, 7}));
}

TEST(AnimClip, RepetitionsStopAtTheLastFrame) {
    TAnimate anim;
    anim.SetCommonAVI(aviFindFolder);
    anim.Play(2, 4, 2);
    EXPECT_EQ(Steps(anim, 6), (std::vector<int>{3, 4, 2, 3, 4, 4}));
    EXPECT_FALSE(anim.Active());
}

TEST(AnimClip, StopKeepsTheFrameAndPlayStartsOver) {
    TAnimate anim;
    anim.SetCommonAVI(aviDeleteFile);
    anim.SetActive(true);
    Steps(anim, 3);
    anim.Stop();
    EXPECT_FALSE(anim.Active());
    anim.NextFrame();
    EXPECT_EQ(anim.CurrentFrame(), 3);
    anim.SetActive(true);
    EXPECT_EQ(anim.CurrentFrame(), 0);
    anim.Seek(12);
    EXPECT_FALSE(anim.Active());
    EXPECT_EQ(anim.CurrentFrame(), 12);
}

TEST(AnimClip, NoClipCannotPlay) {
    TAnimate anim;
    anim.SetActive(true);
    EXPECT_FALSE(anim.Active());
    anim.SetCommonAVI(aviCopyFile);
    anim.SetActive(true);
    anim.SetCommonAVI(aviNone);
    EXPECT_FALSE(anim.Active());
}

TEST(AnimClip, SwitchingClipsWhilePlayingPlaysTheNewOne) {
    TAnimate anim;
    anim.SetCommonAVI(aviCopyFile);
    anim.SetActive(true);
    Steps(anim, 10);
    anim.SetCommonAVI(aviFindFile);
    EXPECT_TRUE(anim.Active());
    EXPECT_EQ(anim.CurrentFrame(), 0);
    EXPECT_EQ(anim.StopFrame(), ClipFrameCount(aviFindFile) - 1);
}

TEST(AnimClip, TimerRunsOnlyWhilePlayingAndVisible) {
    TAnimate anim;
    anim.SetCommonAVI(aviFindFolder);
    anim.SetActive(true);
    EXPECT_FALSE(anim.Ticking());
    anim.show();
    EXPECT_TRUE(anim.Ticking());
    anim.Stop();
    EXPECT_FALSE(anim.Ticking());
    anim.SetActive(true);
    anim.hide();
    EXPECT_FALSE(anim.Ticking());
}

TEST(AnimClip, EveryFrameIsDrawnAndMoves) {
    for (TCommonAVI clip :
         {aviFindFolder, aviFindFile, aviFindComputer, aviCopyFiles, aviCopyFile, aviDeleteFile}) {
        TAnimate anim;
        anim.SetCommonAVI(clip);
        const QSize size = ClipSize(clip);
        QImage previous;
        for (int frame = 0; frame < anim.FrameCount(); ++frame) {
            anim.Seek(frame);
            const QImage image = anim.Render(size);
            int opaque = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    opaque += qAlpha(image.pixel(x, y)) > 0;
            EXPECT_GT(opaque, size.width() * size.height() / 20) << clip << " frame " << frame;
            EXPECT_NE(image, previous) << clip << " frame " << frame;
            previous = image;
        }
    }
}
