// The self-joining pack: the joiner program glue32.exe, the joiner data that
// describes the job, and for k of 1 or more the bytes of pie k, put together in
// the program folder and copied to the target as one executable file.
#include "uCore.h"

#include "uCRC32.h"

#include <algorithm>
#include <initializer_list>
#include <limits>
#include <memory>
#include <new>

namespace {

// The joiner's parts go through one buffer of this size, block by block.
constexpr std::size_t BlockSize = 65537;

// The offset's own digits count towards the data they stand in, so the data is
// written again until the two agree. The digit count only ever moves one way,
// so a few passes settle it; more mean the files changed underneath us.
constexpr int MaxDataPasses = 24;

std::string Lines(std::initializer_list<std::string> parts) {
    std::string s;
    for (const std::string& p : parts) {
        if (!s.empty()) s += '\r';
        s += p;
    }
    return s;
}

std::int64_t SatAdd(std::int64_t a, std::int64_t b) {
    std::int64_t r;
    if (!__builtin_add_overflow(a, b, &r)) return r;
    return b > 0 ? std::numeric_limits<std::int64_t>::max()
                 : std::numeric_limits<std::int64_t>::min();
}

// Removes the step's temporary files however it ends, except ZeqGlue.tmp while
// it holds the only copy of pie k or a pack the target did not take. Only what
// this step made goes: a ZeqGlue.tmp kept by an earlier job stays until this
// step replaces it. The files are closed by then (declared after this).
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

void Zeq::WriteJoinerData(const std::string& offsetText) {
    const std::string settingsPath = job_.ProgramFolder + "glue.txt";
    const std::string dataPath = job_.ProgramFolder + "gluedata.Zeq";
    std::string settingsText;
    if (!ReadWholeFile(settingsPath, settingsText))
        StopOnFile("Cannot read the joiner settings", settingsPath);
    // Lines missing at the end of glue.txt count as empty.
    std::vector<std::string> settings = SplitLines(settingsText);
    settings.resize(std::max<std::size_t>(settings.size(), 5));
    job_.JoinerPattern = settings[0];

    std::string text;
    auto line = [&text](const std::string& s) {
        text += s;
        text += "\r\n";
    };
    line(std::to_string(JoinerK()));
    line(offsetText);
    line(job_.JobTitle);
    line(job_.SourcePath);
    line(std::to_string(job_.SourceSize.Get()));
    line(job_.MakeCrc ? "1" : "0");
    for (std::size_t i = 1; i <= 4; ++i)
        line(settings[i]);
    line(std::to_string(job_.PieNumber));
    // The count of zeros as the engine read it ("+2", "-0" or a run of leading
    // zeros), in the plain form that every reader takes.
    std::int64_t zeros = 0;
    ParseDecimal(job_.PieNames.at(0), zeros);
    line(std::to_string(zeros));
    for (std::size_t i = 1; i < job_.PieNames.size(); ++i)
        line(job_.PieNames[i]);
    line("$");
    if (job_.MakeCrc) {
        for (const std::string& crc : job_.CrcDecList)
            line(crc);
    }
    line("$");

    plat::File data;
    GuardSource(dataPath, "The joiner data");
    if (!data.Open(dataPath, plat::OpenMode::CreateAlways))
        StopOnFile("Cannot create the joiner data", dataPath);
    if (plat::WriteFile(data.Handle(), text.data(), text.size()) !=
        static_cast<std::int64_t>(text.size()))
        StopOnFile("Cannot write the joiner data", dataPath);
    if (!data.Close()) StopOnFile("Cannot write the joiner data", dataPath);
}

std::string Zeq::BuildJoinerName(std::uint64_t k) {
    std::string number;
    if (job_.JoinerPie != 0) {
        std::int64_t zeros = 0;
        ParseDecimal(job_.PieNames.at(0), zeros);
        number = PieNumberText(zeros, static_cast<std::int64_t>(k));
    }
    std::string name = ExpandPattern(job_.JoinerPattern, number, job_.SourcePath);
    job_.CurrentPie.Set(name);
    return name;
}

void Zeq::PromptForJoinerDisk(bool pieInTemp, const std::string& tempPath) {
    bool ok = false;
    bridge_.Synchronize([&] { ok = bridge_.PromptForDisk(job_); });
    if (ok) return;
    if (!pieInTemp) Stop(1); // the pies are where they were written
    // Pie k has left the target already: say where its bytes are.
    Stop(1,
         Lines({"The self-joining pack was not placed on the target.",
                "Pie " + std::to_string(JoinerK()) +
                    " is no longer on the target; its bytes are kept, with the joiner, in",
                tempPath, "Move that file away before the next split job with a joiner."}),
         "Velmora Zeq", MsgIcon::Warning);
}

void Zeq::MakeJoiner() {
    const std::string gluePath = job_.ProgramFolder + "glue32.exe";
    const std::string dataPath = job_.ProgramFolder + "gluedata.Zeq";
    const std::string tempPath = job_.ProgramFolder + "ZeqGlue.tmp";
    const std::uint64_t k = JoinerK();
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

    const std::string name = BuildJoinerName(k);
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
        // The name pattern that pie k had; the pie may be on another disk by now.
        const std::uint64_t lines = job_.PieNames.size();
        job_.NameIndex = static_cast<std::int64_t>(k < lines ? k : lines - 1);
        BuildPiePath(static_cast<std::int64_t>(k));
        RequirePieFile();
        piePath = job_.CurrentPie.Get();
        std::uint32_t crc = append(piePath, "the pie file");
        // A file of that name on the wrong disk is not pie k, and must not be
        // taken in and deleted.
        if (job_.MakeCrc && k <= job_.CrcHexList.size() && CrcHex(crc) != job_.CrcHexList[k - 1])
            Stop(1, Lines({"The pie file is not the pie that was written:", piePath,
                           "Its CRC-32 is " + CrcHex(crc) + ", the pie had " +
                               job_.CrcHexList[k - 1] + "."}));
    }
    // Closed before pie k goes, so that a late write error still finds the pie in place.
    if (!temp.Close()) StopOnFile("Cannot write the joiner file", tempPath);
    if (k != 0) {
        if (!plat::DeleteFile(piePath)) StopOnFile("Cannot delete the pie file", piePath);
        leftovers.keepTemp = true; // the only copy of pie k from here on
        job_.CurrentPie.Set(name);
    }

    // Room for the joiner file: a full target asks for a new disk.
    job_.RequiredSpace.Set(SatAdd(static_cast<std::int64_t>(written), job_.KeepFree));
    job_.WritingPies = true;
    while (job_.RequiredSpace.Get() > FreeSpace(job_.TargetPath))
        PromptForJoinerDisk(k != 0, tempPath);

    if (IsSource(target)) {
        leftovers.keepTemp = true;
        Stop(1,
             Lines({Lines({"The split job cannot be run:",
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
