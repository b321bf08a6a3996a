// Selection of the files that the cabinet writer packs.
//
// An entry of AddFiles or RecurseFiles is a path whose last part is a file
// mask. The entry is split at its last path separator: the folder part is
// everything up to and including that separator (empty when there is none,
// meaning the process's current folder), the mask is the rest. On this
// platform the only separator is plat::PathSep ("/"); a backslash is an
// ordinary character of a file name here. Where the platform's separator is
// the backslash, the colon of a drive and the forward slash split too.
//
// The walk, the same for counting and adding: when recursing, first every
// subfolder of the folder, in the order the directory listing gives them, each
// walked whole; then the folder's own files that match the mask, again in
// listing order. Nothing is sorted.
//  - Hidden subfolders (names beginning with ".") are not entered; hidden
//    files in entered folders are selected.
//  - Symbolic links are never followed into: a link to a folder is neither
//    entered nor selected. A link to a file is selected like the file itself
//    when it points to a plain file.
//  - Only plain files are selected: devices, pipes and sockets never are, so a
//    build can never block on reading one.
//  - Mask matching is plat::MatchMask: '*' any run, '?' one character, no case
//    distinction, "*.*" matches every name; an empty mask matches nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Splits an entry into its folder part (with its closing separator) and mask.
void SplitEntry(const std::string& entry, std::string& folder, std::string& mask);

// True for a character at which entries and cabinet paths are split.
bool IsEntrySeparator(char c);

// The name under which a file is stored in the cabinet. Its components are
// always joined by "\", whatever the platform's separator.
//  - storePath false: the found name alone (partialPath changes nothing).
//  - storePath and partialPath: the source path less the root in front of it,
//    so a file directly in the root is stored under its bare name.
//  - storePath alone: the source path less its drive part and the separator
//    after it. A path without a drive part (every path here) loses its leading
//    separator. Empty, "." and ".." components are left out, so a relative
//    folder such as "../data/" never yields a name that climbs out of the
//    folder it is extracted to.
std::string NameInCabinet(const std::string& sourcePath, const std::string& foundName,
                          const std::string& root, bool storePath, bool partialPath);

// Number of files that the walk of folder with mask selects.
std::int32_t CountFiles(const std::string& mask, const std::string& folder, bool recurse);

// What the adding walk works for: the naming switches, the abort flag, which
// is looked at before each file, and the step run for each selected file.
struct TFileSelTarget {
    bool StorePath = false;
    bool PartialPath = false;
    std::function<bool()> Aborted;
    std::function<void(const std::string& sourcePath, const std::string& nameInCab)> AddFile;
};

// Runs target.AddFile for each file of the walk, in walk order. Once the abort
// flag is set no further file is added. root is the folder part of the entry;
// it stays the same while the walk descends.
void AddMatchingFiles(const std::string& mask, const std::string& folder, bool recurse,
                      const std::string& root, const TFileSelTarget& target);
