// Helpers of the cabinet builder's tests: directive text, a scripted message
// box, the names in a cabinet's header, and cabextract as an independent reader.
#pragma once

#include "TestUtil.h"
#include "vShared.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace shelltest {

// Lines ended with CR LF, as the launcher writes them.
inline std::string CrLf(const std::vector<std::string>& lines) {
    std::string s;
    for (const std::string& l : lines)
        s += l + "\r\n";
    return s;
}

// A message box that records what it was asked and gives scripted answers;
// with no answer left it gives the stopping answer of the buttons.
struct ScriptedBoxes {
    struct Shown {
        std::string text, caption;
        MsgIcon icon;
        MsgButtons buttons;
    };
    std::vector<Shown> shown;
    std::deque<MsgAnswer> answers;
    std::function<void()> onShow; // runs while the box is up

    MessageBoxFn Fn() {
        return [this](const std::string& text, const std::string& caption, MsgIcon icon,
                      MsgButtons buttons) {
            shown.push_back({text, caption, icon, buttons});
            if (onShow) onShow();
            if (answers.empty()) return ClosedBoxAnswer(buttons);
            MsgAnswer a = answers.front();
            answers.pop_front();
            return a;
        };
    }
};

// Waits until a thread is held at the gate; false when finished() tells
// first that the thread went on without stopping there.
template <class Finished> bool HeldAtGate(const PauseGate& gate, Finished finished) {
    while (gate.Waiting() == 0) {
        if (finished()) return false;
        std::this_thread::yield();
    }
    return true;
}

// The set fields of a cabinet's header.
struct CabHeader {
    bool valid = false;
    std::uint16_t setId = 0;
    std::uint16_t iCabinet = 0;
    std::uint16_t files = 0;
    std::string prevCabinet, prevDisk, nextCabinet, nextDisk;
};

inline CabHeader ReadCabHeader(const std::string& path) {
    CabHeader h;
    const std::string b = testutil::ReadFile(path);
    if (b.size() < 36 || b.compare(0, 4, "MSCF") != 0) return h;
    auto u16 = [&](std::size_t at) {
        return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                          static_cast<unsigned char>(b[at + 1]) << 8);
    };
    h.files = u16(28);
    const std::uint16_t flags = u16(30);
    h.setId = u16(32);
    h.iCabinet = u16(34);
    std::size_t at = 36;
    if (flags & 4) at += 4 + u16(36);
    auto text = [&](std::string& out) {
        std::size_t end = b.find('\0', at);
        if (end == std::string::npos) return false;
        out = b.substr(at, end - at);
        at = end + 1;
        return true;
    };
    if ((flags & 1) && !(text(h.prevCabinet) && text(h.prevDisk))) return h;
    if ((flags & 2) && !(text(h.nextCabinet) && text(h.nextDisk))) return h;
    h.valid = true;
    return h;
}

// Extracts a cabinet (and the set it begins) with cabextract into folder;
// returns cabextract's exit code and output.
inline testutil::RunResult CabExtract(const std::string& cab, const std::string& folder) {
    return testutil::Run({"cabextract", "-q", "-d", folder, cab});
}

// A test's folders: sources in src, cabinets in out (which may be a small
// file system of its own), both under a fresh temporary folder.
class CabFolders : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directories(src);
        std::filesystem::create_directories(out);
    }
    void TearDown() override {
        if (mounted) testutil::Run({"umount", out});
    }

    // Source files of random bytes, which do not compress: name -> bytes.
    void Sources(int count, std::size_t size) {
        for (int i = 0; i < count; ++i) {
            const std::string name = "part" + std::to_string(i) + ".bin";
            files[name] = testutil::RandomBytes(size, static_cast<std::uint32_t>(100 + i));
            testutil::WriteFile(src + "/" + name, files[name]);
        }
    }
    // Makes out a file system of the given size ("96k"); false when mounting
    // is refused here.
    bool SmallDisk(const std::string& size) {
        mounted =
            testutil::Run({"mount", "-t", "tmpfs", "-o", "size=" + size, "tmpfs", out}).exitCode ==
            0;
        return mounted;
    }
    // The names in out, sorted.
    std::vector<std::string> Cabinets() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(out))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // Extracts the cabinet (and the rest of its set) and compares every file.
    void ExpectHolds(const std::string& cab, const std::map<std::string, std::string>& expected) {
        const std::string x = dir / ("x" + std::to_string(++extractions));
        std::filesystem::create_directories(x);
        testutil::RunResult r = CabExtract(cab, x);
        EXPECT_EQ(r.exitCode, 0) << r.output;
        const auto found = std::distance(std::filesystem::directory_iterator(x),
                                         std::filesystem::directory_iterator());
        EXPECT_EQ(static_cast<std::size_t>(found), expected.size()) << cab;
        for (const auto& [name, bytes] : expected)
            EXPECT_TRUE(testutil::ReadFile(x + "/" + name) == bytes) << name;
    }

    // out holds backup1.cab, backup2.cab and backup3.cab, one set of no more
    // than diskSize bytes a cabinet, on the disks "", "Diskette 2" and
    // "Diskette 3", holding the files.
    void ExpectSpannedSetOfThree(std::uintmax_t diskSize) {
        ASSERT_EQ(Cabinets(),
                  (std::vector<std::string>{"backup1.cab", "backup2.cab", "backup3.cab"}));
        CabHeader h[3];
        for (int i = 0; i < 3; ++i) {
            const std::string cab = out + "/backup" + std::to_string(i + 1) + ".cab";
            h[i] = ReadCabHeader(cab);
            ASSERT_TRUE(h[i].valid) << cab;
            EXPECT_EQ(h[i].iCabinet, i) << cab;
            EXPECT_EQ(h[i].setId, h[0].setId) << cab;
            EXPECT_LE(std::filesystem::file_size(cab), diskSize) << cab;
        }
        EXPECT_EQ(h[0].nextCabinet, "backup2.cab");
        EXPECT_EQ(h[0].nextDisk, "Diskette 2");
        EXPECT_EQ(h[1].prevCabinet, "backup1.cab");
        EXPECT_EQ(h[1].prevDisk, "");
        EXPECT_EQ(h[1].nextCabinet, "backup3.cab");
        EXPECT_EQ(h[1].nextDisk, "Diskette 3");
        EXPECT_EQ(h[2].prevCabinet, "backup2.cab");
        EXPECT_EQ(h[2].prevDisk, "Diskette 2");
        EXPECT_EQ(h[2].nextCabinet, "");
        ExpectHolds(out + "/backup1.cab", files);
    }

    testutil::TempDir dir{"orvane"};
    std::string src = dir / "src", out = dir / "out";
    std::map<std::string, std::string> files;
    bool mounted = false;
    int extractions = 0;
};

} // namespace shelltest
