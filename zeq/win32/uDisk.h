// TDisk, the disk change dialog on Windows: the worker's way of asking for a
// disk. It judges the disk by itself, on a timer or when the user presses
// "Check !", and closes with success once the wanted disk is there; the only
// other way out is an abort that the user confirms. What it decides lies in
// TDiskRules; this form shows it.
#pragma once

#include "AnimClip.h"
#include "FileLbl.h"
#include "Forms.h"
#include "Timer.h"
#include "uCore.h"
#include "uDiskRules.h"

#include <windows.h>

#include <functional>
#include <memory>

class TErase;

class TDisk : public TForm, public TDiskRules {
  public:
    // "Check !" and "Cancel..." answer as a dialog's OK and Cancel do (Enter,
    // Escape).
    enum : int { IdOK = IDOK, IdCancel = IDCANCEL, IdDiskPrompt = 201 };

    // Makes the dialog, hidden.
    TDisk(JobState& job, TErase& erase);
    ~TDisk() override;

    std::unique_ptr<TAnimate> Animate1;     // the find-folder clip
    HWND diskPrompt = nullptr;              // what is wanted
    std::unique_ptr<TFileLabel> filePrompt; // where it is wanted
    HWND OK = nullptr;                      // "Check !"
    HWND Cancel = nullptr;                  // "Cancel..."
    TTimer Check;                           // the automatic check

    // Sets the prompt for the job's state: with WritingPies a new disk for the
    // target location, otherwise the disk that holds CurrentPie; the "Check !"
    // button when the user checks, the Check timer otherwise.
    void Prepare();
    // Prepare, then the dialog modally. True once the wanted disk is there,
    // false when the user confirmed the abort.
    bool Prompt();

    // The sound of each show (by default the system's exclamation).
    std::function<void()> Beep;

  protected:
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

    void StopCheckTimer() override;
    void StartCheckTimer() override;
    void EnableCheckButton(bool enabled) override;
    void EraseTarget(const std::function<bool()>& stop) override;
    bool AskAbortQuestion() override;
    void CloseDialog(bool ok) override;

  private:
    static LRESULT CALLBACK WatchAnswer(int code, WPARAM wp, LPARAM lp);

    TErase& erase_;
};
