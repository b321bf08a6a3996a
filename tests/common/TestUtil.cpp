#include "TestUtil.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <random>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#ifdef TESTUTIL_XCB
#include <xcb/xcb.h>
#endif

extern char** environ;

namespace testutil {

namespace fs = std::filesystem;

TempDir::TempDir(const std::string& prefix) {
    std::string t = (fs::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (!::mkdtemp(t.data())) throw std::runtime_error("mkdtemp failed");
    path_ = t;
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

std::string CrLfLines(const std::vector<std::string>& lines) {
    std::string s;
    for (const std::string& l : lines)
        s += l + "\r\n";
    return s;
}

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

RunResult Run(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
              unsigned safetyMs) {
    Process p(argv, env);
    return p.Wait(safetyMs);
}

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
