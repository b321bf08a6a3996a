// TAnimate: a small decoration that plays one of the common clips (copying,
// finding, deleting) in a loop. The clips are drawn with QPainter frame by
// frame; a timer advances the frame only while the clip plays and the widget
// is visible, and repaints only this widget.
#pragma once

#include <QImage>
#include <QTimer>
#include <QWidget>

enum TCommonAVI {
    aviNone,
    aviFindFolder,   // a magnifier sweeping over a folder
    aviFindFile,     // a magnifier sweeping over a document
    aviFindComputer, // a magnifier sweeping over a computer
    aviCopyFiles,    // several sheets flying from one folder to another
    aviCopyFile,     // one sheet flying from one folder to another
    aviDeleteFile,   // a sheet flying from a folder into a waste bin
};

// Frames in a clip (0 for aviNone) and the size it is drawn for.
int ClipFrameCount(TCommonAVI clip);
QSize ClipSize(TCommonAVI clip);

// Draws frame number frame of a clip into rect; frames outside the clip are
// taken modulo its length.
void DrawClipFrame(QPainter& painter, TCommonAVI clip, int frame, const QRect& rect);

class TAnimate : public QWidget {
    Q_OBJECT

  public:
    // Milliseconds between frames.
    static constexpr int FrameInterval = 70;

    explicit TAnimate(QWidget* parent = nullptr);

    // Choosing a clip shows its whole frame range and its first frame; a
    // playing animation goes on playing the new clip from its start.
    TCommonAVI CommonAVI() const { return clip_; }
    void SetCommonAVI(TCommonAVI value);

    int FrameCount() const { return ClipFrameCount(clip_); }

    // The range played, both ends included, counted from 0.
    int StartFrame() const { return startFrame_; }
    void SetStartFrame(int value);
    int StopFrame() const { return stopFrame_; }
    void SetStopFrame(int value);

    // Passes through the range before the animation stops by itself; 0 loops
    // for ever.
    int Repetitions() const { return repetitions_; }
    void SetRepetitions(int value);

    // Turning it on plays from StartFrame; turning it off keeps the frame shown.
    bool Active() const { return active_; }
    void SetActive(bool value);

    void Play(int fromFrame, int toFrame, int count);
    void Stop() { SetActive(false); }
    // Shows one frame without playing.
    void Seek(int frame);

    int CurrentFrame() const { return frame_; }
    // One step of the animation, as the timer makes it.
    void NextFrame();
    // The frame timer runs only while the clip plays on a visible widget.
    bool Ticking() const { return timer_.isActive(); }

    // The current frame as the widget shows it, at the given size.
    QImage Render(const QSize& size) const;

    QSize sizeHint() const override { return ClipSize(clip_); }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void UpdateTimer();

    TCommonAVI clip_ = aviNone;
    int startFrame_ = 0;
    int stopFrame_ = 0;
    int repetitions_ = 0;
    bool active_ = false;
    int frame_ = 0;
    int passesDone_ = 0;
    QTimer timer_;
};
