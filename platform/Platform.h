// Operating-system services used by both programs. The program cores call only
// these functions, never the system directly, so another platform needs only a
// second implementation of this header.
//
// Failures follow one pattern: the function returns its failure value and
// records the system's error code for the calling thread, which LastError()
// gives back and ErrorText() turns into the system's own message.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plat {

// The separator used in paths the programs build.
#ifdef _WIN32
inline constexpr char PathSep = '\\';
#else
inline constexpr char PathSep = '/';
#endif

// ---- errors -------------------------------------------------------------

int LastError();                 // the code recorded by the last failure on this thread
void SetLastError(int code);     // lets callers record a failure of their own
std::string ErrorText(int code); // the system's message for a code
std::string LastErrorText();     // ErrorText(LastError())
int ErrorNameTooLong();          // the system's code for a name or path that is too long
int ErrorFileTooLarge();         // ... for a size or position a result cannot hold
int ErrorNotRegularFile();       // ... for a device, pipe or folder where a file belongs

// ---- files --------------------------------------------------------------

using FileHandle = std::intptr_t;
inline constexpr FileHandle InvalidFile = -1;

enum class OpenMode {
    Read,         // existing file, read only, sequential
    ReadWrite,    // existing file, read and write
    CreateAlways, // write only; created, or truncated when it exists
    CreateNew,    // read and write; fails when the file exists
    Append,       // write only at the end; created when missing
    // Read and write; fails when the file exists. The file goes away when its
    // handle is closed or the process ends, however it ends: its name is
    // removed right after opening here, and the file is opened for deletion
    // on close on Windows.
    CreateTemporary,
};

FileHandle OpenFile(const std::string& path, OpenMode mode);
// Reads up to count bytes; returns the count read (0 at the end), -1 on failure.
std::int64_t ReadFile(FileHandle f, void* buffer, std::size_t count);
// Writes count bytes, retrying short writes; returns the count written, which
// is less than count only on failure (the error is recorded then).
std::int64_t WriteFile(FileHandle f, const void* buffer, std::size_t count);
enum class SeekFrom { Begin = 0, Current = 1, End = 2 };
std::int64_t SeekFile(FileHandle f, std::int64_t distance, SeekFrom from); // new position or -1
std::int64_t FileSize(FileHandle f);                                       // -1 on failure
bool CloseFile(FileHandle f);

// Small owner that closes its file when it goes out of scope.
class File {
  public:
    File() = default;
    explicit File(FileHandle h) : h_(h) {}
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& o) noexcept : h_(o.h_) { o.h_ = InvalidFile; }
    File& operator=(File&& o) noexcept;
    ~File() { Close(); }
    bool Open(const std::string& path, OpenMode mode);
    bool IsOpen() const { return h_ != InvalidFile; }
    FileHandle Handle() const { return h_; }
    FileHandle Release();
    bool Close(); // true when nothing was open or the close succeeded

  private:
    FileHandle h_ = InvalidFile;
};

// ---- names in the file system --------------------------------------------

bool FileExists(const std::string& path);         // exists and is not a folder
bool FolderExists(const std::string& path);       // exists and is a folder (links followed)
bool PathExists(const std::string& path);         // anything, a dangling link included
bool IsRegularFile(const std::string& path);      // a plain file (links followed): no folder,
                                                  // device, pipe or socket
std::int64_t FileSizeOf(const std::string& path); // -1 on failure

// The identity of a file: the same for every name and link that leads to it
// (device and inode here; volume serial number and file index on Windows).
struct FileId {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    bool operator==(const FileId&) const = default;
};
bool GetFileId(const std::string& path, FileId& id); // links followed; false when absent
bool GetFileId(FileHandle f, FileId& id);
// True when both names lead to one existing file.
bool SameFile(const std::string& a, const std::string& b);
bool DeleteFile(const std::string& path); // a file or a link (never what it points to)
bool CreateFolder(const std::string& path);
bool RemoveFolder(const std::string& path); // an empty folder
bool CopyFile(const std::string& from, const std::string& to, bool failIfExists);
bool SetExecutable(const std::string& path); // owner, group and others may run it
bool SetWritable(const std::string& path);   // clears the read-only state

struct DirEntry {
    std::string name;
    bool isFolder = false; // a real folder; a link to a folder is not one
    bool isLink = false;
    bool hidden = false;   // the name begins with a dot
    bool readOnly = false; // nobody has write permission
};
// Lists a folder in the order the system returns its entries, without "." and "..".
bool ListFolder(const std::string& folder, std::vector<DirEntry>& entries);

// A folder held open, whose entries are listed, entered, deleted and removed
// relative to it. Entering a subfolder never follows a symbolic link, so a walk
// that starts at one folder stays inside it even when entries change under it.
class Folder {
  public:
    Folder() = default;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    ~Folder() { Close(); }
    bool Open(const std::string& path); // links along the path itself are followed
    // Opens the subfolder name of parent; fails for anything but a real folder.
    bool OpenChild(const Folder& parent, const std::string& name);
    bool IsOpen() const { return h_ != -1; }
    void Close();
    bool List(std::vector<DirEntry>& entries) const;  // as ListFolder
    bool DeleteFile(const std::string& name) const;   // a file or a link, never a folder
    bool RemoveFolder(const std::string& name) const; // an empty subfolder

  private:
    // The system's handle of the folder (a descriptor here, a directory handle
    // on Windows), and the path it was opened by, which Windows needs to list it.
    std::intptr_t h_ = -1;
    std::string path_;
};

// Mask matching of the directory search: '*' any run, '?' one character,
// no case distinction, and "*.*" matches every name.
bool MatchMask(const std::string& name, const std::string& mask);

// Attributes in the DOS sense: 0x01 read-only, 0x02 hidden, 0x04 system, 0x20 archive.
struct FileInfo {
    std::int64_t size = 0;
    std::uint16_t dosDate = 0; // local modification time
    std::uint16_t dosTime = 0;
    std::uint32_t attributes = 0;
};
bool GetFileInfo(FileHandle f, FileInfo& info); // size and time of an open file
bool GetFileAttributes(const std::string& path, std::uint32_t& attributes);

// ---- volumes -----------------------------------------------------------

// Bytes available to the caller, and total bytes, of the file system holding
// the folder; -1 when the folder does not exist or cannot be queried.
std::int64_t VolumeFree(const std::string& folder);
std::int64_t VolumeTotal(const std::string& folder);

// ---- temporary files, program folder ------------------------------------

std::string TempFolder(); // with a trailing separator
// Creates a new empty file with a unique name in folder, whose name starts
// with prefix, and returns its path; empty on failure.
std::string MakeTempFile(const std::string& folder, const std::string& prefix);
std::string ProgramFolder(); // folder of the running program, trailing separator

// ---- threads and the process ---------------------------------------------

// Makes the system fail critical errors (a drive without its medium) quietly
// instead of asking the user, and returns the error mode that was in force;
// RestoreErrorMode brings it back. Nothing to do where no such box exists.
unsigned QuietCriticalErrors();
void RestoreErrorMode(unsigned previous);

// Seven levels from idle (-3) over normal (0) to time critical (3). A level the
// process may not take leaves the thread at normal; returns false then.
bool SetCurrentThreadPriority(int level);
void SleepMs(unsigned ms);
std::uint64_t MonotonicMs();
[[noreturn]] void ExitProcess(int code);
// True when the process's standard error goes to a terminal.
bool StderrIsTerminal();

} // namespace plat
