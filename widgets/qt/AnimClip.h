// TAnimate: a small decoration that plays one of the common clips (copying,
// finding, deleting) in a loop. The frames and the rules of playing are the
// toolkit-free ones of AnimClipFrames; this widget draws the frames with
// QPainter, and its timer advances the frame only while the clip plays and
// the widget is visible, repainting only this widget.
#pragma once

#include "AnimClipFrames.h"

#include <QImage>
#include <QTimer>
#include <QWidget>

// Draws frame number frame of a clip into rect, clipped to it.
void DrawClipFrame(QPainter& painter, TCommonAVI clip, int frame, const QRect& rect);

class TAnimate : public QWidget {
    Q_OBJECT

  public:
    // Milliseconds between frames.
    static constexpr int FrameInterval = 70;

    explicit TAnimate(QWidget* parent = nullptr);
    // Placed at geometry in its parent, showing the first frame of clip.
    TAnimate(QWidget* parent, const QRect& geometry, TCommonAVI clip);

    // Choosing a clip shows its whole frame range and its first frame; a
    // playing animation goes on playing the new clip from its start.
    TCommonAVI CommonAVI() const { return player_.Clip(); }
    void SetCommonAVI(TCommonAVI value);

    int FrameCount() const { return player_.FrameCount(); }

    // The range played, both ends included, counted from 0.
    int StartFrame() const { return player_.StartFrame(); }
    void SetStartFrame(int value) { player_.SetStartFrame(value); }
    int StopFrame() const { return player_.StopFrame(); }
    void SetStopFrame(int value) { player_.SetStopFrame(value); }

    // Passes through the range before the animation stops by itself; 0 loops
    // for ever.
    int Repetitions() const { return player_.Repetitions(); }
    void SetRepetitions(int value) { player_.SetRepetitions(value); }

    // Turning it on plays from StartFrame; turning it off keeps the frame shown.
    bool Active() const { return player_.Active(); }
    void SetActive(bool value);

    void Play(int fromFrame, int toFrame, int count);
    void Stop() { SetActive(false); }
    // Shows one frame without playing.
    void Seek(int frame);

    int CurrentFrame() const { return player_.Frame(); }
    // One step of the animation, as the timer makes it.
    void NextFrame();
    // The frame timer runs only while the clip plays on a visible widget.
    bool Ticking() const { return timer_.isActive(); }

    // The current frame as the widget shows it, at the given size.
    QImage Render(const QSize& size) const;

    QSize sizeHint() const override {
        const TClipSize size = ClipSize(player_.Clip());
        return {size.width, size.height};
    }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void UpdateTimer();

    TClipPlayer player_;
    QTimer timer_;
};
