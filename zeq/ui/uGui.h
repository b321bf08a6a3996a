// TGui, the split engine's main window: caption, the piece and the source being
// worked on, the phase, a progress bar, a pause button, and the statistics timer
// that ends the program once the worker has finished.
#pragma once

#include "uCore.h"
#include "uWindowBridge.h"

#include <QWidget>
#include <memory>
#include <string>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

class TGui : public QWidget {
  public:
    // Builds the window, loads the job from the program folder and starts the
    // worker. A job that cannot be run is reported and ends the program with
    // exit code 1. captionArg is the second command-line argument (may be empty).
    TGui(JobState& job, const std::string& captionArg);
    ~TGui() override;

    // Phase changes, run on the window thread for the worker.
    void ShowCompareNotice();
    void ShowJoinNotice();

    // Waits for the worker's thread once it has finished.
    void WaitWorker();

    JobState& Job() { return job_; }
    IWindowBridge& Bridge() { return bridge_; }

    QLabel* FileName = nullptr; // the piece being written or read back
    QLabel* Notice = nullptr;   // the phase
    QProgressBar* Progress = nullptr;
    QPushButton* Action = nullptr;  // "Pause" / "Paused"
    QLabel* MainFileName = nullptr; // the source
    QTimer* Stats = nullptr;        // the statistics tick, every 3141 ms

  private:
    void FormCreate(const std::string& captionArg);
    void StatsTimer();
    void ActionClick();

    JobState& job_;
    TWindowBridge bridge_;
    std::unique_ptr<Zeq> worker_;
};

// The progress bar's figures: maximum SourceSize, position the mean of the bytes
// read and the bytes written (or compared), each halved before they are added,
// both scaled down together until they fit the bar's int range.
void ProgressFigures(std::uint64_t sourceSize, std::uint64_t sourceDone, std::uint64_t pieDone,
                     int& maximum, int& position);
