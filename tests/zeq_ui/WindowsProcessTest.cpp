// The built zeq program with its dialogs under a private X server, driven with
// the mouse and the keyboard as a person would: a target that is not there yet,
// an abort at the disk prompt, and a job that needs three disks.
#include "TestUtil.h"
#include "ZeqTestUtil.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <poll.h>
#include <xcb/xcb.h>

namespace fs = std::filesystem;
using testutil::CrLfLines;
using testutil::Process;
using testutil::ReadFile;
using testutil::RunResult;
using testutil::WriteFile;
using testutil::XServer;
using zeqtest::Crc;

namespace {

// A connection of the test's own to the X server. While it is open the server
// never sees its last client leave, so it never resets between programs; and it
// counts how often a window with a given title has been shown and hidden. The
// program may give a dialog a new window each time it shows it, so the windows
// are told apart by their title, not by their id.
class WindowWatch {
  public:
    WindowWatch(const std::string& display, const std::string& title)
        : hold_(display), c_(hold_.connection()), title_(title) {
        if (!c_) return;
        const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(c_, xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root,
                                     XCB_CW_EVENT_MASK, &mask);
        xcb_flush(c_);
    }
    bool ok() const { return c_ != nullptr; }
    int Shown() const { return shown_; }
    int Hidden() const { return hidden_; }
    // The id of the window last shown with the title, for xdotool.
    std::string Window() const { return std::to_string(window_); }

    // Takes in the events until done() holds, the process has ended or the
    // safety time is over; true when done() holds.
    template <typename Done> bool WaitFor(Process& p, Done done, unsigned safetyMs = 120000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(safetyMs);
        while (!done()) {
            if (!p.Running() || std::chrono::steady_clock::now() > end) return done();
            pollfd fd{xcb_get_file_descriptor(c_), POLLIN, 0};
            ::poll(&fd, 1, 50);
            while (xcb_generic_event_t* e = xcb_poll_for_event(c_)) {
                const int type = e->response_type & 0x7f;
                if (type == XCB_MAP_NOTIFY) {
                    const auto w = reinterpret_cast<xcb_map_notify_event_t*>(e)->window;
                    if (Title(w) == title_) {
                        window_ = w;
                        ++shown_;
                    }
                } else if (type == XCB_UNMAP_NOTIFY) {
                    if (reinterpret_cast<xcb_unmap_notify_event_t*>(e)->window == window_)
                        ++hidden_;
                }
                std::free(e);
            }
        }
        return true;
    }

  private:
    std::string Title(xcb_window_t w) {
        xcb_get_property_reply_t* r = xcb_get_property_reply(
            c_, xcb_get_property(c_, 0, w, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 256),
            nullptr);
        if (!r) return {};
        std::string t(static_cast<const char*>(xcb_get_property_value(r)),
                      static_cast<std::size_t>(xcb_get_property_value_length(r)));
        std::free(r);
        return t;
    }
    testutil::XClientHold hold_;
    xcb_connection_t* c_;
    xcb_window_t window_ = 0;
    std::string title_;
    int shown_ = 0, hidden_ = 0;
};

const char* const Question = "^Velmora Zeq$";

class ZeqWindows : public zeqtest::ProgramFolder {
  protected:
    ZeqWindows() : ProgramFolder("zeqwin", ZEQ_BINARY, "drive", false) {}
    void SetUp() override {
        ProgramFolder::SetUp();
        x = std::make_unique<XServer>();
        if (x->available())
            watch = std::make_unique<WindowWatch>(x->display(), "Velmora Zeq - Change Disk");
    }
    bool Ready() const { return x->available() && watch && watch->ok(); }

    // sizes is one line of piesizes.txt; the options are CRC, compare and a report.
    void WriteJob(const std::string& sizes, const std::string& keepFree,
                  const std::string& checkInterval, const std::string& eraseOption) {
        zeqtest::WriteJobFiles(prog, {"2", "\\.*"}, {sizes},
                               {"Holiday", source, target, keepFree, "65536", "999", checkInterval,
                                eraseOption, "1", "1", dir / "report.txt"});
    }
    std::unique_ptr<Process> Start() {
        return std::make_unique<Process>(std::vector<std::string>{prog + "/zeq", "lanterns"},
                                         zeqtest::OnX(*x));
    }
    // Waits for the disk dialog's first show.
    bool WaitDiskDialog(Process& p) {
        return watch->WaitFor(p, [&] { return watch->Shown() > 0; });
    }
    void Click(const std::string& id, int left, int top) {
        x->XDo({"mousemove", "--window", id, std::to_string(left), std::to_string(top)});
        x->XDo({"click", "1"});
    }
    // Presses "Check !" until the dialog closes (a click may come before the
    // window takes input), then waits for its next show or the program's end.
    bool CheckAndWaitNextPrompt(Process& p) {
        const int hidden = watch->Hidden(), shown = watch->Shown();
        for (int i = 0; i < 20 && watch->Hidden() == hidden; ++i) {
            Click(watch->Window(), 294 + 37, 48 + 12);
            watch->WaitFor(
                p, [&] { return watch->Hidden() > hidden; }, 3000);
        }
        return watch->WaitFor(p, [&] { return watch->Shown() > shown; });
    }
    // Presses "Cancel..." until the question comes and answers it with key
    // (Return: Yes, Escape: No).
    bool AnswerAbortQuestion(Process& p, const std::string& key) {
        std::string box;
        for (int i = 0; i < 20 && box.empty() && p.Running(); ++i) {
            Click(watch->Window(), 294 + 37, 80 + 12);
            box = x->WaitWindow(Question, 3000);
        }
        if (box.empty()) return false;
        x->PressUntilGone(p, box, Question, key);
        return true;
    }
    // A fresh small file system on the target, holding the given files.
    bool InsertDisk(const std::map<std::string, std::string>& files) {
        if (!MountTarget("128k")) return false;
        for (const auto& [name, bytes] : files)
            WriteFile(target + "/" + name, bytes);
        return true;
    }
    // Takes the disk out, keeping what it held.
    std::map<std::string, std::string> EjectDisk() {
        std::map<std::string, std::string> files;
        for (const auto& e : fs::directory_iterator(target))
            files[e.path().filename().string()] = ReadFile(e.path().string());
        EXPECT_EQ(testutil::Run({"umount", target}).exitCode, 0);
        --mounted;
        return files;
    }

    std::unique_ptr<XServer> x;
    std::unique_ptr<WindowWatch> watch;
};

TEST_F(ZeqWindows, TargetThatAppearsIsTakenByTheAutomaticCheckAfterAnAbortDeclined) {
    if (!Ready()) GTEST_SKIP() << "no Xvfb";
    const std::string bytes = testutil::RandomBytes(150000, 11);
    WriteFile(source, bytes);
    WriteJob("100000", "0", "200", "0");
    std::unique_ptr<Process> p = Start();
    ASSERT_TRUE(WaitDiskDialog(*p)) << p->Wait().output;
    ASSERT_TRUE(AnswerAbortQuestion(*p, "Escape")); // No: the prompt goes on
    fs::create_directories(target);
    RunResult r = p->Wait();
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(ReadFile(target + "/movie.001") + ReadFile(target + "/movie.002"), bytes);
    EXPECT_EQ(ReadFile(dir / "report.txt"),
              CrLfLines({"2", Crc(bytes.substr(0, 100000)), Crc(bytes.substr(100000))}));
}

TEST_F(ZeqWindows, AbortConfirmedAtTheDiskPromptEndsWithExitCode1) {
    if (!Ready()) GTEST_SKIP() << "no Xvfb";
    WriteFile(source, testutil::RandomBytes(150000, 12));
    WriteJob("100000", "0", "200", "0");
    std::unique_ptr<Process> p = Start();
    ASSERT_TRUE(WaitDiskDialog(*p)) << p->Wait().output;
    ASSERT_TRUE(AnswerAbortQuestion(*p, "Return")); // Yes
    RunResult r = p->Wait();
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_FALSE(fs::exists(target));
    EXPECT_FALSE(fs::exists(dir / "report.txt"));
}

// Three small file systems put on the target one after the other: each new
// disk is erased and filled, then each is put back in turn for the compare pass.
TEST_F(ZeqWindows, SplitOverThreeDisksAndCompareThemBack) {
    if (!Ready()) GTEST_SKIP() << "no Xvfb";
    fs::create_directories(target);
    if (!InsertDisk({{"old.txt", "left from before"}})) GTEST_SKIP() << "cannot mount a tmpfs";
    const std::string bytes = testutil::RandomBytes(300000, 13);
    WriteFile(source, bytes);
    WriteJob("0", "4096", "0", "1"); // fill each disk, the user checks, erase new disks
    std::unique_ptr<Process> p = Start();

    // Writing: each prompt asks for a new disk; the junk on it is erased.
    std::vector<std::map<std::string, std::string>> disks;
    ASSERT_TRUE(WaitDiskDialog(*p)) << p->Wait().output;
    for (int n = 2; n <= 3; ++n) {
        disks.push_back(EjectDisk());
        ASSERT_TRUE(InsertDisk({{"old.txt", std::string(20000, 'o')}}));
        ASSERT_TRUE(CheckAndWaitNextPrompt(*p)) << p->Wait().output;
    }
    // Reading back: the prompts ask for the disks of pieces 1, 2 and 3 in turn;
    // after the last one the job ends.
    disks.push_back(EjectDisk());
    for (std::size_t n = 0; n < 3; ++n) {
        if (n > 0) EjectDisk();
        ASSERT_TRUE(InsertDisk(disks[n]));
        const bool prompted = CheckAndWaitNextPrompt(*p);
        if (n < 2) {
            ASSERT_TRUE(prompted) << p->Wait().output;
        }
    }
    RunResult r = p->Wait();
    ASSERT_EQ(r.exitCode, 0) << r.output;

    const std::vector<std::string> names = {"movie.001", "movie.002", "movie.003"};
    std::string joined;
    std::vector<std::string> report = {"3"};
    for (std::size_t n = 0; n < 3; ++n) {
        ASSERT_EQ(disks[n].size(), 1u) << "disk " << n + 1 << " holds more than its piece";
        joined += disks[n][names[n]];
        report.push_back(Crc(disks[n][names[n]]));
    }
    EXPECT_EQ(joined, bytes);
    EXPECT_EQ(disks[0][names[0]].size(), 131072u - 4096u); // a piece fills its disk
    EXPECT_EQ(ReadFile(dir / "report.txt"), CrLfLines(report));
}

} // namespace
