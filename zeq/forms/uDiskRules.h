// What the disk change dialog decides, free of any toolkit: when a check
// runs, what it judges, when a new disk is erased, and how a success and an
// abort that the user confirms meet. A window backend derives from it and
// supplies its timer, its "Check !" button, the erase dialog, the abort
// question and the dialog's close.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct JobState;

namespace disktext {
inline constexpr const char* Caption = "Velmora Zeq - Change Disk";
inline constexpr const char* NewDiskPrompt =
    "Please insert a new disk into the following location:";
inline constexpr const char* PieDiskPrompt = "Please insert the disk that contains the file:";
inline constexpr const char* CheckButton = "Check !";
inline constexpr const char* CancelButton = "Cancel...";
inline constexpr const char* AbortQuestion = "Are you sure you wish to abort the split?";
inline constexpr const char* AbortTitle = "Velmora Zeq";
} // namespace disktext

class TDiskRules {
  public:
    explicit TDiskRules(JobState& job);
    virtual ~TDiskRules() = default;
    TDiskRules(const TDiskRules&) = delete;
    TDiskRules& operator=(const TDiskRules&) = delete;

    // Milliseconds between automatic checks (the low 32 bits of CheckInterval,
    // at most what a timer takes); 0 when the user checks.
    int CheckMs() const;
    // With WritingPies a new disk for the target location is wanted, else the
    // disk that holds CurrentPie: the prompt's text and the path it names.
    const char* PromptText() const;
    std::string PromptPath() const;

    // A new prompt: nothing answered, nothing pending.
    void BeginPrompt();
    // Each show of the dialog: no empty drive seen yet, and the system asked
    // to fail critical errors quietly until Hidden.
    void Shown();
    void Hidden();

    // A check, by the Check timer or the "Check !" button.
    void CheckTimer();
    // A new disk for writing: erased first when the job asks and the disk is
    // new, then accepted when it has RequiredSpace free bytes.
    void CheckNewDisk();
    // The disk that holds CurrentPie: accepted once the file exists.
    void CheckPieFile();
    // Asks whether to abort; Yes closes the dialog with Cancel.
    void CancelClick();

    // The latest check since the dialog was shown found no readable disk.
    bool NoDiskSeen = false;
    // True while an erase runs inside a check.
    bool Erasing() const { return erasing_; }
    // The user confirmed the abort during this prompt.
    bool Aborted() const { return aborted_; }
    // The dialog was closed with OK during this prompt.
    bool Succeeded() const { return succeeded_; }

    // The free bytes of the target (TargetFree); tests script a volume here.
    std::function<std::int64_t(const std::string&)> FreeSpace;

  protected:
    // The window side.
    virtual void StopCheckTimer() = 0;
    virtual void StartCheckTimer() = 0; // with the interval CheckMs
    virtual void EnableCheckButton(bool enabled) = 0;
    // Shows the erase dialog, empties the target and hides the dialog; stop,
    // asked before each file, ends the erase early when it returns true.
    virtual void EraseTarget(const std::function<bool()>& stop) = 0;
    // The abort question; true for Yes. A box that learns of Yes before it
    // returns calls AbortConfirmed at once, so that an erase running
    // meanwhile stops before its next file.
    virtual bool AskAbortQuestion() = 0;
    // Closes the dialog, with OK or with Cancel.
    virtual void CloseDialog(bool ok) = 0;

    void AbortConfirmed() { aborted_ = true; }

    JobState& job_;

  private:
    void Succeed();

    bool erasing_ = false;    // an erase runs inside a check
    bool questionUp_ = false; // the abort question is up
    bool okPending_ = false;  // a check succeeded while the question was up
    bool aborted_ = false;
    bool succeeded_ = false;
    unsigned savedErrorMode_ = 0; // the error mode in force before the show
    bool errorModeSaved_ = false;
};
