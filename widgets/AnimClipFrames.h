// The common animation clips (copying, finding, deleting) free of any
// toolkit: how many frames each has, the size it is drawn for, each frame as
// drawing steps, and the rules of playing a range of frames in a loop. A
// backend replays the steps and runs the frame timer.
#pragma once

#include "Drawing.h"

#include <vector>

enum TCommonAVI {
    aviNone,
    aviFindFolder,   // a magnifier sweeping over a folder
    aviFindFile,     // a magnifier sweeping over a document
    aviFindComputer, // a magnifier sweeping over a computer
    aviCopyFiles,    // several sheets flying from one folder to another
    aviCopyFile,     // one sheet flying from one folder to another
    aviDeleteFile,   // a sheet flying from a folder into a waste bin
};

struct TClipSize {
    int width = 0, height = 0;
};

// Frames in a clip (0 for aviNone) and the size it is drawn for.
int ClipFrameCount(TCommonAVI clip);
TClipSize ClipSize(TCommonAVI clip);

// Frame number frame of a clip drawn into a rectangle of whole pixels: the
// steps, to be drawn antialiased and clipped to that rectangle. Frames outside
// the clip are taken modulo its length; the clip keeps its proportions,
// centred, and is never drawn larger than its own size.
std::vector<TDrawStep> ClipFrameSteps(TCommonAVI clip, int frame, int left, int top, int width,
                                      int height);

// Which frame of a clip shows, and how playing moves it on. Frames count from
// 0; the range played includes both ends.
class TClipPlayer {
  public:
    TCommonAVI Clip() const { return clip_; }
    // Chooses a clip: its whole range and its first frame; a playing clip
    // goes on playing the new one from its start.
    void SetClip(TCommonAVI value);
    int FrameCount() const { return ClipFrameCount(clip_); }

    int StartFrame() const { return startFrame_; }
    void SetStartFrame(int value);
    int StopFrame() const { return stopFrame_; }
    void SetStopFrame(int value);

    // Passes through the range before playing stops by itself; 0 loops for ever.
    int Repetitions() const { return repetitions_; }
    void SetRepetitions(int value);

    // Turning it on plays from StartFrame (a clip without frames cannot
    // play); turning it off keeps the frame shown.
    bool Active() const { return active_; }
    void SetActive(bool value);
    void Play(int fromFrame, int toFrame, int count);
    // Shows one frame without playing.
    void Seek(int frame);

    int Frame() const { return frame_; }
    // One step of playing; false when nothing changed (not playing, or the
    // last repetition has just ended, which stops playing).
    bool NextFrame();

  private:
    int Highest() const;

    TCommonAVI clip_ = aviNone;
    int startFrame_ = 0;
    int stopFrame_ = 0;
    int repetitions_ = 0;
    bool active_ = false;
    int frame_ = 0;
    int passesDone_ = 0;
};
