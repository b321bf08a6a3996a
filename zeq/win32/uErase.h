// TErase, the erase dialog on Windows: it empties the target folder before
// pieces are written to it and shows, refreshed once a second, the entry it
// has reached. It takes no input; its callers show and hide it.
#pragma once

#include "AnimClip.h"
#include "FileLbl.h"
#include "Forms.h"
#include "Timer.h"
#include "uCore.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

class TErase : public TForm {
  public:
    enum : int { IdLabel1 = 301 };

    // Makes the dialog, hidden, kept above all other windows; Timer1 runs.
    explicit TErase(JobState& job);
    ~TErase() override;

    std::unique_ptr<TAnimate> Animate1; // the delete-file clip
    HWND Label1 = nullptr;              // "Erasing files:"
    std::unique_ptr<TFileLabel> tDisk;  // the entry being erased
    TTimer Timer1;                      // copies CurrentErase into tDisk every second

    // Empties folder as the job's EraseOption asks (EraseJobFolder), handling
    // the waiting window messages before each file so that the windows stay
    // live. When stop is set and returns true there, the erase ends before
    // that file.
    void EraseFolder(const std::string& folder, const std::function<bool()>& stop = {});

    // Shows the dialog, empties the job's target folder and hides the dialog.
    void EraseTarget(const std::function<bool()>& stop = {});

    // The full path of the entry that the erase has reached.
    const std::string& CurrentErase() const { return currentErase_; }

    void Timer1Timer();

  protected:
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

  private:
    JobState& job_;
    std::string currentErase_;
};
