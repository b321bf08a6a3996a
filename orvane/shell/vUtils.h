// Small helpers of the cabinet builder: the parts of a cabinet path, the name
// rules for cabinets, the free space of a target folder and the worker's
// priority levels. No Qt, no state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// True for a character that ends the folder part of a path: the native
// separator, and on a platform with drive letters also the drive colon.
bool IsNameDelimiter(char c);

// Folder part of a path, up to and including its last delimiter; empty when
// the path has none.
std::string FolderPart(const std::string& path);
// The rest of the path after its folder part.
std::string FileNamePart(const std::string& path);

// A cabinet path whose file name holds no "." gets ".cab" appended; any other
// path comes back unchanged.
std::string WithCabExtension(const std::string& path);

// The file name part of a path without its extension. The extension (from the
// last "." of the name to its end) is removed where it first occurs in the
// name, which need not be its end: "old.cab.new.cab" gives "old.new.cab".
std::string FileStem(const std::string& path);

// Free bytes available to the caller on the file system that holds folder, or
// -1 when it cannot be queried. An empty folder means the current one.
std::int64_t DriveFreeSpace(const std::string& folder);

// The platform priority (-3 idle .. 3 time critical) for a level of the
// settings directive: 0 is time critical, 6 idle, anything else normal.
int PriorityOfLevel(std::int32_t level);
// Priority the worker runs at when the settings never name one.
inline constexpr int InitialWorkerPriority = -3;

// The text with a full stop appended unless it already ends in one.
std::string WithFullStop(const std::string& text);
