// What every fuzz target shares: a loud stop when a property fails, and a
// scratch folder of the process's own for targets that read from files.
#pragma once

#include <string>

namespace fuzz {

// Prints the message and aborts, so libFuzzer keeps the input as a crash.
[[noreturn]] void Fail(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A folder made once per process (with a trailing '/'), removed at exit.
const std::string& ScratchFolder();

// Replaces the file at path with bytes; fails the run when it cannot.
void WriteBytes(const std::string& path, const std::string& bytes);

} // namespace fuzz
