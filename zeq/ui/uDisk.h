// TDisk, the disk change dialog: the worker's way of asking for a disk. It
// judges the disk by itself, on a timer or when the user presses "Check !", and
// closes with success once the wanted disk is there; the only other way out is
// an abort that the user confirms. What it decides lies in TDiskRules.
#pragma once

#include "AnimClip.h"
#include "FileLbl.h"
#include "uCore.h"
#include "uDiskRules.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <functional>

class TErase;

class TDisk : public QDialog, public TDiskRules {
  public:
    TDisk(JobState& job, TErase& erase, QWidget* parent = nullptr);

    TAnimate* Animate1 = nullptr;     // the find-folder clip
    QLabel* diskPrompt = nullptr;     // what is wanted
    TFileLabel* filePrompt = nullptr; // where it is wanted
    QPushButton* OK = nullptr;        // "Check !"
    QPushButton* Cancel = nullptr;    // "Cancel..."
    QTimer* Check = nullptr;          // the automatic check

    // Sets the prompt for the job's state: with WritingPies a new disk for the
    // target location, otherwise the disk that holds CurrentPie; the "Check !"
    // button when the user checks, the Check timer otherwise. Clears the result.
    void Prepare();
    // Prepare, then the dialog modally. True once the wanted disk is there,
    // false when the user confirmed the abort.
    bool Prompt();

    // The abort question; true for Yes. By default the message box, which sets
    // Aborted as soon as Yes is pressed, so that an erase running meanwhile
    // stops before its next file.
    std::function<bool()> AskAbort;
    // The sound of each show (by default the system's beep).
    std::function<void()> Beep;

    // Escape and the window's own close ask the abort question too.
    void reject() override;

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

    void StopCheckTimer() override;
    void StartCheckTimer() override;
    void EnableCheckButton(bool enabled) override;
    void EraseTarget(const std::function<bool()>& stop) override;
    bool AskAbortQuestion() override;
    void CloseDialog(bool ok) override;

  private:
    bool AskAbortBox();

    TErase& erase_;
};
