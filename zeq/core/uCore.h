// The split engine: the state that the worker and the windows share, and the
// worker Zeq that cuts the source into pieces ("pies"), checks them against the
// source, writes the report and leaves the self-joining pack on the target.
#pragma once

#include "PauseGate.h"
#include "Shared.h"
#include "uBridge.h"
#include "uJob.h"
#include "uUtils.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Platform.h"

class Zeq;

// What the worker and the windows share: the job, set once before the worker
// starts and only read afterwards, and the figures that the worker keeps for
// the windows while it runs.
struct JobState {
  public:
    // The job as LoadJob read it (tests set it directly).
    const JobSettings& Settings() const { return settings_; }
    void SetSettings(JobSettings settings) { settings_ = std::move(settings); }

    // ---- read by the windows while the worker runs ------------------------
    Zeq* Worker = nullptr;
    Counter<std::uint64_t> SourceSize;
    Counter<std::uint64_t> SourceDone;   // source bytes read in the current pass
    Counter<std::uint64_t> PieDone;      // bytes written to (later read back from) pieces
    Counter<std::uint64_t> BufferFill;   // source bytes in memory not yet written / compared
    Counter<std::int64_t> CompareFill;   // piece bytes in memory for the current chunk
    SharedText CurrentPie;               // full path of the piece being written or looked for
    Counter<std::int64_t> RequiredSpace; // free bytes a new disk must offer
    std::atomic<bool> WritingPies{true}; // a prompt asks for a new disk (else for CurrentPie)
    std::atomic<bool> Finished{false};

  private:
    JobSettings settings_;
};

// Reads the job files from folder (with its trailing separator) as ReadJob
// does and makes them the job of state. False with a message fit for the user
// when they cannot be read or do not make a job that can run.
bool LoadJob(const std::string& folder, JobState& state, std::string& error);

// ---- the worker -----------------------------------------------------------------

class Zeq {
  public:
    Zeq(JobState& state, IWindowBridge& bridge);
    virtual ~Zeq();
    Zeq(const Zeq&) = delete;
    Zeq& operator=(const Zeq&) = delete;

    // Runs Execute on a thread of its own; Wait joins it.
    void Start();
    void Wait();

    // Pausing closes a gate that the worker passes between reads and writes, so
    // it never stops while holding anything the window thread may need.
    void Pause();
    void Resume();
    bool Paused() const;

    // The whole job: erase, split, compare, report, joiner, Finished. A job that
    // cannot go on is ended here: what is open is closed, an incomplete piece is
    // removed, the message is shown on the window thread, Finished is set and
    // EndProcess is called with the exit code.
    void Execute();

    // Free bytes of the target; the volume query, replaceable in tests.
    std::function<std::int64_t(const std::string&)> FreeSpace = TargetFree;
    // Ends the process (the default); tests record the code instead.
    std::function<void(int)> EndProcess = [](int code) { plat::ExitProcess(code); };

    // The worker's own position in the job: changed by the worker alone, and
    // read by others once it has ended (or from a window-side call that it
    // waits for).
    struct WorkerPosition {
        std::int64_t PieNumber = 1;          // pie being written; after the split, the count
        std::int64_t ComparePieNumber = 1;   // pie being read back by the compare pass
        bool PieOpen = false;                // a pie is open, being written or read back
        std::int64_t PieLeft = 0;            // bytes still to go into, or come from, that pie
        std::int64_t NextPieSize = 0;        // size chosen for the next pie
        std::uint64_t LastRead = 0;          // bytes brought by the last read of the source
        std::uint32_t CrcValue = 0;          // CRC-32 register of the pie being written
        std::vector<std::string> CrcHexList; // CRC-32 of every finished pie, hexadecimal
        std::vector<std::string> CrcDecList; // the same in decimal
        std::string JoinerPiePath;           // where pie JoinerK was written
        std::string JoinerPattern;           // glue.txt line 1: name pattern of the joiner file
    };
    const WorkerPosition& Position() const { return pos_; }

  protected:
    // The self-joining pack, made after the report when JoinerK is not greater
    // than the number of pieces, with WritingPies false and the join notice
    // shown: glue32.exe, the joiner data and, for k of 1 or more, the bytes of
    // pie k (whose file is then deleted) are put together in ZeqGlue.tmp in the
    // program folder and copied to the target as the executable joiner file.
    // Should that copy fail, ZeqGlue.tmp stays where it is and the message says
    // so; it may hold the only copy of pie k.
    virtual void MakeJoiner();

  private:
    // ---- the split pass ----------------------------------------------------------
    void SplitPass();
    // Writes the bytes now in the buffer into pieces, opening and closing them.
    void WriteStep(const char* buffer);
    // Chooses NextPieSize for pie PieNumber and makes sure the target can take
    // it, prompting for a disk until it can.
    void PreparePieSize();
    // Sets CurrentPie to the path of pie m on the target.
    void BuildPiePath(std::int64_t m);
    // Bytes to hold back on the current target for the self-joining pack.
    std::int64_t JoinerReserve();
    // Prompts for the disk that holds CurrentPie until the file is there.
    void RequirePieFile();
    // Shows the disk dialog on the window thread; stops the job when the user gives up.
    void PromptForDisk();
    // Empties the target on the window thread.
    void EraseTarget();
    // Closes the open piece; a piece being written is incomplete and goes.
    void AbandonPiece();

    // ---- the compare pass and the report -------------------------------------
    void ComparePass();
    void CompareStep(const char* sourceBuffer, char* pieBuffer);
    [[noreturn]] void CompareError();
    void WriteReport();

    // ---- the self-joining pack ----------------------------------------------------
    // Writes gluedata.Zeq in the program folder from scratch with offsetText as
    // its line 2, and sets JoinerPattern from line 1 of glue.txt.
    void WriteJoinerData(const std::string& offsetText);
    // The joiner's file name (no folder) from JoinerPattern; it also becomes
    // CurrentPie, so the window shows it.
    std::string BuildJoinerName();
    // Asks for a target with RequiredSpace free bytes for the joiner file.
    void PromptForJoinerDisk(bool pieInTemp, const std::string& tempPath);

    // ---- ending the job and guarding the source ---------------------------------
    // Ends the job: unwinds to Execute, which shows the message (when text is
    // not empty) and ends the process with code.
    [[noreturn]] void Stop(int code, const std::string& text = {},
                           const std::string& caption = "Application Error",
                           MsgIcon icon = MsgIcon::Error);
    // Stops with the system's text for the last platform failure.
    [[noreturn]] void StopOnFile(const std::string& what, const std::string& path);
    void PassGate();
    // True when path names the source file (compared by identity).
    bool IsSource(const std::string& path);
    // Refuses the job when path, about to be written as what, is the source.
    void GuardSource(const std::string& path, const std::string& what);
    // Stops unless the source is a regular file; then opens it into source.
    void OpenSource(plat::File& source);

    JobState& state_;
    const JobSettings& job_;
    IWindowBridge& bridge_;
    WorkerPosition pos_;

    plat::File piece_;          // the piece being written or read back
    bool pieceWritten_ = false; // piece_ is a piece being written (removed when incomplete)
    std::string piecePath_;
    plat::FileId pieceId_;  // identity of the piece being written
    plat::FileId sourceId_; // identity of the source as opened by the split pass
    bool sourceOpened_ = false;

    std::thread thread_;
    PauseGate gate_;
};
