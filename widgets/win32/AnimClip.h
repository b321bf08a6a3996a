// TAnimate: a small decoration that plays one of the common clips (copying,
// finding, deleting) in a loop, as a child window of its own class. The frames
// and the rules of playing are the toolkit-free ones of AnimClipFrames; this
// control draws the frames with GDI (through an off-screen bitmap) and its
// timer advances the frame only while the clip plays and the control is
// visible.
#pragma once

#include "AnimClipFrames.h"

#include <windows.h>

class TAnimate {
  public:
    // Milliseconds between frames.
    static constexpr UINT FrameInterval = 70;

    // A child of parent at the given client rectangle showing the first frame of clip.
    TAnimate(HWND parent, int x, int y, int width, int height, TCommonAVI clip);
    ~TAnimate();
    TAnimate(const TAnimate&) = delete;
    TAnimate& operator=(const TAnimate&) = delete;

    HWND Handle() const { return hwnd_; }

    TCommonAVI CommonAVI() const { return player_.Clip(); }
    void SetCommonAVI(TCommonAVI value);
    int FrameCount() const { return player_.FrameCount(); }
    bool Active() const { return player_.Active(); }
    void SetActive(bool value);
    void Play(int fromFrame, int toFrame, int count);
    void Stop() { SetActive(false); }
    void Seek(int frame);
    int CurrentFrame() const { return player_.Frame(); }

  private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    void UpdateTimer();
    void Paint(HDC dc);

    HWND hwnd_ = nullptr;
    TClipPlayer player_;
    bool ticking_ = false;
};
