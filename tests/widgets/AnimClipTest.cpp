// The clips as a Qt widget: its size, its timer and the frames it draws.
#include "AnimClip.h"

#include <gtest/gtest.h>

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
        const QSize size(ClipSize(clip).width, ClipSize(clip).height);
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
