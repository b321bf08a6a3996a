// The split engine: the shared job state, the job files that fill it, and the
// worker Zeq that cuts the source into pieces ("pies"), checks them against the
// source, writes the report and leaves the self-joining pack on the target.
#pragma once

#include "PauseGate.h"
#include "Shared.h"
#include "uBridge.h"
#include "uUtils.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Platform.h"

class Zeq;

// Everything the worker and the windows share. The job fields are set once by
// LoadJob before the worker starts and only read afterwards.
struct JobState {
    // ---- the job (pienames.txt, piesizes.txt, piesplit.txt) -------------
    std::vector<std::string> PieNames; // line 0: count of leading zeros; then name patterns
    std::vector<std::string> PieSizes; // sizes of pieces 1, 2, ...; 0 fills the target
    std::string JobTitle;
    std::string SourcePath;
    std::string TargetPath;
    std::int64_t KeepFree = 0;
    std::int64_t BufferSize = 0;
    std::int64_t JoinerPie = 0;
    std::int64_t CheckInterval = 0;
    std::int64_t EraseOption = 0;
    std::int64_t CrcOption = 0;
    std::int64_t CompareOption = 0;
    std::string ReportPath;
    bool MakeCrc = false;
    bool ComparePies = false;
    std::string ProgramFolder; // where the job files and the joiner files live

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

    // ---- the worker's own (read by others only after it ended) ------------
    std::int64_t PieNumber = 1;
    std::int64_t ComparePieNumber = 1;
    std::int64_t SizeIndex = 0;
    std::int64_t NameIndex = 1;
    bool PieOpen = false;
    std::int64_t PieLeft = 0;
    std::int64_t NextPieSize = 0;
    std::uint64_t LastRead = 0;
    std::uint32_t CrcValue = 0;
    std::vector<std::string> CrcHexList;
    std::vector<std::string> CrcDecList;
    std::string JoinerPiePath;
    std::string JoinerPattern; // glue.txt line 1: name pattern of the joiner file
};

// ---- the job files ---------------------------------------------------------

// Reads a decimal integer: optional blanks, an optional sign, digits, optional
// blanks, and nothing else; false when the text is not one or does not fit.
bool ParseDecimal(const std::string& text, std::int64_t& value);

// Fills the fields of piesplit.txt from its text, line by line: a text line is
// taken whole; a number skips the blanks, tabs and line breaks before it, is the
// run of characters up to the next one at or below the blank (at most 32), and
// the rest of its line is skipped. Past the end a number is 0 and a text empty.
// MakeCrc and ComparePies are derived. False with a message for a bad number.
bool ReadPieSplit(const std::string& text, JobState& job, std::string& error);

// Checks what the worker relies on: a zero count of 0 to 255 and at least one
// non-empty name pattern, at least one piece size and every size a decimal from
// 0 to 2147483647, a BufferSize of 2 or more, a source and a target path.
bool CheckJob(const JobState& job, std::string& error);

// Reads the three job files from folder (with its trailing separator) into job
// and checks them. False with a message fit for the user when they cannot be
// read or do not make a job.
bool LoadJob(const std::string& folder, JobState& job, std::string& error);

// ---- piece names -------------------------------------------------------------

// The text a '*' gives for piece number m: m in decimal, padded with leading
// zeros to n + 1 digits where n is the zero count. Digits of m are never dropped.
std::string PieNumberText(std::int64_t zeroCount, std::int64_t m);
// Expands a name pattern: '*' gives numberText, '/' the extension of the source
// without its dot, '\' the source's name without extension; all else stands for itself.
std::string ExpandPattern(const std::string& pattern, const std::string& numberText,
                          const std::string& sourcePath);

// Upper-case hexadecimal without leading zeros, and unsigned decimal.
std::string CrcHex(std::uint32_t crc);
std::string CrcDec(std::uint32_t crc);

// ---- the worker -----------------------------------------------------------------

class Zeq {
  public:
    Zeq(JobState& job, IWindowBridge& bridge);
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

    // ---- the steps, also used by the joiner ------------------------------------
    void WriteStep(const char* buffer);
    void PreparePieSize();
    void BuildPiePath(std::int64_t m);
    std::int64_t JoinerReserve();
    void RequirePieFile();
    void PromptForDisk();
    void EraseTarget();
    void ComparePass();
    void CompareStep(const char* sourceBuffer, char* pieBuffer);
    void WriteReport();

    // |JoinerPie| without overflow for the smallest value.
    std::uint64_t JoinerK() const;

    // ---- the self-joining pack (uJoiner.cpp) -------------------------------------
    // Writes gluedata.Zeq in the program folder from scratch with offsetText as
    // its line 2, and sets JoinerPattern from line 1 of glue.txt.
    void WriteJoinerData(const std::string& offsetText);
    // Expands JoinerPattern into the joiner's file name (no folder): '*' gives
    // the number text of k when JoinerPie is not 0 and nothing when it is.
    // The name also becomes CurrentPie, so the window shows it.
    std::string BuildJoinerName(std::uint64_t k);

  protected:
    // The self-joining pack, made after the report when |JoinerPie| is not
    // greater than the number of pieces, with WritingPies false and the join
    // notice shown: glue32.exe, the joiner data and, for k of 1 or more, the
    // bytes of pie k (whose file is then deleted) are put together in
    // ZeqGlue.tmp in the program folder and copied to the target as the
    // executable joiner file. Should that copy fail, ZeqGlue.tmp stays where
    // it is and the message says so; it may hold the only copy of pie k.
    virtual void MakeJoiner();

    // Ends the job: unwinds to Execute, which shows the message (when text is
    // not empty) and ends the process with code.
    [[noreturn]] void Stop(int code, const std::string& text = {},
                           const std::string& caption = "Application Error",
                           MsgIcon icon = MsgIcon::Error);
    // Stops with the system's text for the last platform failure.
    [[noreturn]] void StopOnFile(const std::string& what, const std::string& path);
    void PassGate();

    JobState& job_;
    IWindowBridge& bridge_;

  private:
    // Asks for a target with RequiredSpace free bytes for the joiner file.
    void PromptForJoinerDisk(bool pieInTemp, const std::string& tempPath);
    void SplitPass();
    [[noreturn]] void CompareError();
    void AbandonPiece();

    plat::File piece_;          // the piece being written or read back
    bool pieceWritten_ = false; // piece_ is a piece being written (removed when incomplete)
    std::string piecePath_;

    std::thread thread_;
    PauseGate gate_;
};
