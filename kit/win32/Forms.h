// The pieces every Win32 window of the programs is built from: a form (a
// top-level window of a fixed client size whose messages go to a C++ object),
// its modal run, child controls, fonts and texts.
#pragma once

#include <windows.h>

#include <string>

// Registers the common controls (progress bars, tooltips, animation) once.
void InitControls();

// Registers a window class of this program once (later calls with the same
// name do nothing): an arrow cursor and the given background brush (none:
// the window paints all of itself).
void RegisterWindowClass(const char* name, WNDPROC proc, HBRUSH background = nullptr);

// The object a window of this program stands for: the lpParam of its
// CreateWindowEx, kept in GWLP_USERDATA from WM_NCCREATE on (a window
// procedure calls this first with each message); null before that and after
// DestroyObjectWindow.
void* WindowObject(HWND hwnd, UINT msg, LPARAM lp);
// Cuts a window off from its object, so that no message reaches the object
// any more, and destroys it.
void DestroyObjectWindow(HWND hwnd);

// A font of the given height in pixels (the character height, as a negative
// lfHeight): face, else the system's nearest.
HFONT MakeFont(const char* face, int pixelHeight, int weight = FW_NORMAL);

// A window's text as a string.
std::string WindowText(HWND hwnd);
void SetWindowTextStr(HWND hwnd, const std::string& text);

// Sets a top-level window's client area to width x height, keeping its
// position; with centre, places the window in the middle of the work area.
void SetClientSize(HWND hwnd, int width, int height, bool centre = false);

// A child control of parent at (x, y), w x h client pixels, in font; id is its
// control id (WM_COMMAND). WS_CHILD | WS_VISIBLE are added to style.
HWND AddControl(HWND parent, const char* className, const std::string& text, DWORD style, int x,
                int y, int w, int h, int id, HFONT font);
// A label (STATIC) whose size follows its text in its font, as a label with
// AutoSize does; SizeLabelToText sizes it again after its text changed.
HWND AddLabel(HWND parent, const std::string& text, int x, int y, HFONT font, int id = 0);
void SizeLabelToText(HWND label);
// Attaches a hint (tooltip) to a control.
void AddHint(HWND control, const std::string& hint);

// A top-level window whose messages go to HandleMessage. Create makes it,
// hidden, with a client area of width x height, centred on the work area.
class TForm {
  public:
    TForm() = default;
    virtual ~TForm();
    TForm(const TForm&) = delete;
    TForm& operator=(const TForm&) = delete;

    HWND Handle() const { return hwnd_; }
    bool Create(const char* caption, DWORD style, DWORD exStyle, int clientWidth, int clientHeight,
                HWND owner = nullptr, HICON icon = nullptr);

    void Show();
    void Hide();
    bool Visible() const { return hwnd_ && IsWindowVisible(hwnd_); }

    // Shows the form modally: the other top-level windows of the thread are
    // disabled and a message loop runs until EndModal; returns its result.
    // A WM_QUIT during the run ends it and is posted again for the outer loop.
    int ShowModal();
    void EndModal(int result);
    bool InModal() const { return modal_; }

  protected:
    // The form's messages; the default handling is DefWindowProc (and, for
    // the background, the button-face colour).
    virtual LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);

  private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

    HWND hwnd_ = nullptr;
    bool modal_ = false;
    bool modalDone_ = false;
    int modalResult_ = 0;
};
