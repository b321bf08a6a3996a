// Start-up of the cabinet builder and its two directives: the launch token,
// the settings directive read into the component and the start-up state, and
// the job blocks of the list directive served to the build worker.
#pragma once

#include "vFwCAB.h"
#include "vShared.h"

#include <string>
#include <vector>

inline constexpr const char* LaunchToken = "plumb";

// Reads the nine lines of the settings directive into cab and state, each
// value as soon as its line is read. On an input/output error or a line that
// does not hold a number, reading stops there and the text for the user comes
// back (with its full stop); empty when all went well.
std::string ReadSettings(const std::string& path, tvFwCAB& cab, TShellState& state);

// Reads the next job block of the list directive into cab: the cabinet path
// (with the ".cab" rule) and the file masks up to each "$" line, appended
// to the lists, which are never emptied. False, reading nothing, once the
// build is cancelled or the list is at its end.
bool ReadNextJob(tvFwCAB& cab, TShellState& state);

enum class TStartUp {
    Run,            // start the worker now
    RunOnFirstTick, // the settings stopped early: the timer's first tick starts the worker
    Exit0,          // end the process with exit code 0
    Exit1,          // end the process with exit code 1
};

// The start-up checks and reading, in order: the launch token (args[1]), the
// two directives (args[2], args[3]), the opening of the list directive and the
// settings. args[0] is the program. Boxes are shown through box.
TStartUp StartUp(const std::vector<std::string>& args, tvFwCAB& cab, TShellState& state,
                 const MessageBoxFn& box);

// StartUp, then the end of the process where it calls for one (exit code 0 or
// 1). True when the worker is to start now, false when the first tick of the
// window's timer starts it.
bool StartUpOrExit(const std::vector<std::string>& args, tvFwCAB& cab, TShellState& state,
                   const MessageBoxFn& box);

// The progress window's own values for the component; the settings directive
// overwrites the ones it covers.
void SetWindowDefaults(tvFwCAB& cab);
