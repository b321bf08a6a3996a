// TGui, the split engine's main window on Windows: the piece and the source
// being worked on, the phase with its clip, a progress bar, a pause button
// and, on demand, a details panel with the memory and free-space figures. Its
// statistics timer copies the worker's counters into the controls and ends
// the program once the worker has finished. What it shows and decides comes
// from uGuiRules.
#pragma once

#include "AnimClip.h"
#include "FileLbl.h"
#include "Forms.h"
#include "Timer.h"
#include "uCore.h"
#include "uGuiRules.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class TGui : public TForm {
  public:
    static constexpr int ClientWidth = 365;
    static constexpr int CollapsedHeight = 151;
    static constexpr int ExpandedHeight = 191;

    // Control ids of the window's own controls.
    enum : int {
        IdNotice = 101,
        IdProgress,
        IdAction,
        IdMore,
        IdBevel1,
        IdLabel3D1,
        IdStat1,
        IdLabel3D2,
        IdStat2,
    };

    // Makes the window, hidden, with its controls; the statistics tick runs.
    explicit TGui(JobState& job);
    ~TGui() override;

    // The window's creation: the caption (captionArg, the second command-line
    // argument, or "Zeq Split Engine: "), the job files from folder, the job
    // title after the caption, the source in MainFileName, and the worker,
    // started at once and answered through bridge. False with a message fit for
    // the user when the job cannot be loaded; no worker then.
    bool FormCreate(const std::string& captionArg, const std::string& folder, IWindowBridge& bridge,
                    std::string& error);

    std::unique_ptr<TFileLabel> FileName; // the piece being written or read back
    std::unique_ptr<TAnimate> avi;        // the phase's clip
    HWND Notice = nullptr;                // the phase
    HWND Progress = nullptr;
    HWND Action = nullptr;                    // "Pause" / "Paused", a push-like check box
    std::unique_ptr<TFileLabel> MainFileName; // the source
    HWND More = nullptr;                      // "More" / "Less", drawn flat with a drop mark
    HWND Bevel1 = nullptr;                    // the details panel from here down
    HWND Label3D1 = nullptr;                  // "Velmora", recessed
    HWND Stat1 = nullptr;                     // memory figures
    HWND Label3D2 = nullptr;                  // "Ondrel Family", raised
    HWND Stat2 = nullptr;                     // free-space figures
    TTimer Stats;                             // the statistics tick, every 3141 ms

    void StatsTimer();
    void ActionClick();
    void MoreClick();
    // Phase changes, run on the window thread for the worker.
    void ShowCompareNotice();
    void ShowJoinNotice();

    // Waits for the worker's thread once it has finished.
    void WaitWorker();

    // The target's free and total bytes (TargetFree, TargetTotal).
    std::function<std::int64_t(const std::string&)> FreeSpace;
    std::function<std::int64_t(const std::string&)> TotalSpace;
    // Ends the program: after the tick that saw Finished, and when the window
    // is closed.
    std::function<void()> Quit;

  protected:
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

  private:
    void ShowPhase(const char* notice, TCommonAVI clip);
    void DrawMore(const DRAWITEMSTRUCT& item);
    void DrawLabel3D(const DRAWITEMSTRUCT& item, bool raised);
    static LRESULT CALLBACK MoreProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                     DWORD_PTR data);

    JobState& job_;
    std::unique_ptr<Zeq> worker_;
    bool moreHot_ = false; // the mouse is over More
};
