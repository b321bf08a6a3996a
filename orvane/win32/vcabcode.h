// TCabEncode, the cabinet builder's progress window as a native window: a
// clip, the cabinet and file in progress with a bar each, Cancel and Pause.
// Its creation runs the start-up (token, directives, settings) and starts the
// build worker; a timer copies the worker's progress into the controls and
// ends the program once the worker has finished. The worker asks its
// questions in message boxes of its own thread, owned by the application, so
// the window and its thread stay free meanwhile.
#pragma once

#include "AnimClip.h"
#include "FileLbl.h"
#include "Forms.h"
#include "GradProgress.h"
#include "Timer.h"
#include "vCabEvents.h"
#include "vEncodeCab.h"
#include "vFwCAB.h"
#include "vShared.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

class TCabEncode : public TForm {
  public:
    // args as the program received them; state lives as long as the window.
    TCabEncode(const std::vector<std::string>& args, TShellState& state);
    ~TCabEncode() override;

    std::unique_ptr<TAnimate> anim;
    std::unique_ptr<TFileLabel> Target;
    std::unique_ptr<TGradProgress> Major;
    std::unique_ptr<TFileLabel> Source;
    std::unique_ptr<TGradProgress> Minor;
    HWND Cancel = nullptr;
    HWND pause = nullptr;
    TTimer Timer{800};
    tvFwCAB Cab;

    void TimerTimer();
    void pauseClick();
    void CancelClick();

    // For the worker's handlers, on the worker's thread: a box owned by the
    // application, shown on that thread until answered.
    MsgAnswer WorkerMessageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                               MsgButtons buttons);
    const EncodeCab& Worker() const { return worker_; }

  protected:
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

  private:
    void FormCreate(const std::vector<std::string>& args);
    void CloseDuringBuild();
    void CloseWorkerBoxes();
    void DrawButton(const DRAWITEMSTRUCT& item);
    // The buttons' own messages, first: they follow the mouse for the edge.
    static LRESULT CALLBACK ButtonProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                       DWORD_PTR data);

    TShellState& state_;
    TCabEvents events_;
    EncodeCab worker_;
    bool startPending_ = true;
    HFONT font_ = nullptr;
    HFONT barFont_ = nullptr;
    HWND hot_ = nullptr; // the button under the mouse
    // The thread that shows the worker's boxes, once it has asked one.
    std::atomic<DWORD> boxThread_{0};
    // After the window was closed during a build: closes every box the
    // worker still puts up, until it has finished.
    TTimer boxCloser_{100};
};
