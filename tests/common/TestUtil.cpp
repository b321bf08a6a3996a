#include "TestUtil.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>
#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif
#ifdef TESTUTIL_XCB
#include <xcb/xcb.h>
#endif

namespace testutil {

namespace fs = std::filesystem;

TempDir::TempDir(const std::string& prefix) {
#ifdef _WIN32
    // A random suffix, tried again while the name is taken.
    std::random_device rd;
    for (int i = 0; i < 100 && path_.empty(); ++i) {
        std::string t =
            (fs::temp_directory_path() / (prefix + "-" + std::to_string(rd() % 1000000000u)))
                .string();
        if (::CreateDirectoryA(t.c_str(), nullptr)) path_ = t;
    }
    if (path_.empty()) throw std::runtime_error("cannot make a temporary folder");
#else
    std::string t = (fs::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (!::mkdtemp(t.data())) throw std::runtime_error("mkdtemp failed");
    path_ = t;
#endif
}

TempDir::~TempDir() {
    std::error_code ec;
    // Read-only folders left by a test must not keep their contents alive.
    for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::end(it);
         it.increment(ec)) {
        if (!it->is_symlink())
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(path_, ec);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string RandomBytes(std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s)
        c = static_cast<char>(rng());
    return s;
}

bool Exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

void SetEnv(const std::string& name, const std::string& value) {
#ifdef _WIN32
    ::_putenv_s(name.c_str(), value.c_str());
#else
    ::setenv(name.c_str(), value.c_str(), 1);
#endif
}

void UnsetEnv(const std::string& name) {
#ifdef _WIN32
    ::_putenv_s(name.c_str(), ""); // an empty value removes the variable there
#else
    ::unsetenv(name.c_str());
#endif
}

const char* TempFolderVariable() {
#ifdef _WIN32
    return "TMP";
#else
    return "TMPDIR";
#endif
}

std::tm LocalTime(std::time_t t) {
    std::tm tm{};
#ifdef _WIN32
    ::localtime_s(&tm, &t);
#else
    ::localtime_r(&t, &tm);
#endif
    return tm;
}

bool SetModifiedTime(const std::string& path, std::time_t t) {
#ifdef _WIN32
    HANDLE h = ::CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    // Windows counts 100 ns steps from 1601.
    std::uint64_t ticks = (static_cast<std::uint64_t>(t) + 11644473600ull) * 10000000ull;
    FILETIME ft{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    bool ok = ::SetFileTime(h, nullptr, &ft, &ft) != 0;
    ::CloseHandle(h);
    return ok;
#else
    timespec times[2] = {{t, 0}, {t, 0}};
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
#endif
}

std::string CrLfLines(const std::vector<std::string>& lines) {
    std::string s;
    for (const std::string& l : lines)
        s += l + "\r\n";
    return s;
}

#ifdef _WIN32

namespace {

// Quotes one argument so that the C runtime's command-line parser gives it back
// unchanged: backslashes double only before a quote.
std::string QuoteArg(const std::string& a) {
    if (!a.empty() && a.find_first_of(" \t\n\v\"") == std::string::npos) return a;
    std::string q = "\"";
    std::size_t slashes = 0;
    for (char c : a) {
        if (c == '\\') {
            ++slashes;
            continue;
        }
        q.append(c == '"' ? slashes * 2 + 1 : slashes, '\\');
        slashes = 0;
        q += c;
    }
    q.append(slashes * 2, '\\');
    return q + "\"";
}

// Wine's own calls between its drive paths and the Linux file system; null on a
// real Windows.
using ToUnixFn = char*(__cdecl*)(const wchar_t*);
using ToDosFn = wchar_t*(__cdecl*)(const char*);

template <typename Fn> Fn WineCall(const char* name) {
    HMODULE k = ::GetModuleHandleA("kernel32.dll");
    return k ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(k, name))) : nullptr;
}

std::string UnixPath(const std::string& dos) {
    static ToUnixFn toUnix = WineCall<ToUnixFn>("wine_get_unix_file_name");
    if (!toUnix) return {};
    std::wstring w(dos.begin(), dos.end());
    char* u = toUnix(w.c_str());
    if (!u) {
        // A name that does not exist yet: its folder, then the name.
        std::string::size_type cut = dos.find_last_of("\\/");
        if (cut == std::string::npos || cut < 3) return {};
        std::string folder = UnixPath(dos.substr(0, cut));
        return folder.empty() ? folder : folder + "/" + dos.substr(cut + 1);
    }
    std::string r = u;
    ::HeapFree(::GetProcessHeap(), 0, u);
    return r;
}

std::string DosPath(const std::string& unix) {
    static ToDosFn toDos = WineCall<ToDosFn>("wine_get_dos_file_name");
    if (!toDos) return {};
    wchar_t* w = toDos(unix.c_str());
    if (!w) return {};
    std::string r;
    for (const wchar_t* p = w; *p; ++p)
        r += static_cast<char>(*p);
    ::HeapFree(::GetProcessHeap(), 0, w);
    return r;
}

// An argument for a Linux program: a Windows path in it, whole or after an
// option's letters ("-oC:\x"), becomes the Linux path of the same file.
std::string LinuxArg(const std::string& a) {
    for (std::size_t i = 0; i + 2 < a.size(); ++i) {
        if (std::isalpha(static_cast<unsigned char>(a[i])) && a[i + 1] == ':' &&
            (a[i + 2] == '\\' || a[i + 2] == '/')) {
            std::string u = UnixPath(a.substr(i));
            if (!u.empty()) return a.substr(0, i) + u;
            break;
        }
    }
    return a;
}

std::string ShellQuote(const std::string& a) {
    std::string q = "'";
    for (char c : a)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// A program of Windows' own search path, found the way CreateProcess would.
bool OnWindowsPath(const std::string& name) {
    char buf[MAX_PATH];
    return ::SearchPathA(nullptr, name.c_str(), ".exe", MAX_PATH, buf, nullptr) > 0;
}

bool UnderWine() {
    HMODULE nt = ::GetModuleHandleA("ntdll.dll");
    return nt && ::GetProcAddress(nt, "wine_get_version");
}

} // namespace

bool OnWindows() {
    return true;
}

std::string LinuxProgram(const std::string& name) {
    if (!UnderWine()) return {};
    if (!name.empty() && name[0] == '/') return DosPath(name).empty() ? "" : name;
    for (const char* dir : {"/usr/local/bin/", "/usr/bin/", "/bin/"}) {
        std::string dos = DosPath(dir + name);
        DWORD a = dos.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesA(dos.c_str());
        if (a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY)) return dir + name;
    }
    return {};
}

Process::Process(const std::vector<std::string>& argv,
                 const std::map<std::string, std::string>& env, const std::string& workDir) {
    if (argv.empty()) return;
    std::vector<std::string> args = argv;
    std::string& prog = args[0];
    bool bare = prog.find_first_of("\\/:") == std::string::npos;
    bool exe = prog.size() > 4 && prog.compare(prog.size() - 4, 4, ".exe") == 0;
    if (prog[0] == '/' && exe) {
        // A Windows program of the build tree, named by its Linux path.
        std::string dos = DosPath(prog);
        if (!dos.empty()) prog = dos;
    } else if ((prog[0] == '/' || (bare && !OnWindowsPath(prog))) && !LinuxProgram(prog).empty()) {
        StartLinux(argv, workDir);
        return;
    }

    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE readEnd, writeEnd;
    if (!::CreatePipe(&readEnd, &writeEnd, &sa, 0)) return;
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    std::string cmd;
    for (const std::string& a : args)
        cmd += (cmd.empty() ? "" : " ") + QuoteArg(a);

    // The child's environment: ours with the given names replaced.
    std::string block;
    if (!env.empty()) {
        std::map<std::string, std::string> all;
        char* own = ::GetEnvironmentStringsA();
        for (const char* p = own; p && *p; p += std::strlen(p) + 1) {
            std::string kv = p;
            std::string::size_type eq = kv.find('=', 1);
            if (eq != std::string::npos) all[kv.substr(0, eq)] = kv.substr(eq + 1);
        }
        if (own) ::FreeEnvironmentStringsA(own);
        for (const auto& [k, v] : env)
            all[k] = v;
        for (const auto& [k, v] : all)
            block += k + "=" + v + '\0';
        block += '\0';
    }

    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    PROCESS_INFORMATION pi{};
    BOOL ok = ::CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0,
                               block.empty() ? nullptr : block.data(),
                               workDir.empty() ? nullptr : workDir.c_str(), &si, &pi);
    ::CloseHandle(writeEnd);
    if (!ok) {
        ::CloseHandle(readEnd);
        return;
    }
    ::CloseHandle(pi.hThread);
    pid_ = static_cast<int>(pi.dwProcessId);
    process_ = reinterpret_cast<std::intptr_t>(pi.hProcess);
    out_ = reinterpret_cast<std::intptr_t>(readEnd);
}

// Under Wine a Linux program starts apart from the Windows process tree: no
// handle comes back to wait on. A shell runs it instead, with a time limit that
// ends it for sure, and leaves its output and then its exit code in files.
void Process::StartLinux(const std::vector<std::string>& argv, const std::string& workDir) {
    char tmp[MAX_PATH + 1];
    if (!::GetTempPathA(sizeof tmp, tmp)) return;
    std::random_device rd;
    std::string dir;
    for (int i = 0; i < 100 && dir.empty(); ++i) {
        std::string t = std::string(tmp) + "linuxrun-" + std::to_string(rd() % 1000000000u);
        if (::CreateDirectoryA(t.c_str(), nullptr)) dir = t;
    }
    std::string unixDir = dir.empty() ? "" : UnixPath(dir);
    if (unixDir.empty()) return;
    std::string script = "cd " + ShellQuote(workDir.empty() ? unixDir : LinuxArg(workDir)) +
                         " && timeout -s KILL 600 " + ShellQuote(LinuxProgram(argv[0]));
    for (std::size_t i = 1; i < argv.size(); ++i)
        script += " " + ShellQuote(LinuxArg(argv[i]));
    script += " </dev/null >" + ShellQuote(unixDir + "/out") + " 2>&1; echo $? >" +
              ShellQuote(unixDir + "/rc.new") + " && mv " + ShellQuote(unixDir + "/rc.new") + " " +
              ShellQuote(unixDir + "/rc");
    std::string cmd = "sh -c " + QuoteArg(script);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::string sh = DosPath("/bin/sh");
    if (!::CreateProcessA(sh.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                          &pi))
        return;
    if (pi.hProcess) ::CloseHandle(pi.hProcess);
    if (pi.hThread) ::CloseHandle(pi.hThread);
    linuxDir_ = dir;
    pid_ = 0; // started, but without a Windows process id
}

bool Process::LinuxDone() {
    std::string rc = ReadFile(linuxDir_ + "\\rc");
    if (rc.empty()) return false;
    done_ = true;
    result_.exitCode = std::atoi(rc.c_str());
    result_.output = ReadFile(linuxDir_ + "\\out");
    std::error_code ec;
    fs::remove_all(linuxDir_, ec);
    return true;
}

Process::~Process() {
    if (process_ && !done_) {
        ::TerminateProcess(reinterpret_cast<HANDLE>(process_), 1);
        Wait(60000);
    }
    if (!linuxDir_.empty() && !done_) Wait(660000); // the shell's time limit ends it
    if (process_) ::CloseHandle(reinterpret_cast<HANDLE>(process_));
    if (out_) ::CloseHandle(reinterpret_cast<HANDLE>(out_));
}

void Process::Drain() {
    if (!out_) return;
    HANDLE h = reinterpret_cast<HANDLE>(out_);
    char buf[4096];
    for (;;) {
        DWORD avail = 0;
        if (!::PeekNamedPipe(h, nullptr, 0, nullptr, &avail, nullptr) || avail == 0) break;
        DWORD got = 0;
        if (!::ReadFile(h, buf, avail < sizeof buf ? avail : sizeof buf, &got, nullptr) || got == 0)
            break;
        output_.append(buf, got);
    }
}

bool Process::Running() {
    if (done_) return false;
    if (!linuxDir_.empty()) return !LinuxDone();
    if (!process_) return false;
    HANDLE h = reinterpret_cast<HANDLE>(process_);
    if (::WaitForSingleObject(h, 0) == WAIT_TIMEOUT) return true;
    done_ = true;
    Drain();
    DWORD code = 0;
    result_.exitCode = ::GetExitCodeProcess(h, &code) ? static_cast<int>(code) : -1;
    result_.output = output_;
    return false;
}

RunResult Process::Wait(unsigned safetyMs) {
    if (!process_ && linuxDir_.empty()) return result_;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(safetyMs);
    while (!done_) {
        if (!Running()) break;
        Drain();
        if (std::chrono::steady_clock::now() > deadline) {
            if (process_) {
                ::TerminateProcess(reinterpret_cast<HANDLE>(process_), 1);
                ::WaitForSingleObject(reinterpret_cast<HANDLE>(process_), INFINITE);
                Drain();
            }
            done_ = true;
            result_.exitCode = -1;
            result_.output = output_ + "\n[killed after " + std::to_string(safetyMs) + " ms]";
            break;
        }
        ::Sleep(20);
    }
    return result_;
}

#else

Process::Process(const std::vector<std::string>& argv,
                 const std::map<std::string, std::string>& env, const std::string& workDir) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fds[1], 1);
        ::dup2(fds[1], 2);
        for (const auto& [k, v] : env)
            ::setenv(k.c_str(), v.c_str(), 1);
        if (!workDir.empty() && ::chdir(workDir.c_str()) != 0) ::_exit(127);
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    if (pid < 0) {
        ::close(fds[0]);
        return;
    }
    pid_ = pid;
    outFd_ = fds[0];
    ::fcntl(outFd_, F_SETFL, O_NONBLOCK);
}

Process::~Process() {
    if (pid_ > 0 && !done_) {
        ::kill(pid_, SIGKILL);
        Wait(60000);
    }
    if (outFd_ >= 0) ::close(outFd_);
}

void Process::Drain() {
    if (outFd_ < 0) return;
    char buf[4096];
    for (;;) {
        ssize_t r = ::read(outFd_, buf, sizeof buf);
        if (r <= 0) break;
        output_.append(buf, static_cast<std::size_t>(r));
    }
}

bool Process::Running() {
    if (pid_ <= 0 || done_) return false;
    int status = 0;
    pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == 0) return true;
    done_ = true;
    Drain();
    result_.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result_.output = output_;
    return false;
}

RunResult Process::Wait(unsigned safetyMs) {
    if (pid_ <= 0) return result_;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(safetyMs);
    while (!done_) {
        if (!Running()) break;
        Drain();
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid_, SIGKILL);
            int status = 0;
            ::waitpid(pid_, &status, 0);
            done_ = true;
            Drain();
            result_.exitCode = -1;
            result_.output = output_ + "\n[killed after " + std::to_string(safetyMs) + " ms]";
            break;
        }
        pollfd p{outFd_, POLLIN, 0};
        ::poll(&p, 1, 20);
    }
    return result_;
}

bool OnWindows() {
    return false;
}

std::string LinuxProgram(const std::string& name) {
    return Run({"sh", "-c", "command -v '" + name + "' >/dev/null"}).exitCode == 0 ? name : "";
}

#endif

RunResult Run(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
              unsigned safetyMs) {
    Process p(argv, env);
    return p.Wait(safetyMs);
}

#ifndef _WIN32

XServer::XServer() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    pid_t pid = ::fork();
    if (pid == 0) {
        int devnull = ::open("/dev/null", O_RDWR);
        ::dup2(devnull, 0);
        ::dup2(devnull, 1);
        ::dup2(devnull, 2);
        ::dup2(fds[1], 3); // -displayfd writes the chosen number here
        const char* args[] = {"Xvfb", "-displayfd",  "3",         "-noreset", "-screen",
                              "0",    "1024x768x24", "-nolisten", "tcp",      nullptr};
        ::execvp("Xvfb", const_cast<char**>(args));
        ::_exit(127);
    }
    ::close(fds[1]);
    if (pid < 0) {
        ::close(fds[0]);
        return;
    }
    pid_ = pid;
    std::string number;
    char c;
    pollfd p{fds[0], POLLIN, 0};
    while (::poll(&p, 1, 20000) > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n')
        number += c;
    ::close(fds[0]);
    if (!number.empty()) display_ = std::atoi(number.c_str());
}

XServer::~XServer() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
}

RunResult XServer::XDo(const std::vector<std::string>& args) {
    std::vector<std::string> argv{"xdotool"};
    argv.insert(argv.end(), args.begin(), args.end());
    return Run(argv, {{"DISPLAY", display()}}, 30000);
}

std::string XServer::WaitWindow(const std::string& titleRegex, unsigned safetyMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(safetyMs);
    while (std::chrono::steady_clock::now() < deadline) {
        RunResult r = XDo({"search", "--onlyvisible", "--name", titleRegex});
        if (r.exitCode == 0 && !r.output.empty()) {
            std::string id = r.output.substr(0, r.output.find('\n'));
            if (!id.empty()) return id;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return {};
}

bool XServer::Screenshot(const std::string& pngPath) {
    return Run({"import", "-window", "root", pngPath}, {{"DISPLAY", display()}}, 60000).exitCode ==
           0;
}

void XServer::PressUntilGone(Process& p, const std::string& id, const std::string& titleRegex,
                             const std::string& key) {
    for (int i = 0; i < 100 && p.Running(); ++i) {
        XDo({"windowfocus", "--sync", id});
        XDo({"key", key});
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (XDo({"search", "--onlyvisible", "--name", titleRegex}).output.empty()) break;
    }
}

#endif

XClientHold::XClientHold(const std::string& display) {
#ifdef TESTUTIL_XCB
    for (int i = 0; i < 100; ++i) {
        c_ = xcb_connect(display.c_str(), nullptr);
        if (!xcb_connection_has_error(c_)) return;
        xcb_disconnect(c_);
        c_ = nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
#else
    (void)display;
#endif
}

XClientHold::~XClientHold() {
#ifdef TESTUTIL_XCB
    if (c_) xcb_disconnect(c_);
#endif
}

} // namespace testutil
