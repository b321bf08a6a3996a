// The main window's texts and figures, free of any toolkit: its caption, the
// phase notices, the captions of its toggles, and what each statistics tick
// shows.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct JobState;

namespace guitext {
inline constexpr const char* DefaultCaption = "Zeq Split Engine: ";
inline constexpr const char* SplitNotice = "Splitting into pies...";
inline constexpr const char* CompareNotice = "Comparing pies against original file...";
inline constexpr const char* JoinNotice = "Making pies self uniting...";
inline constexpr const char* Pause = "Pause";
inline constexpr const char* Paused = "Paused";
inline constexpr const char* PauseHint = "Pause or resume the split";
inline constexpr const char* More = "More";
inline constexpr const char* Less = "Less";
inline constexpr const char* MoreHint = "Show or hide details of the split";
inline constexpr const char* Maker = "Velmora";
inline constexpr const char* Family = "Ondrel Family";
} // namespace guitext

// The caption: captionArg when it is not empty, else "Zeq Split Engine: ";
// the job title follows.
std::string MainCaption(const std::string& captionArg, const std::string& jobTitle);

// The progress bar's figures: maximum SourceSize, position the bytes read and
// the bytes written (or compared), each halved before they are added; both are
// scaled down together until they fit the bar's int range.
void ProgressFigures(std::uint64_t sourceSize, std::uint64_t sourceDone, std::uint64_t pieDone,
                     int& maximum, int& position);

// The details panel's figures.
std::string MemoryText(std::int64_t inMemory, std::int64_t bufferSize);
// The percentage is free KiB times 100 over total KiB. A target whose size in
// whole KiB is 0 has none: below 1 KiB it is taken from the bytes, and an
// unreadable or empty target shows "?" in its place.
std::string FreeSpaceText(std::int64_t freeBytes, std::int64_t totalBytes);

// Everything one statistics tick shows, read from the job's figures.
struct TStatsFigures {
    int maximum = 0, position = 0; // the progress bar
    std::string currentPie;        // FileName
    std::string memory;            // Stat1
    std::string freeSpace;         // Stat2
    bool finished = false;         // the program ends after this tick
};
using SpaceFn = std::function<std::int64_t(const std::string&)>;
TStatsFigures StatsFigures(const JobState& job, const SpaceFn& freeSpace,
                           const SpaceFn& totalSpace);
