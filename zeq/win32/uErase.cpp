#include "uErase.h"

#include "WindowLoop.h"
#include "uEraseRules.h"
#include "uForms.h"

TErase::TErase(JobState& job) : Timer1(1000, [this] { Timer1Timer(); }), job_(job) {
    // A caption without title-bar buttons, above every other window.
    if (!Create(erasetext::Caption, WS_POPUP | WS_CAPTION, WS_EX_TOPMOST, 330, 122)) return;
    HWND form = Handle();
    HFONT font = DialogFont();

    Animate1 = std::make_unique<TAnimate>(form, 0, 8, 304, 60, aviDeleteFile);
    Animate1->Play(0, 24, 0);

    Label1 = AddLabel(form, erasetext::Heading, 11, 72, font, IdLabel1);

    tDisk = std::make_unique<TFileLabel>(form, 11, 96, 305, 17, drFromLeft, font);
    tDisk->SetAutoSize(false);

    Timer1.Start();
}

TErase::~TErase() {
    Timer1.Stop();
}

void TErase::EraseFolder(const std::string& folder, const std::function<bool()>& stop) {
    EraseJobFolder(
        job_, folder, currentErase_, [] { ProcessMessages(); }, stop);
}

void TErase::EraseTarget(const std::function<bool()>& stop) {
    // Shown without taking the focus: the keyboard stays with the window the
    // user works with (the disk dialog, or its abort question).
    HWND active = GetActiveWindow();
    ShowWindow(Handle(), SW_SHOWNOACTIVATE);
    if (active && GetActiveWindow() != active) SetActiveWindow(active);
    UpdateWindow(Handle());
    EraseFolder(job_.Settings().TargetPath, stop);
    Hide();
}

void TErase::Timer1Timer() {
    tDisk->SetFileName(currentErase_);
}

LRESULT TErase::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CLOSE) return 0; // only the erase's caller closes it
    return TForm::HandleMessage(msg, wp, lp);
}
