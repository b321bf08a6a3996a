// The erase dialog's work, free of any toolkit: emptying a folder of the
// job's target as its EraseOption asks, telling the dialog each entry it
// reaches and letting the window messages through before each file.
#pragma once

#include <functional>
#include <string>

struct JobState;

namespace erasetext {
inline constexpr const char* Caption = "Velmora Zeq - Erase";
inline constexpr const char* Heading = "Erasing files:";
} // namespace erasetext

// Empties folder as job's EraseOption asks (EraseFolder of the core): the
// files lying in it, and with EraseOption > 0 its subfolders as well, which
// are emptied and removed; the job's source is never erased. Before each
// file, currentErase becomes its path and processMessages runs; when stop is
// set and returns true there, the erase ends before that file.
void EraseJobFolder(const JobState& job, const std::string& folder, std::string& currentErase,
                    const std::function<void()>& processMessages,
                    const std::function<bool()>& stop);
