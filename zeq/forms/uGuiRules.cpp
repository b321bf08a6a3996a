#include "uGuiRules.h"

#include "uCore.h"

#include <climits>

std::string MainCaption(const std::string& captionArg, const std::string& jobTitle) {
    return (captionArg.empty() ? std::string(guitext::DefaultCaption) : captionArg) + jobTitle;
}

void ProgressFigures(std::uint64_t sourceSize, std::uint64_t sourceDone, std::uint64_t pieDone,
                     int& maximum, int& position) {
    std::uint64_t max = sourceSize;
    std::uint64_t pos = (sourceDone >> 1) + (pieDone >> 1);
    while (max > INT_MAX || pos > INT_MAX) {
        max >>= 1;
        pos >>= 1;
    }
    maximum = static_cast<int>(max);
    position = static_cast<int>(pos);
}

std::string MemoryText(std::int64_t inMemory, std::int64_t bufferSize) {
    return std::to_string(inMemory) + " bytes in memory of alloted " + std::to_string(bufferSize) +
           " bytes.";
}

std::string FreeSpaceText(std::int64_t freeBytes, std::int64_t totalBytes) {
    std::string percent = "?";
    if (totalBytes / 1024 != 0)
        percent = std::to_string((freeBytes / 1024) * 100 / (totalBytes / 1024));
    else if (totalBytes > 0)
        percent = std::to_string(freeBytes * 100 / totalBytes);
    return std::to_string(freeBytes) + " bytes remain free on target location (" + percent + "%).";
}

TStatsFigures StatsFigures(const JobState& job, const SpaceFn& freeSpace,
                           const SpaceFn& totalSpace) {
    TStatsFigures f;
    ProgressFigures(job.SourceSize.Get(), job.SourceDone.Get(), job.PieDone.Get(), f.maximum,
                    f.position);
    f.currentPie = job.CurrentPie.Get();
    f.memory = MemoryText(static_cast<std::int64_t>(job.BufferFill.Get()) + job.CompareFill.Get(),
                          job.Settings().BufferSize);
    const std::string& target = job.Settings().TargetPath;
    f.freeSpace = FreeSpaceText(freeSpace(target), totalSpace(target));
    f.finished = job.Finished;
    return f;
}
