// zeq.exe and orvane.exe of the x86_64 Windows tree under wine64 on a private
// X server, their windows worked from outside by winpilot.exe as a person
// would. The drive E: of the Wine prefix is the symbolic link
// dosdevices/e: to the "disk" in the drive, a small tmpfs: changing the disk
// is pointing the link elsewhere, and no link is no disk.
#include "TestUtil.h"
#include "ZeqTestUtil.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <poll.h>
#include <sys/inotify.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using testutil::CrLfLines;
using testutil::Process;
using testutil::ReadFile;
using testutil::RunResult;
using testutil::WriteFile;
using zeqtest::Crc;

namespace {

const std::string Bin = WIN64_BIN;
const std::string DiskDialog = "Velmora Zeq - Change Disk";
const unsigned SafetyMs = 300000; // a guard against hangs, not a timing check

// The name Windows programs under Wine give a file of this machine (drive Z:).
std::string WinPath(std::string path) {
    for (char& c : path)
        if (c == '/') c = '\\';
    return "Z:" + path;
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The entries of a folder, by name.
std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Tells when a program has finished with a file in a folder: closed it after
// writing, or read it and closed it. Opening a file to see whether it exists
// reads nothing, so it does not count as reading.
class FileWatch {
  public:
    explicit FileWatch(const std::string& folder) : fd_(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK)) {
        if (fd_ >= 0 && ::inotify_add_watch(fd_, folder.c_str(),
                                            IN_ACCESS | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~FileWatch() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileWatch(const FileWatch&) = delete;
    FileWatch& operator=(const FileWatch&) = delete;

    // False when the process ended first or the safety time ran out.
    bool Wait(Process& p, const std::string& name, bool written) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(SafetyMs);
        bool read = false;
        while (fd_ >= 0 && p.Running() && std::chrono::steady_clock::now() < end) {
            pollfd pfd{fd_, POLLIN, 0};
            ::poll(&pfd, 1, 100);
            alignas(inotify_event) char buf[8192];
            ssize_t n;
            while ((n = ::read(fd_, buf, sizeof buf)) > 0) {
                for (char* at = buf; at < buf + n;) {
                    const auto* e = reinterpret_cast<const inotify_event*>(at);
                    at += sizeof(inotify_event) + e->len;
                    if (e->len == 0 || name != e->name) continue;
                    if (e->mask & IN_ACCESS) read = true;
                    if (written ? (e->mask & IN_CLOSE_WRITE) != 0
                                : read && (e->mask & IN_CLOSE_NOWRITE) != 0)
                        return true;
                }
            }
        }
        return false;
    }

  private:
    int fd_;
};

// A Wine prefix of the tests' own (made on first use), a private X server, and
// small disks for the drive E:. Everything mounted is taken off again, and the
// Wine server is waited for, whatever the outcome.
class WineDesk : public ::testing::Test {
  protected:
    // programs: those of the Windows tree that the test runs.
    explicit WineDesk(std::vector<std::string> programs) : programs_(std::move(programs)) {}

    void SetUp() override {
        std::vector<std::string> exes = programs_;
        exes.push_back("winpilot.exe");
        for (const std::string& exe : exes)
            if (!fs::exists(Bin + "/" + exe))
                GTEST_SKIP() << "no " << exe << " in " << Bin << " (build the Windows tree first)";
        if (::access(WINE64, X_OK) != 0) GTEST_SKIP() << "no wine64 at " WINE64;
        x_ = std::make_unique<testutil::XServer>();
        if (!x_->available()) GTEST_SKIP() << "no Xvfb";
        hold_ = std::make_unique<testutil::XClientHold>(x_->display());
        started_ = true;
        RunResult r = Wine({"cmd", "/c", "exit"});
        ASSERT_EQ(r.exitCode, 0) << "the Wine prefix could not be made: " << r.output;
        fs::remove(Drive());
    }
    void TearDown() override {
        if (started_) {
            fs::remove(Drive());
            testutil::Run({fs::path(WINE64).parent_path() / "wineserver", "-w"},
                          {{"WINEPREFIX", WINE_PREFIX}}, SafetyMs);
        }
        for (auto it = mounts_.rbegin(); it != mounts_.rend(); ++it)
            EXPECT_EQ(testutil::Run({"umount", *it}).exitCode, 0) << *it;
    }

    static std::string Drive() { return std::string(WINE_PREFIX) + "/dosdevices/e:"; }
    std::map<std::string, std::string> Env() const { return {{"DISPLAY", x_->display()}}; }

    // A Windows program run to its end, and one started.
    RunResult Wine(const std::vector<std::string>& args) {
        std::vector<std::string> argv = {WINE_RUN, WINE_PREFIX};
        argv.insert(argv.end(), args.begin(), args.end());
        return testutil::Run(argv, Env(), SafetyMs);
    }
    std::unique_ptr<Process> Start(const std::vector<std::string>& args) {
        std::vector<std::string> argv = {WINE_RUN, WINE_PREFIX};
        argv.insert(argv.end(), args.begin(), args.end());
        return std::make_unique<Process>(argv, Env());
    }
    RunResult Pilot(const std::vector<std::string>& args) {
        std::vector<std::string> argv = {Bin + "/winpilot.exe"};
        argv.insert(argv.end(), args.begin(), args.end());
        return Wine(argv);
    }
    bool PilotOk(const std::vector<std::string>& args) { return Pilot(args).exitCode == 0; }
    // Asks until winpilot prints what is expected (a window reacts to a
    // pressed button in its own time); false after about a minute.
    bool PilotShows(const std::vector<std::string>& args, const std::string& expected) {
        for (int i = 0; i < 60; ++i) {
            if (Has(Pilot(args).output, expected)) return true;
            std::this_thread::sleep_for(std::chrono::seconds(1));
        }
        return false;
    }

    // A new empty disk of the given size; empty when it cannot be mounted.
    std::string NewDisk(const std::string& size) {
        const std::string d = dir / ("disk" + std::to_string(mounts_.size() + 1));
        fs::create_directories(d);
        if (testutil::Run({"mount", "-t", "tmpfs", "-o", "size=" + size, "tmpfs", d}).exitCode != 0)
            return {};
        mounts_.push_back(d);
        return d;
    }
    // Puts the disk into the drive E:, taking out the one that was there.
    void Insert(const std::string& disk) {
        fs::remove(Drive());
        fs::create_directory_symlink(disk, Drive());
    }

    testutil::TempDir dir{"winewin"};

  private:
    std::vector<std::string> programs_;
    std::unique_ptr<testutil::XServer> x_;
    std::unique_ptr<testutil::XClientHold> hold_;
    std::vector<std::string> mounts_;
    bool started_ = false;
};

// ---- zeq.exe ---------------------------------------------------------------------------

class ZeqExe : public WineDesk {
  protected:
    ZeqExe() : WineDesk({"zeq.exe", "glue32.exe"}) {}
    void SetUp() override {
        WineDesk::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        fs::create_directories(prog);
        for (const char* exe : {"zeq.exe", "glue32.exe"})
            fs::copy_file(Bin + "/" + exe, prog + "/" + exe);
        // The joiner file is movie.exe.
        WriteFile(prog + "/glue.txt", CrLfLines({"\\.exe", "Holiday joiner", "0", "", ""}));
    }
    // Pieces movie.001, ... each filling its disk but for 4096 bytes, onto E:;
    // the user checks each disk; new disks are erased; checksums, compare
    // pass, report; the joiner a file of its own.
    void WriteJob() {
        zeqtest::WriteJobFiles(prog, {"2", "\\.*"}, {"0"},
                               {"Holiday", WinPath(source), "E:", "4096", "65536", "0", "0", "1",
                                "1", "1", WinPath(report)});
    }
    std::unique_ptr<Process> StartZeq(const std::vector<std::string>& args = {}) {
        std::vector<std::string> argv = {prog + "/zeq.exe", "lanterns"};
        argv.insert(argv.end(), args.begin(), args.end());
        return Start(argv);
    }
    // Presses "Check !" with the disk in the drive and waits until the
    // program has written or read back the piece on it.
    bool CheckAndWaitFor(Process& p, const std::string& disk, const std::string& piece,
                         bool written) {
        FileWatch watch(disk);
        return PilotOk({"click", DiskDialog, "Check !"}) && watch.Wait(p, piece, written);
    }

    std::string prog = dir / "prog", source = dir / "movie.avi", report = dir / "report.txt";
};

// A source of 700 KB over three disks of 300 KB, each new disk erased, all of
// them read back in turn; the pieces and the joiner left on the disks give
// the source back.
TEST_F(ZeqExe, SplitOverThreeDisksEraseCompareAndJoin) {
    std::vector<std::string> disks;
    for (int n = 0; n < 3; ++n) {
        disks.push_back(NewDisk("300k"));
        if (disks.back().empty()) GTEST_SKIP() << "cannot mount a tmpfs here";
        WriteFile(disks.back() + "/old.dat", std::string(20000 + n, 'o'));
    }
    const std::string bytes = testutil::RandomBytes(700 * 1024, 21);
    WriteFile(source, bytes);
    WriteJob();
    Insert(disks[0]);
    std::unique_ptr<Process> p = StartZeq();

    // Writing: the first disk is erased at the start and filled; each prompt
    // asks for a new disk, which is erased before it is judged.
    ASSERT_TRUE(PilotOk({"wait", DiskDialog, "300"})) << p->Wait(SafetyMs).output;
    EXPECT_TRUE(Has(Pilot({"texts", DiskDialog}).output,
                    "Please insert a new disk into the following location:"));
    for (int n = 2; n <= 3; ++n) {
        Insert(disks[n - 1]);
        ASSERT_TRUE(CheckAndWaitFor(*p, disks[n - 1], "movie.00" + std::to_string(n), true))
            << n << ": " << p->Wait(SafetyMs).output;
        ASSERT_TRUE(PilotOk({"wait", DiskDialog, "300"})) << p->Wait(SafetyMs).output;
    }
    // Reading back: the prompts ask for the disks of pieces 1, 2 and 3.
    EXPECT_TRUE(
        Has(Pilot({"texts", DiskDialog}).output, "Please insert the disk that contains the file:"));
    for (int n = 1; n <= 3; ++n) {
        Insert(disks[n - 1]);
        ASSERT_TRUE(CheckAndWaitFor(*p, disks[n - 1], "movie.00" + std::to_string(n), false))
            << n << ": " << p->Wait(SafetyMs).output;
        if (n < 3) {
            ASSERT_TRUE(PilotOk({"wait", DiskDialog, "300"})) << p->Wait(SafetyMs).output;
        }
    }
    RunResult r = p->Wait(SafetyMs);
    ASSERT_EQ(r.exitCode, 0) << r.output;

    EXPECT_EQ(Names(disks[0]), (std::vector<std::string>{"movie.001"}));
    EXPECT_EQ(Names(disks[1]), (std::vector<std::string>{"movie.002"}));
    EXPECT_EQ(Names(disks[2]), (std::vector<std::string>{"movie.003", "movie.exe"}));
    std::vector<std::string> pieces, crcs = {"3"};
    for (int n = 1; n <= 3; ++n) {
        pieces.push_back(ReadFile(disks[n - 1] + "/movie.00" + std::to_string(n)));
        crcs.push_back(Crc(pieces.back()));
    }
    EXPECT_EQ(pieces[0].size(), 300u * 1024 - 4096); // a piece fills its disk
    EXPECT_EQ(pieces[0] + pieces[1] + pieces[2], bytes);
    EXPECT_EQ(ReadFile(report), CrLfLines(crcs));

    // The disks' files carried away to three folders; the joiner, run from
    // the third, finds the pieces. (Wine gives every file of its drive Z: one
    // volume serial number, and the small file systems number their files
    // alike, so the disks themselves would look to the joiner like one.)
    const std::string away = dir / "away", out = dir / "joined";
    fs::create_directories(out);
    std::vector<std::string> folders;
    for (int n = 1; n <= 3; ++n) {
        folders.push_back(away + "/disk" + std::to_string(n));
        fs::create_directories(folders.back());
        for (const std::string& name : Names(disks[n - 1]))
            fs::copy_file(disks[n - 1] + "/" + name, folders.back() + "/" + name);
    }
    RunResult j = Wine(
        {folders[2] + "/movie.exe", "-o", WinPath(out), WinPath(folders[0]), WinPath(folders[1])});
    EXPECT_EQ(j.exitCode, 0) << j.output;
    EXPECT_TRUE(ReadFile(out + "/movie.avi") == bytes) << "the joined file differs";
}

// The caption and the details panel of the main window; then at the disk
// prompt an abort declined leaves the prompt up, and one confirmed ends zeq.exe
// with exit code 1.
TEST_F(ZeqExe, AbortAtTheDiskPromptEndsWithExitCode1) {
    const std::string disk = NewDisk("128k");
    if (disk.empty()) GTEST_SKIP() << "cannot mount a tmpfs here";
    WriteFile(source, testutil::RandomBytes(300000, 22));
    WriteJob();
    Insert(disk);
    std::unique_ptr<Process> p = StartZeq({"Copy: "});
    const std::string main = "Copy: Holiday";

    ASSERT_TRUE(PilotOk({"wait", DiskDialog, "300"})) << p->Wait(SafetyMs).output;
    EXPECT_EQ(Pilot({"rect", main}).output, "365x151\n");
    EXPECT_EQ(Pilot({"rect", DiskDialog}).output, "375x118\n");

    ASSERT_TRUE(PilotOk({"click", DiskDialog, "Cancel..."}));
    RunResult box = Pilot({"box", "Velmora Zeq", "No", "300"});
    EXPECT_TRUE(Has(box.output, "Are you sure you wish to abort the split?")) << box.output;
    ASSERT_TRUE(PilotOk({"answer", "Velmora Zeq", "No"}));
    EXPECT_TRUE(p->Running());
    ASSERT_TRUE(PilotOk({"wait", DiskDialog, "10"}));

    ASSERT_TRUE(PilotOk({"click", DiskDialog, "Cancel..."}));
    ASSERT_TRUE(PilotOk({"answer", "Velmora Zeq", "Yes", "300"}));
    RunResult r = p->Wait(SafetyMs);
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_EQ(Names(disk), (std::vector<std::string>{"movie.001"}));
    EXPECT_FALSE(fs::exists(report));
}

// ---- orvane.exe ------------------------------------------------------------------------

// Spanned LZX sets onto disks of drive E:, from files that do not compress;
// the questions come as message boxes (no log).
class OrvaneExe : public WineDesk {
  protected:
    OrvaneExe() : WineDesk({"orvane.exe"}) {}

    // count files of 60000 bytes; LZX with a 2 MB window, normal priority,
    // spanning onto disks of 120000 bytes.
    std::unique_ptr<Process> StartOrvane(int count) {
        fs::create_directories(src);
        for (int n = 1; n <= count; ++n) {
            const std::string name = "part" + std::to_string(n) + ".bin";
            files[name] = testutil::RandomBytes(60000, 30 + n);
            WriteFile(src + "/" + name, files[name]);
        }
        WriteFile(list, CrLfLines({"E:\\backup", "$", WinPath(src) + "\\*.bin", "$"}));
        WriteFile(settings, CrLfLines({"8", "0", "831415", "3", "", "", "TRUE", "120000", ""}));
        return Start({Bin + "/orvane.exe", "plumb", WinPath(list), WinPath(settings)});
    }
    // Waits for the new-disk question; false when it did not come.
    bool NewDiskQuestion(Process& p) {
        RunResult box = Pilot({"box", "Velmora Cab", "Cancel", "300"});
        if (box.exitCode != 0) {
            ADD_FAILURE() << "no new-disk question; orvane.exe said: " << p.Wait(SafetyMs).output;
            return false;
        }
        EXPECT_TRUE(Has(box.output, "Please insert a new disk to continue")) << box.output;
        return true;
    }
    // The cabinets of the disks, gathered into one folder.
    std::string Gather(const std::vector<std::string>& disks) {
        const std::string set = dir / "set";
        fs::create_directories(set);
        for (const std::string& disk : disks)
            for (const std::string& name : Names(disk)) {
                EXPECT_TRUE(name.size() == 11 && name.rfind("backup", 0) == 0 &&
                            name.substr(7) == ".cab")
                    << name;
                EXPECT_LE(fs::file_size(disk + "/" + name), 120000u) << name;
                fs::copy_file(disk + "/" + name, set + "/" + name);
            }
        return set;
    }

    std::string src = dir / "src", list = dir / "list.txt", settings = dir / "settings.txt";
    std::map<std::string, std::string> files;
};

// The disk fills; a new one is put in and OK pressed: the set is completed,
// and its cabinets, gathered from the disks, give every file back.
TEST_F(OrvaneExe, SpannedLzxSetCompletedOnANewDisk) {
    const std::vector<std::string> disks = {NewDisk("160k"), NewDisk("400k")};
    if (disks[0].empty() || disks[1].empty()) GTEST_SKIP() << "cannot mount a tmpfs here";
    Insert(disks[0]);
    std::unique_ptr<Process> p = StartOrvane(5);
    ASSERT_TRUE(NewDiskQuestion(*p));
    EXPECT_EQ(Pilot({"rect", "Velmora Cab"}).output, "368x136\n");
    Insert(disks[1]);
    ASSERT_TRUE(PilotOk({"answer", "Velmora Cab", "OK"}));
    RunResult r = p->Wait(SafetyMs);
    EXPECT_EQ(r.exitCode, 0) << r.output;

    EXPECT_EQ(Names(disks[0]), (std::vector<std::string>{"backup1.cab"}));
    const std::string set = Gather(disks), x = dir / "x";
    EXPECT_GE(Names(set).size(), 3u);
    RunResult t = testutil::Run({"cabextract", "-q", "-d", x, set + "/backup1.cab"});
    EXPECT_EQ(t.exitCode, 0) << t.output;
    for (const auto& [name, bytes] : files)
        EXPECT_TRUE(ReadFile(x + "/" + name) == bytes) << name;
    RunResult z = testutil::Run({"7zz", "t", set + "/backup1.cab"});
    EXPECT_EQ(z.exitCode, 0) << z.output;
}

// The first question is answered with a new disk and OK, the second with
// Cancel: the build ends, and what is left of the set is read back as far as
// it goes.
TEST_F(OrvaneExe, SpannedLzxSetNewDiskThenCancel) {
    std::vector<std::string> disks;
    for (int n = 0; n < 3; ++n) {
        disks.push_back(NewDisk("160k"));
        if (disks.back().empty()) GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    Insert(disks[0]);
    std::unique_ptr<Process> p = StartOrvane(8);
    ASSERT_TRUE(NewDiskQuestion(*p));
    Insert(disks[1]);
    ASSERT_TRUE(PilotOk({"answer", "Velmora Cab", "OK"}));
    ASSERT_TRUE(NewDiskQuestion(*p));
    ASSERT_TRUE(PilotOk({"answer", "Velmora Cab", "Cancel"}));
    // The abort is told in boxes of their own, each answered with OK.
    std::string told;
    for (int i = 0; i < 5 && p->Running(); ++i) {
        RunResult box = Pilot({"box", "Velmora Cab", "OK", i == 0 ? "300" : "10"});
        if (box.exitCode != 0) break;
        told += box.output;
        Pilot({"answer", "Velmora Cab", "OK", "10"});
    }
    EXPECT_TRUE(Has(told, "Fatal Error:")) << told;
    RunResult r = p->Wait(SafetyMs);
    EXPECT_EQ(r.exitCode, 0) << r.output;

    // The first disk holds the first cabinet; the third was never asked for.
    EXPECT_EQ(Names(disks[0]), (std::vector<std::string>{"backup1.cab"}));
    EXPECT_TRUE(Names(disks[2]).empty());
    // cabextract finds at least one whole file in what the disks hold, and
    // each file it finds whole is the source's.
    const std::string set = Gather({disks[0], disks[1]}), x = dir / "x";
    RunResult t = testutil::Run({"cabextract", "-t", set + "/backup1.cab"});
    testutil::Run({"cabextract", "-q", "-d", x, set + "/backup1.cab"});
    int whole = 0;
    for (const auto& [name, bytes] : files)
        if (Has(t.output, name + "  OK")) {
            ++whole;
            EXPECT_TRUE(ReadFile(x + "/" + name) == bytes) << name;
        }
    EXPECT_GE(whole, 1) << t.output;
}

} // namespace
