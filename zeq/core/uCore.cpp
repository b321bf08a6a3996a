#include "uCore.h"

#include "Text.h"

#include "uCRC32.h"
#include "uJoiner.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <new>

namespace {

// Thrown by Zeq::Stop and caught by Zeq::Execute, so that every file the worker
// holds is closed on the way out.
struct JobEnd {
    int code;
    std::string text;
    std::string caption;
    MsgIcon icon;
};

// The joiner's parts go through one buffer of this size, block by block.
constexpr std::size_t BlockSize = 65537;

// The offset's own digits count towards the data they stand in, so the data is
// written again until the two agree. The digit count only ever moves one way,
// so a few passes settle it; more mean the files changed underneath us.
constexpr int MaxDataPasses = 24;

// Removes the joiner step's temporary files however it ends, except
// ZeqGlue.tmp while it holds the only copy of pie k or a pack the target did
// not take. Only what the step made goes: a ZeqGlue.tmp kept by an earlier job
// stays until the step replaces it. The files are closed by then (declared
// after this).
struct Leftovers {
    std::string data, temp;
    bool tempMade = false;
    bool keepTemp = false;
    ~Leftovers() {
        if (tempMade && !keepTemp) plat::DeleteFile(temp);
        plat::DeleteFile(data);
    }
};

} // namespace

// ---- the job -------------------------------------------------------------------

bool LoadJob(const std::string& folder, JobState& state, std::string& error) {
    JobSettings job;
    if (!ReadJob(folder, job, error)) return false;
    state.SetSettings(std::move(job));
    return true;
}

// ---- the worker -----------------------------------------------------------------

Zeq::Zeq(JobState& state, IWindowBridge& bridge)
    : state_(state), job_(state.Settings()), bridge_(bridge) {
    state.Worker = this;
}

Zeq::~Zeq() {
    if (thread_.joinable()) thread_.join();
    if (state_.Worker == this) state_.Worker = nullptr;
}

void Zeq::Start() {
    thread_ = std::thread([this] { Execute(); });
}

void Zeq::Wait() {
    if (thread_.joinable()) thread_.join();
}

void Zeq::Pause() {
    gate_.Close();
}

void Zeq::Resume() {
    gate_.Open();
}

bool Zeq::Paused() const {
    return gate_.IsClosed();
}

void Zeq::PassGate() {
    gate_.Pass();
}

void Zeq::Stop(int code, const std::string& text, const std::string& caption, MsgIcon icon) {
    throw JobEnd{code, text, caption, icon};
}

void Zeq::StopOnFile(const std::string& what, const std::string& path) {
    Stop(1, Lines({what, path, plat::LastErrorText()}));
}

bool Zeq::IsSource(const std::string& path) {
    plat::FileId id;
    if (!plat::GetFileId(path, id)) return false;
    if (sourceOpened_ && id == sourceId_) return true;
    if (job_.SourceKnown && id == job_.SourceId) return true;
    plat::FileId now;
    return plat::GetFileId(job_.SourcePath, now) && id == now;
}

void Zeq::GuardSource(const std::string& path, const std::string& what) {
    if (IsSource(path))
        Stop(1, Lines({JobRefused, what + " would be written over the source file:", path}),
             "Velmora Zeq");
}

void Zeq::OpenSource(plat::File& source) {
    const std::string& path = job_.SourcePath;
    // Checked before opening: opening a pipe would wait for a writer.
    std::string why = NotRegularReason(path);
    if (!why.empty()) Stop(1, Lines({"The source cannot be split:", path, why}));
    plat::FileId before, id;
    const bool known = plat::GetFileId(path, before);
    if (!source.Open(path, plat::OpenMode::Read)) StopOnFile("Cannot open the source file", path);
    if (!plat::GetFileId(source.Handle(), id) || (known && !(id == before)))
        Stop(1, Lines({"The source file was replaced while it was opened:", path}));
}

void Zeq::AbandonPiece() {
    piece_.Close();
    // Only the very file this job created goes, and never the source.
    plat::FileId id;
    if (pieceWritten_ && plat::GetFileId(piecePath_, id) && id == pieceId_ && !IsSource(piecePath_))
        plat::DeleteFile(piecePath_);
    pieceWritten_ = false;
    pos_.PieOpen = false;
}

void Zeq::Execute() {
    JobEnd end{0, {}, {}, MsgIcon::None};
    try {
        // 1. The files read whole later on are opened read-only where they are used.
        if (job_.EraseOption != 0) EraseTarget();
        SplitPass();
        if (job_.ComparePies) ComparePass();
        if (!job_.ReportPath.empty()) WriteReport();
        if (job_.JoinerK() <= static_cast<std::uint64_t>(pos_.PieNumber)) {
            state_.WritingPies = false;
            bridge_.Synchronize([this] { bridge_.ShowJoinNotice(); });
            MakeJoiner();
        }
        state_.Finished = true;
        return;
    } catch (const JobEnd& e) {
        end = e;
    } catch (const std::bad_alloc&) {
        end = {1, "Not enough memory for the split.", "Application Error", MsgIcon::Error};
    } catch (const std::exception& e) {
        end = {1, e.what(), "Application Error", MsgIcon::Error};
    }
    AbandonPiece();
    if (!end.text.empty()) {
        const std::string text = ShortenedText(end.text);
        bridge_.Synchronize(
            [&] { bridge_.MessageBox(text, end.caption, end.icon, MsgButtons::Ok); });
    }
    state_.Finished = true;
    EndProcess(end.code);
}

void Zeq::EraseTarget() {
    bridge_.Synchronize([this] { bridge_.EraseTarget(state_); });
}

void Zeq::PromptForDisk() {
    bool ok = false;
    bridge_.Synchronize([&] { ok = bridge_.PromptForDisk(state_); });
    if (!ok) Stop(1); // the user gave up; no piece is open now
}

void Zeq::RequirePieFile() {
    while (!plat::FileExists(state_.CurrentPie.Get()))
        PromptForDisk();
}

void Zeq::SplitPass() {
    plat::File source;
    OpenSource(source);
    sourceOpened_ = plat::GetFileId(source.Handle(), sourceId_);
    std::int64_t size = plat::FileSize(source.Handle());
    if (size < 0) StopOnFile("Cannot read the size of the source file", job_.SourcePath);
    state_.SourceSize.Set(static_cast<std::uint64_t>(size));

    // The buffer never needs to be larger than the source.
    std::uint64_t bufferSize =
        std::min<std::uint64_t>(static_cast<std::uint64_t>(job_.BufferSize),
                                std::max<std::uint64_t>(state_.SourceSize.Get(), 1));
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[bufferSize]);
    if (!buffer)
        Stop(1, "Not enough memory for a buffer of " + std::to_string(bufferSize) + " bytes.");
    state_.CompareFill.Set(0);

    while (state_.SourceDone.Get() < state_.SourceSize.Get()) {
        PassGate();
        state_.BufferFill.Set(0);
        std::uint64_t want =
            std::min(bufferSize, state_.SourceSize.Get() - state_.SourceDone.Get());
        std::int64_t r = plat::ReadFile(source.Handle(), buffer.get(), want);
        if (r < 0) StopOnFile("Cannot read the source file", job_.SourcePath);
        if (r == 0) {
            Stop(1, Lines({"The source file became shorter while it was split:", job_.SourcePath}));
        }
        state_.SourceDone.Add(static_cast<std::uint64_t>(r));
        state_.BufferFill.Add(static_cast<std::uint64_t>(r));
        pos_.LastRead = static_cast<std::uint64_t>(r);
        WriteStep(buffer.get());
    }
    source.Close();
    pos_.PieNumber -= 1;
    buffer.reset();
}

void Zeq::WriteStep(const char* buffer) {
    const char* cursor = buffer;
    while (state_.BufferFill.Get() > 0) {
        if (!pos_.PieOpen) {
            PreparePieSize();
            BuildPiePath(pos_.PieNumber);
            std::string path = state_.CurrentPie.Get();
            if (job_.JoinerK() == static_cast<std::uint64_t>(pos_.PieNumber))
                pos_.JoinerPiePath = path;
            if (job_.MakeCrc) pos_.CrcValue = 0xFFFFFFFFu;
            PassGate();
            piecePath_ = path;
            // The name may only now be known (a new disk, a pattern with '*').
            GuardSource(path, "Pie " + std::to_string(pos_.PieNumber));
            if (!piece_.Open(path, plat::OpenMode::CreateAlways))
                StopOnFile("Cannot create the pie file", path);
            pieceWritten_ = plat::GetFileId(piece_.Handle(), pieceId_);
            pos_.PieLeft = pos_.NextPieSize;
            pos_.PieOpen = true;
        }
        // The last piece holds only what is left of the source.
        std::uint64_t fill = state_.BufferFill.Get();
        if (state_.SourceDone.Get() == state_.SourceSize.Get() &&
            fill < static_cast<std::uint64_t>(pos_.PieLeft))
            pos_.PieLeft = static_cast<std::int64_t>(fill);
        while (state_.BufferFill.Get() > 0 && pos_.PieLeft > 0) {
            PassGate();
            std::uint64_t n =
                std::min(state_.BufferFill.Get(), static_cast<std::uint64_t>(pos_.PieLeft));
            std::int64_t w = plat::WriteFile(piece_.Handle(), cursor, n);
            if (w < static_cast<std::int64_t>(n))
                StopOnFile("Cannot write the pie file", piecePath_);
            if (job_.MakeCrc) pos_.CrcValue = CrcUpdate(pos_.CrcValue, n, cursor);
            state_.PieDone.Add(n);
            pos_.PieLeft -= w;
            cursor += n;
            state_.BufferFill.Sub(n);
        }
        if (pos_.PieLeft == 0) {
            if (!piece_.Close()) StopOnFile("Cannot write the pie file", piecePath_);
            pieceWritten_ = false;
            pos_.PieOpen = false;
            if (job_.MakeCrc) {
                pos_.CrcValue = CrcFinish(pos_.CrcValue);
                pos_.CrcHexList.push_back(CrcHex(pos_.CrcValue));
                pos_.CrcDecList.push_back(CrcDec(pos_.CrcValue));
            }
            pos_.PieNumber += 1;
        }
    }
}

void Zeq::PreparePieSize() {
    const std::int64_t size = job_.PieSize(pos_.PieNumber);
    const bool fill = size == 0;
    // The free space is measured again after every prompt; a piece that fills the
    // target takes its size from the same measurement that passed the test.
    for (;;) {
        std::int64_t reserve = JoinerReserve();
        std::int64_t required = SatAdd(SatAdd(job_.KeepFree, fill ? 1 : size), reserve);
        state_.RequiredSpace.Set(required);
        std::int64_t free = FreeSpace(job_.TargetPath);
        if (required > free) {
            PromptForDisk();
            continue;
        }
        pos_.NextPieSize = fill ? SatSub(SatSub(free, job_.KeepFree), reserve) : size;
        return;
    }
}

void Zeq::BuildPiePath(std::int64_t m) {
    state_.CurrentPie.Set(job_.PiePath(m));
}

std::int64_t Zeq::JoinerReserve() {
    std::uint64_t k = job_.JoinerK();
    if (k > static_cast<std::uint64_t>(pos_.PieNumber)) return 0;
    std::string glue = job_.ProgramFolder + "glue32.exe";
    std::int64_t size = plat::FileSizeOf(glue);
    if (size < 0) StopOnFile("Cannot find the joiner program", glue);
    if (k < static_cast<std::uint64_t>(pos_.PieNumber) && !plat::FileExists(pos_.JoinerPiePath))
        return 0; // the piece that the joiner takes in is not on this target
    return size + 8192;
}

[[noreturn]] void Zeq::CompareError() {
    Stop(1,
         "The pies do not match the original file!\rPlease check your target media and try to "
         "split again.",
         "Compare Error!", MsgIcon::Error);
}

void Zeq::ComparePass() {
    state_.WritingPies = false;
    state_.SourceDone.Set(0);
    state_.PieDone.Set(0);
    plat::File source;
    OpenSource(source);
    std::uint64_t half =
        std::min<std::uint64_t>(static_cast<std::uint64_t>(job_.BufferSize / 2),
                                std::max<std::uint64_t>(state_.SourceSize.Get(), 1));
    std::unique_ptr<char[]> sourceBuffer(new (std::nothrow) char[half]);
    std::unique_ptr<char[]> pieBuffer(new (std::nothrow) char[half]);
    if (!sourceBuffer || !pieBuffer)
        Stop(1, "Not enough memory for two buffers of " + std::to_string(half) + " bytes.");
    bridge_.Synchronize([this] { bridge_.ShowCompareNotice(); });

    while (state_.SourceDone.Get() < state_.SourceSize.Get()) {
        PassGate();
        state_.BufferFill.Set(0);
        state_.CompareFill.Set(0);
        std::uint64_t want = std::min(half, state_.SourceSize.Get() - state_.SourceDone.Get());
        std::int64_t r = plat::ReadFile(source.Handle(), sourceBuffer.get(), want);
        if (r < 0) StopOnFile("Cannot read the source file", job_.SourcePath);
        if (r == 0) CompareError(); // the source changed since it was split
        state_.SourceDone.Add(static_cast<std::uint64_t>(r));
        state_.BufferFill.Add(static_cast<std::uint64_t>(r));
        CompareStep(sourceBuffer.get(), pieBuffer.get());
    }
    source.Close();
    // Piece bytes beyond the end of the source: the pieces are longer than it.
    if (pos_.PieOpen && pos_.PieLeft > 0) CompareError();
    piece_.Close();
    pos_.PieOpen = false;
}

void Zeq::CompareStep(const char* sourceBuffer, char* pieBuffer) {
    const std::int64_t fill = static_cast<std::int64_t>(state_.BufferFill.Get());
    while (state_.CompareFill.Get() < fill) {
        if (!pos_.PieOpen) {
            BuildPiePath(pos_.ComparePieNumber);
            RequirePieFile();
            PassGate();
            piecePath_ = state_.CurrentPie.Get();
            if (!piece_.Open(piecePath_, plat::OpenMode::Read))
                StopOnFile("Cannot open the pie file", piecePath_);
            std::int64_t size = plat::FileSize(piece_.Handle());
            if (size < 0) StopOnFile("Cannot read the size of the pie file", piecePath_);
            pos_.PieLeft = size;
            pos_.PieOpen = true;
        }
        while (state_.CompareFill.Get() < fill && pos_.PieLeft > 0) {
            PassGate();
            std::int64_t have = state_.CompareFill.Get();
            std::uint64_t want = static_cast<std::uint64_t>(std::min(fill - have, pos_.PieLeft));
            std::int64_t r = plat::ReadFile(piece_.Handle(), pieBuffer + have, want);
            if (r < 0) StopOnFile("Cannot read the pie file", piecePath_);
            if (r == 0) CompareError(); // the piece is shorter than when it was opened
            state_.CompareFill.Add(r);
            state_.PieDone.Add(static_cast<std::uint64_t>(r));
            pos_.PieLeft -= r;
        }
        if (pos_.PieLeft == 0) {
            piece_.Close();
            pos_.PieOpen = false;
            pos_.ComparePieNumber += 1;
        }
    }
    if (std::memcmp(sourceBuffer, pieBuffer, static_cast<std::size_t>(fill)) != 0) CompareError();
}

void Zeq::WriteReport() {
    std::string text = std::to_string(pos_.PieNumber) + "\r\n";
    if (job_.MakeCrc) {
        for (const std::string& crc : pos_.CrcHexList)
            text += crc + "\r\n";
    }
    plat::File report;
    GuardSource(job_.ReportPath, "The report");
    if (!report.Open(job_.ReportPath, plat::OpenMode::Append))
        StopOnFile("Cannot open the report file", job_.ReportPath);
    // Appending changes nothing until the first write: look again at what opened.
    plat::FileId id;
    if (plat::GetFileId(report.Handle(), id) &&
        ((sourceOpened_ && id == sourceId_) || (job_.SourceKnown && id == job_.SourceId)))
        Stop(1,
             Lines({JobRefused,
                    "The report would be written over the source file:", job_.ReportPath}),
             "Velmora Zeq");
    if (plat::WriteFile(report.Handle(), text.data(), text.size()) !=
        static_cast<std::int64_t>(text.size()))
        StopOnFile("Cannot write the report file", job_.ReportPath);
    if (!report.Close()) StopOnFile("Cannot write the report file", job_.ReportPath);
}

// ---- the self-joining pack -------------------------------------------------------

void Zeq::WriteJoinerData(const std::string& offsetText) {
    const std::string settingsPath = job_.ProgramFolder + "glue.txt";
    const std::string dataPath = job_.ProgramFolder + "gluedata.Zeq";
    std::string settingsText;
    if (!ReadWholeFile(settingsPath, settingsText))
        StopOnFile("Cannot read the joiner settings", settingsPath);
    const JoinerSettings glue = ParseJoinerSettings(settingsText);
    pos_.JoinerPattern = glue.JoinerPattern;
    const std::string text = JoinerDataText(job_, glue, state_.SourceSize.Get(), pos_.PieNumber,
                                            pos_.CrcDecList, offsetText);

    plat::File data;
    GuardSource(dataPath, "The joiner data");
    if (!data.Open(dataPath, plat::OpenMode::CreateAlways))
        StopOnFile("Cannot create the joiner data", dataPath);
    if (plat::WriteFile(data.Handle(), text.data(), text.size()) !=
        static_cast<std::int64_t>(text.size()))
        StopOnFile("Cannot write the joiner data", dataPath);
    if (!data.Close()) StopOnFile("Cannot write the joiner data", dataPath);
}

std::string Zeq::BuildJoinerName() {
    std::string name = job_.JoinerName(pos_.JoinerPattern);
    state_.CurrentPie.Set(name);
    return name;
}

void Zeq::PromptForJoinerDisk(bool pieInTemp, const std::string& tempPath) {
    bool ok = false;
    bridge_.Synchronize([&] { ok = bridge_.PromptForDisk(state_); });
    if (ok) return;
    if (!pieInTemp) Stop(1); // the pies are where they were written
    // Pie k has left the target already: say where its bytes are.
    Stop(1,
         Lines({"The self-joining pack was not placed on the target.",
                "Pie " + std::to_string(job_.JoinerK()) +
                    " is no longer on the target; its bytes are kept, with the joiner, in",
                tempPath, "Move that file away before the next split job with a joiner."}),
         "Velmora Zeq", MsgIcon::Warning);
}

void Zeq::MakeJoiner() {
    const std::string gluePath = job_.ProgramFolder + "glue32.exe";
    const std::string dataPath = job_.ProgramFolder + "gluedata.Zeq";
    const std::string tempPath = job_.ProgramFolder + "ZeqGlue.tmp";
    const std::uint64_t k = job_.JoinerK();
    Leftovers leftovers{dataPath, tempPath};

    // The joiner data, with line 2 the position of pie k's first byte in the
    // joiner file (for k = 0 the end of the file): the joiner program's size
    // plus the data's own size, the offset's digits included.
    const std::int64_t glueSize = plat::FileSizeOf(gluePath);
    if (glueSize < 0) StopOnFile("Cannot find the joiner program", gluePath);
    std::string offsetText = "00000";
    std::int64_t offset = 0;
    for (int pass = 0;; ++pass) {
        WriteJoinerData(offsetText);
        std::int64_t dataSize = plat::FileSizeOf(dataPath);
        if (dataSize < 0) StopOnFile("Cannot read the size of the joiner data", dataPath);
        offset = glueSize + dataSize;
        if (std::to_string(offset) == offsetText) break;
        if (pass == MaxDataPasses)
            Stop(1, Lines({"The joiner files changed while the pack was made:", gluePath,
                           job_.ProgramFolder + "glue.txt"}));
        offsetText = std::to_string(offset);
    }

    const std::string name = BuildJoinerName();
    if (name.empty())
        Stop(1, Lines({"The joiner file has no name: line 1 of", job_.ProgramFolder + "glue.txt",
                       "gives an empty name."}));
    if (name.find('\0') != std::string::npos)
        Stop(1, Lines({"The joiner file's name holds a NUL byte: line 1 of",
                       job_.ProgramFolder + "glue.txt"}));
    const std::string target = JoinPath(job_.TargetPath, name);
    // Checked before pie k leaves the target, and again before the copy.
    GuardSource(target, "The joiner file");

    std::unique_ptr<char[]> buffer(new (std::nothrow) char[BlockSize]);
    if (!buffer)
        Stop(1, "Not enough memory for a buffer of " + std::to_string(BlockSize) + " bytes.");
    plat::File temp;
    GuardSource(tempPath, "The joiner file");
    leftovers.tempMade = true; // replaced from here on, even if the open fails midway
    if (!temp.Open(tempPath, plat::OpenMode::CreateAlways))
        StopOnFile("Cannot create the joiner file", tempPath);
    std::uint64_t written = 0;
    // Appends the whole file at path; returns its CRC-32.
    auto append = [&](const std::string& path, const std::string& what) {
        plat::File in;
        if (!in.Open(path, plat::OpenMode::Read)) StopOnFile("Cannot open " + what, path);
        std::uint32_t crc = 0xFFFFFFFFu;
        for (;;) {
            PassGate();
            std::int64_t r = plat::ReadFile(in.Handle(), buffer.get(), BlockSize);
            if (r < 0) StopOnFile("Cannot read " + what, path);
            if (r == 0) break;
            std::size_t n = static_cast<std::size_t>(r);
            if (plat::WriteFile(temp.Handle(), buffer.get(), n) != r)
                StopOnFile("Cannot write the joiner file", tempPath);
            crc = CrcUpdate(crc, n, buffer.get());
            written += n;
        }
        return CrcFinish(crc);
    };
    append(gluePath, "the joiner program");
    append(dataPath, "the joiner data");
    if (written != static_cast<std::uint64_t>(offset))
        Stop(1, Lines({"The joiner program changed while the pack was made:", gluePath}));

    std::string piePath;
    if (k != 0) {
        // The pie may be on another disk by now.
        BuildPiePath(static_cast<std::int64_t>(k));
        RequirePieFile();
        piePath = state_.CurrentPie.Get();
        std::uint32_t crc = append(piePath, "the pie file");
        // A file of that name on the wrong disk is not pie k, and must not be
        // taken in and deleted.
        if (job_.MakeCrc && k <= pos_.CrcHexList.size() && CrcHex(crc) != pos_.CrcHexList[k - 1])
            Stop(1, Lines({"The pie file is not the pie that was written:", piePath,
                           "Its CRC-32 is " + CrcHex(crc) + ", the pie had " +
                               pos_.CrcHexList[k - 1] + "."}));
    }
    // Closed before pie k goes, so that a late write error still finds the pie in place.
    if (!temp.Close()) StopOnFile("Cannot write the joiner file", tempPath);
    if (k != 0) {
        if (!plat::DeleteFile(piePath)) StopOnFile("Cannot delete the pie file", piePath);
        leftovers.keepTemp = true; // the only copy of pie k from here on
        state_.CurrentPie.Set(name);
    }

    // Room for the joiner file: a full target asks for a new disk.
    state_.RequiredSpace.Set(SatAdd(static_cast<std::int64_t>(written), job_.KeepFree));
    state_.WritingPies = true;
    while (state_.RequiredSpace.Get() > FreeSpace(job_.TargetPath))
        PromptForJoinerDisk(k != 0, tempPath);

    if (IsSource(target)) {
        leftovers.keepTemp = true;
        Stop(1,
             Lines({Lines({JobRefused,
                           "The joiner file would be written over the source file:", target}),
                    k != 0
                        ? "The joiner, with the bytes of pie " + std::to_string(k) + ", is kept in"
                        : "The joiner is kept in",
                    tempPath}),
             "Velmora Zeq");
    }
    if (!plat::CopyFile(tempPath, target, false)) {
        std::string why = plat::LastErrorText();
        leftovers.keepTemp = true;
        Stop(1, Lines({"Cannot copy the joiner file to the target", target, why,
                       k != 0 ? "It is kept, with the bytes of pie " + std::to_string(k) + ", in"
                              : "It is kept in",
                       tempPath, "Move that file away before the next split job with a joiner."}));
    }
    leftovers.keepTemp = false; // the pack is on the target now
    if (!plat::SetExecutable(target)) StopOnFile("Cannot make the joiner file executable", target);
    if (!plat::DeleteFile(tempPath))
        StopOnFile("Cannot delete the temporary joiner file", tempPath);
    if (!plat::DeleteFile(dataPath)) StopOnFile("Cannot delete the joiner data", dataPath);
}
