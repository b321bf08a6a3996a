#include "vCabEvents.h"

#include "Text.h"

namespace {

// A name in a message, in quotes; a very long one shortened.
std::string Quoted(const std::string& s) {
    return "\"" + ShortenedText(s) + "\"";
}

std::string OverwriteQuestion(const std::string& path) {
    return "Cabinet " + Quoted(path) + " already exists. Overwrite?";
}

// The interface's text of a failure, with the cabinet file it concerns and
// the system's reason, or the cabinet size that left no room, when the
// component names such a cabinet.
std::string FailureText(const tvFwCAB& cab, int apiCode, const std::string& errText) {
    const std::string cabinet = cab.FailedCabinet();
    if (cabinet.empty()) return errText;
    const std::string reason =
        apiCode != 0 ? plat::ErrorText(apiCode)
                     : "no room in a cabinet of " + std::to_string(cab.DiskSize()) + " bytes";
    return errText + " " + Quoted(cabinet) + ": " + reason;
}

} // namespace

void TCabEvents::Bind(tvFwCAB& cab) {
    using namespace std::placeholders;
    cab.OnMajorStatus = std::bind(&TCabEvents::CabMajorStatus, this, _1, _2, _3, _4);
    cab.OnMinorStatus = std::bind(&TCabEvents::CabMinorStatus, this, _1, _2, _3, _4);
    cab.OnMessageNotify = std::bind(&TCabEvents::CabMessageNotify, this, _1, _2, _3, _4, _5, _6);
    cab.OnErrorNotify = std::bind(&TCabEvents::CabErrorNotify, this, _1, _2, _3, _4, _5);
}

MsgAnswer TCabEvents::Ask(const std::string& text, MsgIcon icon, MsgButtons buttons) {
    // Nobody is left to answer once the window is closing.
    if (state_.Closing.load()) return ClosedBoxAnswer(buttons);
    return box_(text, AppTitle, icon, buttons);
}

void TCabEvents::Log(const std::string& line) {
    if (state_.LogFile.IsOpen()) {
        const std::string bytes = line + "\r\n";
        // A log that cannot be written loses the line; the build goes on.
        plat::WriteFile(state_.LogFile.Handle(), bytes.data(), bytes.size());
        return;
    }
    Ask(line, MsgIcon::Warning, MsgButtons::Ok);
}

void TCabEvents::Fatal(const std::string& text) {
    if (LogMode())
        Log(text);
    else
        Ask("Fatal Error:\r" + text, MsgIcon::Error, MsgButtons::Ok);
}

void TCabEvents::AbortFor(const std::string& reason, bool told) {
    forcedAbort_ = true;
    abortReason_ = told ? std::string() : reason;
}

void TCabEvents::BuildStarting() {
    started_ = false;
    cabInProgress_.clear();
    aborted_ = false;
    forcedAbort_ = false;
    abortReason_.clear();
}

std::string TCabEvents::IncompleteCabinet() const {
    return aborted_ ? cabInProgress_ : std::string();
}

void TCabEvents::CabMajorStatus(tvFwCAB&, const std::string& CabName, int Percent, bool& Abort) {
    if (!started_) {
        // The component raises the first status event once it has made sure
        // that no file of this name is there: what appears now is ours.
        started_ = true;
        if (!plat::PathExists(CabName)) cabInProgress_ = CabName;
    }
    state_.CurrentCab.Set(CabName);
    state_.MajorPercent.store(Percent, std::memory_order_relaxed);
    state_.Gate.Pass();
    Abort = state_.Cancel.load(std::memory_order_relaxed);
    NoteAbort(Abort);
}

void TCabEvents::CabMinorStatus(tvFwCAB&, const std::string& FileName, int Percent, bool& Abort) {
    state_.CurrentFile.Set(FileName);
    state_.MinorPercent.store(Percent, std::memory_order_relaxed);
    // Raised for each compressed block: a paused build stops here.
    state_.Gate.Pass();
    Abort = state_.Cancel.load(std::memory_order_relaxed);
    NoteAbort(Abort);
}

void TCabEvents::CabMessageNotify(tvFwCAB& Sender, std::string& NewCabName,
                                  std::string& NewDiskName, int CabNo, int& DiskNo, bool& Abort) {
    state_.Gate.Pass();
    const std::string folder = FolderPart(Sender.CabFile());
    while (DriveFreeSpace(folder) < static_cast<std::int64_t>(Sender.DiskSize())) {
        if (LogMode()) {
            Log("Insufficient space on target path");
            AbortFor("", true);
            Abort = true;
        } else if (Ask("Please insert a new disk to continue", MsgIcon::Information,
                       MsgButtons::OkCancel) == MsgAnswer::Cancel) {
            Abort = true;
        }
        if (Abort) {
            NoteAbort(true);
            return;
        }
    }

    NewCabName = FileStem(state_.BaseCabName) + std::to_string(CabNo) + ".cab";
    const std::string fullPath = folder + NewCabName;
    if (!plat::FileExists(fullPath)) {
        ++DiskNo;
        NewDiskName = "Diskette " + std::to_string(DiskNo);
        Abort = false;
        cabInProgress_ = plat::PathExists(fullPath) ? std::string() : fullPath;
        return;
    }
    // Another's file keeps its place unless the user lets it go.
    cabInProgress_.clear();
    if (!LogMode() &&
        Ask(OverwriteQuestion(fullPath), MsgIcon::Question, MsgButtons::YesNo) != MsgAnswer::Yes)
        return;
    if (plat::DeleteFile(fullPath)) {
        cabInProgress_ = fullPath;
    } else {
        AbortFor("Cabinet " + Quoted(fullPath) + " could not be deleted: " + plat::LastErrorText(),
                 false);
        Abort = true;
    }
    NoteAbort(Abort);
}

void TCabEvents::CabErrorNotify(tvFwCAB& Sender, int ErrID, int APICode, const std::string& ErrText,
                                int& Action) {
    switch (ErrID) {
    case ceCabExists: {
        const std::string cabFile = Sender.CabFile();
        if (!LogMode() &&
            Ask(OverwriteQuestion(cabFile), MsgIcon::Question, MsgButtons::YesNo) != MsgAnswer::Yes)
            break;
        Action = plat::DeleteFile(cabFile) ? 1 : -1;
        break;
    }
    case ceCabFailure: {
        const std::string text = FailureText(Sender, APICode, ErrText);
        if (LogMode()) {
            Log(text);
            Action = 0;
            break;
        }
        switch (Ask("Error:\r" + text + "\r\rRetry?", MsgIcon::Question, MsgButtons::YesNoCancel)) {
        case MsgAnswer::Yes:
            Action = 1;
            break;
        case MsgAnswer::No:
            Action = 0;
            break;
        default:
            Action = -1;
            break;
        }
        break;
    }
    case ceUserAbort:
        // An abort that the build answered for itself (no room, a cabinet
        // that would not go) is told by its reason, never as the user's.
        if (!forcedAbort_ || state_.Cancel.load())
            Fatal(ErrText);
        else if (!abortReason_.empty())
            Fatal(abortReason_);
        abortReason_.clear();
        Action = -1;
        break;
    case ceSetIncomplete:
        if (LogMode())
            Log(ErrText);
        else
            Ask(ErrText, MsgIcon::Warning, MsgButtons::Ok);
        Action = -1;
        break;
    default:
        Fatal(FailureText(Sender, APICode, ErrText));
        Action = -1;
        break;
    }
    NoteAbort(Action == -1 || ErrID == ceUserAbort);
}
