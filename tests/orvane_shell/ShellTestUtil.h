// Helpers of the cabinet builder's tests: directive text, a scripted message
// box, the names in a cabinet's header, and cabextract as an independent reader.
#pragma once

#include "TestUtil.h"
#include "vShared.h"

#include <cstdint>
#include <deque>
#include <string>
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
        TMsgIcon icon;
        TMsgButtons buttons;
    };
    std::vector<Shown> shown;
    std::deque<TMsgAnswer> answers;
    std::function<void()> onShow; // runs while the box is up

    TMessageBoxFn Fn() {
        return [this](const std::string& text, const std::string& caption, TMsgIcon icon,
                      TMsgButtons buttons) {
            shown.push_back({text, caption, icon, buttons});
            if (onShow) onShow();
            if (answers.empty()) return StoppingAnswer(buttons);
            TMsgAnswer a = answers.front();
            answers.pop_front();
            return a;
        };
    }
};

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

} // namespace shelltest
