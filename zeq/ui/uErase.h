// TErase, the erase dialog: it empties the target folder before pieces are
// written to it and shows, refreshed once a second, the entry it has reached.
// It takes no input; its callers show and hide it.
#pragma once

#include "AnimClip.h"
#include "FileLbl.h"
#include "uCore.h"

#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>

class TErase : public QWidget {
  public:
    explicit TErase(JobState& job, QWidget* parent = nullptr);

    TAnimate* Animate1 = nullptr; // the delete-file clip
    QLabel* Label1 = nullptr;     // "Erasing files:"
    TFileLabel* tDisk = nullptr;  // the entry being erased
    QTimer* Timer1 = nullptr;     // copies CurrentErase into tDisk every second

    // Empties folder as the job's EraseOption asks: the files lying in it, and
    // with EraseOption > 0 its subfolders as well, which are emptied and
    // removed. The folder itself stays. Symbolic links are deleted as links and
    // never followed, so nothing outside folder is touched. Before each file the
    // window messages are processed, so the windows stay live. When stop is set
    // and returns true there, the erase ends before that file.
    void EraseFolder(const std::string& folder, const std::function<bool()>& stop = {});

    // Shows the dialog, empties the job's target folder and hides the dialog.
    void EraseTarget(const std::function<bool()>& stop = {});

    // The full path of the entry that the erase has reached.
    const std::string& CurrentErase() const { return currentErase_; }

    void Timer1Timer();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    JobState& job_;
    std::string currentErase_;
};
