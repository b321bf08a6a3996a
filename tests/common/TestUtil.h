// Helpers shared by the test groups: temporary folders, whole-file input and
// output, running a program to its end, and a private X server.
#pragma once

struct xcb_connection_t;

#include <cstdint>
#include <ctime>
#include <map>
#include <string>
#include <vector>

namespace testutil {

// A fresh folder under the system's temporary folder, removed with all its
// contents when the object goes out of scope.
class TempDir {
  public:
    explicit TempDir(const std::string& prefix = "velmora");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + Sep + name; }
#ifdef _WIN32
    static constexpr char Sep = '\\';
#else
    static constexpr char Sep = '/';
#endif

  private:
    std::string path_;
};

std::string ReadFile(const std::string& path); // whole file; empty when missing
void WriteFile(const std::string& path, const std::string& bytes);
std::string RandomBytes(std::size_t n, std::uint32_t seed);
bool Exists(const std::string& path);
// Sets or removes a variable of this process's environment.
void SetEnv(const std::string& name, const std::string& value);
void UnsetEnv(const std::string& name);
// The variable that names the temporary folder: TMPDIR, or TMP on Windows.
const char* TempFolderVariable();
// The local calendar time of t, and setting a file's modification time.
std::tm LocalTime(std::time_t t);
bool SetModifiedTime(const std::string& path, std::time_t t);

// The lines, each ended with CR LF.
std::string CrLfLines(const std::vector<std::string>& lines);

// Result of a finished process.
struct RunResult {
    int exitCode = -1;  // -1 when it did not exit normally (killed, not started)
    std::string output; // stdout and stderr together
};

// A started process. The destructor kills and reaps it if it still runs, so a
// test never leaves a child behind. On Windows argv[0] is a program file (the
// search path is used when it has no folder), the arguments are quoted as the C
// runtime reads them back, and a Linux program can be started too when the
// tests run under Wine (see LinuxProgram).
class Process {
  public:
    Process(const std::vector<std::string>& argv,
            const std::map<std::string, std::string>& env = {}, const std::string& workDir = "");
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    int pid() const { return pid_; }
    bool Running();
    // Waits for the end; after safetyMs the process is killed (a guard against
    // hangs, not a timing check) and the result's exit code is -1.
    RunResult Wait(unsigned safetyMs = 120000);

  private:
    int pid_ = -1;
#ifdef _WIN32
    std::intptr_t process_ = 0; // process and pipe handles
    std::intptr_t out_ = 0;
    std::string linuxDir_; // a Linux program's output and exit code land here
    void StartLinux(const std::vector<std::string>& argv, const std::string& workDir);
    bool LinuxDone();
#else
    int outFd_ = -1;
#endif
    std::string output_;
    bool done_ = false;
    RunResult result_;
    void Drain();
};

// The path by which a test runs a Linux program of the build machine, such as
// cabextract: the program itself on Linux; under Wine, where Windows programs
// can start Linux ones by their file, the path on Wine's drive of the whole
// file system. Empty when the program cannot be found or started that way.
std::string LinuxProgram(const std::string& name);
// True when the tests run as Windows programs.
bool OnWindows();

RunResult Run(const std::vector<std::string>& argv,
              const std::map<std::string, std::string>& env = {}, unsigned safetyMs = 120000);

// A private X server (Xvfb) on a display number of its own, stopped and reaped
// by the destructor. available() is false when Xvfb cannot be started.
class XServer {
  public:
    XServer();
    ~XServer();
    bool available() const { return display_ >= 0; }
    std::string display() const { return ":" + std::to_string(display_); }
    // Runs xdotool with the given arguments on this display; returns its output.
    RunResult XDo(const std::vector<std::string>& args);
    // Waits until a window whose title matches the regular expression is
    // visible; returns its id, or empty after safetyMs.
    std::string WaitWindow(const std::string& titleRegex, unsigned safetyMs = 30000);
    // Saves a picture of the whole screen.
    bool Screenshot(const std::string& pngPath);
    // Focuses the window and presses key in it, again if the key arrived
    // before the window could take it, until no visible window matches the
    // title or the process has ended.
    void PressUntilGone(Process& p, const std::string& id, const std::string& titleRegex,
                        const std::string& key = "Return");

  private:
    int pid_ = -1;
    int display_ = -1;
};

// Holds a connection to an X server for as long as it lives. Xvfb resets
// itself whenever its last client leaves, and a program that connects during
// such a reset is turned away; with this client there is never a last one.
// Without libxcb at build time the hold does nothing and ok() is false.
class XClientHold {
  public:
    explicit XClientHold(const std::string& display);
    ~XClientHold();
    XClientHold(const XClientHold&) = delete;
    XClientHold& operator=(const XClientHold&) = delete;
    bool ok() const { return c_ != nullptr; }
    xcb_connection_t* connection() const { return c_; }

  private:
    xcb_connection_t* c_ = nullptr;
};

} // namespace testutil
