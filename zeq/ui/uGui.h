// TGui, the split engine's main window: the piece and the source being worked
// on, the phase with its clip, a progress bar, a pause button and, on demand, a
// details panel with the memory and free-space figures. Its statistics timer
// copies the worker's counters into the controls and ends the program once the
// worker has finished.
#pragma once

#include "AnimClip.h"
#include "FileLbl.h"
#include "uCore.h"
#include "uGuiRules.h"

#include <QAbstractButton>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class TGui : public QWidget {
  public:
    static constexpr int ClientWidth = 365;
    static constexpr int CollapsedHeight = 151;
    static constexpr int ExpandedHeight = 191;

    explicit TGui(JobState& job, QWidget* parent = nullptr);
    ~TGui() override;

    // The window's creation: the caption (captionArg, the second command-line
    // argument, or "Zeq Split Engine: "), the job files from folder, the job
    // title after the caption, the source in MainFileName, and the worker,
    // started at once and answered through bridge. False with a message fit for
    // the user when the job cannot be loaded; no worker then.
    bool FormCreate(const std::string& captionArg, const std::string& folder, IWindowBridge& bridge,
                    std::string& error);

    TFileLabel* FileName = nullptr; // the piece being written or read back
    TAnimate* avi = nullptr;        // the phase's clip
    QLabel* Notice = nullptr;       // the phase
    QProgressBar* Progress = nullptr;
    QPushButton* Action = nullptr;      // "Pause" / "Paused"
    TFileLabel* MainFileName = nullptr; // the source
    QAbstractButton* More = nullptr;    // "More" / "Less"
    QFrame* Bevel1 = nullptr;           // the details panel from here down
    QLabel* Label3D1 = nullptr;         // "Velmora"
    QLabel* Stat1 = nullptr;            // memory figures
    QLabel* Label3D2 = nullptr;         // "Ondrel Family"
    QLabel* Stat2 = nullptr;            // free-space figures
    QTimer* Stats = nullptr;            // the statistics tick, every 3141 ms

    void StatsTimer();
    void ActionClick();
    void MoreClick();
    // Phase changes, run on the window thread for the worker.
    void ShowCompareNotice();
    void ShowJoinNotice();

    // Waits for the worker's thread once it has finished.
    void WaitWorker();

    // The target's free and total bytes (TargetFree, TargetTotal); tests script them.
    std::function<std::int64_t(const std::string&)> FreeSpace;
    std::function<std::int64_t(const std::string&)> TotalSpace;
    // Ends the program after the tick that saw Finished.
    std::function<void()> Quit;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void ShowPhase(const QString& notice, TCommonAVI clip);

    JobState& job_;
    std::unique_ptr<Zeq> worker_;
};
