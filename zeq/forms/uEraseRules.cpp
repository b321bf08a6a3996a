#include "uEraseRules.h"

#include "uCore.h"
#include "uUtils.h"

namespace {
// Thrown from the entry callback to leave the walk of EraseFolder early.
struct EraseStopped {};
} // namespace

void EraseJobFolder(const JobState& job, const std::string& folder, std::string& currentErase,
                    const std::function<void()>& processMessages,
                    const std::function<bool()>& stop) {
    try {
        auto onEntry = [&](const std::string& entry) {
            currentErase = entry;
            if (processMessages) processMessages();
            if (stop && stop()) throw EraseStopped{};
        };
        // The job's source is never erased, whatever name it has in the target.
        ::EraseFolder(folder, job.Settings().EraseOption, onEntry,
                      job.Settings().SourceKnown ? &job.Settings().SourceId : nullptr);
    } catch (const EraseStopped&) {
        // What is left stays; the caller judges the disk by its free space.
    }
}
