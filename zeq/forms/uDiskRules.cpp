#include "uDiskRules.h"

#include "uCore.h"
#include "uUtils.h"

#include <climits>

TDiskRules::TDiskRules(JobState& job) : FreeSpace(TargetFree), job_(job) {}

int TDiskRules::CheckMs() const {
    const auto low = static_cast<std::uint32_t>(job_.Settings().CheckInterval);
    return low > static_cast<std::uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(low);
}

const char* TDiskRules::PromptText() const {
    return job_.WritingPies ? disktext::NewDiskPrompt : disktext::PieDiskPrompt;
}

std::string TDiskRules::PromptPath() const {
    return job_.WritingPies ? job_.Settings().TargetPath : job_.CurrentPie.Get();
}

void TDiskRules::BeginPrompt() {
    aborted_ = false;
    okPending_ = false;
    succeeded_ = false;
}

void TDiskRules::Shown() {
    NoDiskSeen = false;
    if (!errorModeSaved_) savedErrorMode_ = plat::QuietCriticalErrors();
    errorModeSaved_ = true;
}

void TDiskRules::Hidden() {
    if (errorModeSaved_) plat::RestoreErrorMode(savedErrorMode_);
    errorModeSaved_ = false;
}

void TDiskRules::CheckTimer() {
    // An erase inside a check processes window messages: no second check may
    // start inside it, and once the user has answered the abort question with
    // Yes or a success waits for the answer, there is nothing left to check.
    if (erasing_ || aborted_ || okPending_) return;
    StopCheckTimer();
    if (job_.WritingPies)
        CheckNewDisk();
    else
        CheckPieFile();
    if (CheckMs() != 0 && !aborted_ && !okPending_ && !succeeded_) StartCheckTimer();
}

void TDiskRules::CheckNewDisk() {
    const std::string& target = job_.Settings().TargetPath;
    if (FreeSpace(target) != -1 && job_.Settings().EraseOption != 0 &&
        (NoDiskSeen || CheckMs() == 0)) {
        erasing_ = true;
        EnableCheckButton(false);
        EraseTarget([this] { return aborted_; });
        EnableCheckButton(true);
        erasing_ = false;
        if (aborted_) return; // the abort wins over what the erase made room for
    }
    const std::int64_t free = FreeSpace(target);
    NoDiskSeen = free == -1;
    if (free >= job_.RequiredSpace.Get()) Succeed();
}

void TDiskRules::CheckPieFile() {
    if (plat::FileExists(job_.CurrentPie.Get())) Succeed();
}

void TDiskRules::Succeed() {
    if (aborted_) return;
    if (questionUp_) {
        okPending_ = true; // the dialog closes with OK if the user answers No
        StopCheckTimer();
        return;
    }
    succeeded_ = true;
    CloseDialog(true);
}

void TDiskRules::CancelClick() {
    if (questionUp_ || aborted_) return;
    questionUp_ = true;
    const bool yes = AskAbortQuestion();
    questionUp_ = false;
    if (yes) {
        aborted_ = true;
        StopCheckTimer();
        CloseDialog(false);
    } else if (okPending_) {
        succeeded_ = true;
        CloseDialog(true);
    }
}
