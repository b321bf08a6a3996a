// Small helpers of the split engine: parts of file names, the space of the
// target, whole-file reading, line splitting, the emptying of a target folder,
// the lines of a message and arithmetic that stops at the limits.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "Platform.h"

// True for a character that separates the parts of a path: the platform's own
// separator, and on Windows also '/', which the system takes as one too. On
// Linux a backslash is an ordinary character of a name.
constexpr bool IsPathSeparator(char c) {
    return c == plat::PathSep || c == '/';
}

// Extension of the last path component without its dot ("avi" for /clips/movie.avi);
// empty when the component has no dot.
std::string ExtWithoutDot(const std::string& path);
// Last path component without its extension and dot ("archive.tar" for archive.tar.gz).
std::string NameWithoutExt(const std::string& path);

// Free bytes available to us, and total bytes, of the file system that holds the
// target folder; -1 when the folder does not exist or cannot be queried (no disk).
std::int64_t TargetFree(const std::string& path);
std::int64_t TargetTotal(const std::string& path);

// Why path cannot be split as a source: a folder, or no regular file at all;
// empty when it is a regular file or does not exist (opening it then says why).
std::string NotRegularReason(const std::string& path);

// folder + separator + name, with exactly one separator between them.
std::string JoinPath(const std::string& folder, const std::string& name);

// Reads a whole file; false with the system's error recorded when it cannot.
bool ReadWholeFile(const std::string& path, std::string& bytes);

// Splits text into lines at CR LF, LF or a lone CR. A final line break does not
// start another (empty) line, so "a\r\nb\r\n" gives two lines.
std::vector<std::string> SplitLines(const std::string& text);

// Empties folder. Files lying directly in it are always deleted; with
// eraseOption > 0 every subfolder is emptied and removed as well, otherwise
// subfolders stay untouched. Symbolic links are deleted, never followed. The
// folder itself stays. onEntry, when set, is told each file path before it is
// deleted (the erase dialog shows it). Failures are passed over: what cannot be
// deleted stays. A file whose identity is keep (the source of the job) is never
// deleted, whatever name or folder it is met under.
void EraseFolder(const std::string& folder, std::int64_t eraseOption,
                 const std::function<void(const std::string&)>& onEntry = {},
                 const plat::FileId* keep = nullptr);


// The lines of a message, separated by single carriage returns.
std::string Lines(std::initializer_list<std::string> parts);

// a + b and a - b, held at the limits of the type instead of overflowing.
std::int64_t SatAdd(std::int64_t a, std::int64_t b);
std::int64_t SatSub(std::int64_t a, std::int64_t b);
