// The progress window's answers to the four events of the cabinet-writer
// component. They run on the build worker's thread, inside Encode: they store
// progress for the window's timer, pass the user's Cancel on, name each
// follow-on cabinet and disk, check the free space for it, and turn errors
// into questions or, in log mode, into lines of the log file.
#pragma once

#include "vFwCAB.h"
#include "vShared.h"

#include <string>

class TCabEvents {
  public:
    // box is called on the worker's thread and must wait for the answer.
    TCabEvents(TShellState& state, MessageBoxFn box) : state_(state), box_(std::move(box)) {}

    // Binds the component's four events to the handlers below.
    void Bind(tvFwCAB& cab);

    void CabMajorStatus(tvFwCAB& Sender, const std::string& CabName, int Percent, bool& Abort);
    void CabMinorStatus(tvFwCAB& Sender, const std::string& FileName, int Percent, bool& Abort);
    void CabMessageNotify(tvFwCAB& Sender, std::string& NewCabName, std::string& NewDiskName,
                          int CabNo, int& DiskNo, bool& Abort);
    void CabErrorNotify(tvFwCAB& Sender, int ErrID, int APICode, const std::string& ErrText,
                        int& Action);

    // One line of the log, ended with CR LF. Without an open log file (it
    // could not be created) the line is shown in a box instead.
    void Log(const std::string& line);

    // A problem that ends a job: a log line in log mode, otherwise an error
    // box "Fatal Error:" with the text.
    void Fatal(const std::string& text);

    // Bookkeeping of one build, so that a build stopped by closing the window
    // leaves no incomplete cabinet behind.
    void BuildStarting();
    // The cabinet this build was writing when it was aborted, if the build
    // created it; empty when the build was not aborted or the file is not ours.
    std::string IncompleteCabinet() const;

  private:
    MsgAnswer Ask(const std::string& text, MsgIcon icon, MsgButtons buttons);
    // An abort answered for a reason of the build's own, not by the user:
    // the reason is told in place of "User abort" unless it was told already.
    void AbortFor(const std::string& reason, bool told);
    bool LogMode() const { return state_.LogMode; }
    void NoteAbort(bool abort) { aborted_ = aborted_ || abort; }

    TShellState& state_;
    MessageBoxFn box_;
    bool started_ = false;      // the first status event of the build came
    std::string cabInProgress_; // the cabinet being written, when this build creates it
    bool aborted_ = false;
    bool forcedAbort_ = false; // the last abort answer was not the user's
    std::string abortReason_;  // still to be told
};
