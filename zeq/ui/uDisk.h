// TDisk, the disk change dialog: the worker's way of asking for a disk. It
// judges the disk by itself, on a timer or when the user presses "Check !", and
// closes with success once the wanted disk is there; the only other way out is
// an abort that the user confirms.
#pragma once

#include "AnimClip.h"
#include "FileLbl.h"
#include "uCore.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <string>

class TErase;

class TDisk : public QDialog {
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

    // A check, by the Check timer or the "Check !" button.
    void CheckTimer();
    // A new disk for writing: erased first when the job asks and the disk is
    // new, then accepted when it has RequiredSpace free bytes.
    void CheckNewDisk();
    // The disk that holds CurrentPie: accepted once the file exists.
    void CheckPieFile();
    // Asks whether to abort; Yes closes the dialog with Rejected.
    void CancelClick();

    // Milliseconds between automatic checks (the low 32 bits of CheckInterval,
    // at most what a timer takes); 0 when the user checks.
    int CheckMs() const;

    // The latest check since the dialog was shown found no readable disk.
    bool NoDiskSeen = false;
    // True while an erase runs inside a check.
    bool Erasing() const { return erasing_; }
    // The user confirmed the abort during this prompt.
    bool Aborted() const { return aborted_; }

    // The free bytes of the target (TargetFree); tests script a volume here.
    std::function<std::int64_t(const std::string&)> FreeSpace;
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

  private:
    bool AskAbortBox();
    void Succeed();

    JobState& job_;
    TErase& erase_;
    bool erasing_ = false;    // an erase runs inside a check
    bool questionUp_ = false; // the abort question is up
    bool okPending_ = false;  // a check succeeded while the question was up
    bool aborted_ = false;
};
