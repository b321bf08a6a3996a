// winpilot: finds the windows of another program by their captions and works
// them as a person would, for tests that run the programs under Wine.
//
//   winpilot wait CAPTION [SECONDS]          a visible window whose caption starts so
//   winpilot gone CAPTION [SECONDS]          no such window any more
//   winpilot texts CAPTION                   the texts of its controls, one a line
//   winpilot click CAPTION BUTTON            presses the button of that text ('&' left out)
//   winpilot box TITLE BUTTON [SECONDS]      waits for a message box of that title with that
//                                            button and prints its texts
//   winpilot answer TITLE BUTTON [SECONDS]   waits for that box, presses the button and waits
//                                            until the box has gone
//   winpilot close CAPTION                   asks the window to close (the close box)
//   winpilot rect CAPTION                    the size of its client area, WIDTHxHEIGHT
//
// Exit code 0 on success; 1 when the window or button did not come or the
// wait ran out; 2 for a wrong command line.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <vector>

namespace {

const DWORD DefaultSeconds = 60;
const DWORD PollMs = 100;

std::string Text(HWND w) {
    char buf[1024];
    // WM_GETTEXT, not GetWindowText: the latter does not ask the controls of
    // another process for their text. A program that is busy is given a few
    // seconds; the window then counts as one without text.
    DWORD_PTR n = 0;
    if (!SendMessageTimeoutA(w, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf),
                             SMTO_ABORTIFHUNG, 5000, &n))
        n = 0;
    return std::string(buf, n < sizeof buf ? n : 0);
}

std::string ClassOf(HWND w) {
    char buf[256];
    int n = GetClassNameA(w, buf, sizeof buf);
    return std::string(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
}

std::string WithoutAmpersands(const std::string& s) {
    std::string r;
    for (char c : s)
        if (c != '&') r += c;
    return r;
}

HWND FindButton(HWND w, const std::string& text);

// What a window is looked for by. A program's message boxes may carry the
// caption of its main window, so a window that is to be pressed is one that
// has the button.
struct Search {
    std::string caption;
    bool exact = false;      // the whole caption, not only its start
    bool messageBox = false; // dialog boxes (class #32770) only, or none of them
    std::string button;      // only windows with this button, when not empty
    HWND found = nullptr;
};

BOOL CALLBACK VisitTopLevel(HWND w, LPARAM param) {
    Search& s = *reinterpret_cast<Search*>(param);
    if (!IsWindowVisible(w)) return TRUE;
    if (s.messageBox != (ClassOf(w) == "#32770")) return TRUE;
    const std::string t = Text(w);
    const bool match = s.exact ? t == s.caption : t.compare(0, s.caption.size(), s.caption) == 0;
    if (!match || (!s.button.empty() && !FindButton(w, s.button))) return TRUE;
    s.found = w;
    return FALSE;
}

// A window found by caption is preferably not a message box: a program's
// boxes often carry its main window's caption. A box is taken when nothing
// else matches.
HWND Find(Search s) {
    EnumWindows(VisitTopLevel, reinterpret_cast<LPARAM>(&s));
    if (!s.found && !s.messageBox && !s.exact) {
        s.messageBox = true;
        EnumWindows(VisitTopLevel, reinterpret_cast<LPARAM>(&s));
    }
    return s.found;
}

HWND Find(const std::string& caption) {
    Search s;
    s.caption = caption;
    return Find(s);
}

// Waits until a window is there; null when the time ran out.
HWND WaitFor(const Search& s, DWORD seconds) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (HWND w = Find(s)) return w;
        if (GetTickCount() - start >= seconds * 1000) return nullptr;
        Sleep(PollMs);
    }
}

bool WaitGone(const std::string& caption, DWORD seconds) {
    const DWORD start = GetTickCount();
    while (Find(caption)) {
        if (GetTickCount() - start >= seconds * 1000) return false;
        Sleep(PollMs);
    }
    return true;
}

BOOL CALLBACK CollectChild(HWND w, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(w);
    return TRUE;
}

std::vector<HWND> Children(HWND w) {
    std::vector<HWND> all;
    EnumChildWindows(w, CollectChild, reinterpret_cast<LPARAM>(&all));
    return all;
}

HWND FindButton(HWND w, const std::string& text) {
    for (HWND c : Children(w))
        if (IsWindowVisible(c) && WithoutAmpersands(Text(c)) == text) return c;
    return nullptr;
}

// Presses the button as a click would. BM_CLICK is posted, not sent: a button
// that opens a modal box would otherwise hold this program until the box ends.
bool Press(HWND w, const std::string& button) {
    HWND b = FindButton(w, button);
    if (!b) {
        std::fprintf(stderr, "winpilot: no button \"%s\"\n", button.c_str());
        return false;
    }
    if (!IsWindowEnabled(b)) {
        std::fprintf(stderr, "winpilot: the button \"%s\" is disabled\n", button.c_str());
        return false;
    }
    return PostMessageA(b, BM_CLICK, 0, 0) != 0;
}

HWND Need(const std::string& caption, const std::string& button = "") {
    Search s;
    s.caption = caption;
    s.button = button;
    HWND w = Find(s);
    if (!w) std::fprintf(stderr, "winpilot: no window \"%s\"\n", caption.c_str());
    return w;
}

// The texts of the window's visible controls, one a line.
int PrintTexts(HWND w) {
    for (HWND c : Children(w))
        if (IsWindowVisible(c)) std::printf("%s\n", Text(c).c_str());
    return 0;
}

int Usage() {
    std::fputs("usage: winpilot wait|gone CAPTION [SECONDS] | texts|close|rect CAPTION |\n"
               "       click CAPTION BUTTON | box|answer TITLE BUTTON [SECONDS]\n",
               stderr);
    return 2;
}

DWORD Seconds(int argc, char** argv, int index) {
    return argc > index ? static_cast<DWORD>(std::strtoul(argv[index], nullptr, 10))
                        : DefaultSeconds;
}

} // namespace

int main(int argc, char** argv) {
    // Lines end in a line feed alone, as the Linux side that reads them expects.
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc < 3) return Usage();
    const std::string command = argv[1], caption = argv[2];

    if (command == "wait") {
        Search s;
        s.caption = caption;
        return WaitFor(s, Seconds(argc, argv, 3)) ? 0 : 1;
    }
    if (command == "gone") return WaitGone(caption, Seconds(argc, argv, 3)) ? 0 : 1;
    if (command == "texts") {
        HWND w = Need(caption);
        return w ? PrintTexts(w) : 1;
    }
    if (command == "click") {
        if (argc < 4) return Usage();
        HWND w = Need(caption, argv[3]);
        return w && Press(w, argv[3]) ? 0 : 1;
    }
    if (command == "box" || command == "answer") {
        if (argc < 4) return Usage();
        Search s;
        s.caption = caption;
        s.exact = true;
        s.messageBox = true;
        s.button = argv[3];
        const DWORD seconds = Seconds(argc, argv, 4);
        HWND w = WaitFor(s, seconds);
        if (!w) {
            std::fprintf(stderr, "winpilot: no message box \"%s\" with \"%s\"\n", caption.c_str(),
                         argv[3]);
            return 1;
        }
        if (command == "box") return PrintTexts(w);
        if (!Press(w, argv[3])) return 1;
        // The next box of the program may carry the same title: this one must
        // have gone before the caller looks for it.
        const DWORD start = GetTickCount();
        while (IsWindow(w) && IsWindowVisible(w)) {
            if (GetTickCount() - start >= seconds * 1000) return 1;
            Sleep(PollMs);
        }
        return 0;
    }
    if (command == "close") {
        HWND w = Need(caption);
        return w && PostMessageA(w, WM_CLOSE, 0, 0) ? 0 : 1;
    }
    if (command == "rect") {
        HWND w = Need(caption);
        RECT r;
        if (!w || !GetClientRect(w, &r)) return 1;
        std::printf("%ldx%ld\n", r.right - r.left, r.bottom - r.top);
        return 0;
    }
    return Usage();
}
