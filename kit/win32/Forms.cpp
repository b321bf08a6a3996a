#include "Forms.h"

#include "WindowLoop.h"

#include <commctrl.h>

#include <mutex>
#include <set>
#include <vector>

void InitControls() {
    static std::once_flag once;
    std::call_once(once, [] {
        INITCOMMONCONTROLSEX icc{};
        icc.dwSize = sizeof icc;
        icc.dwICC = ICC_PROGRESS_CLASS | ICC_ANIMATE_CLASS | ICC_WIN95_CLASSES;
        InitCommonControlsEx(&icc);
    });
}

void RegisterWindowClass(const char* name, WNDPROC proc, HBRUSH background) {
    static std::mutex lock;
    static std::set<std::string> registered;
    std::lock_guard<std::mutex> guard(lock);
    if (!registered.insert(name).second) return;
    WNDCLASSA wc{};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    RegisterClassA(&wc);
}

void* WindowObject(HWND hwnd, UINT msg, LPARAM lp) {
    if (msg == WM_NCCREATE)
        SetWindowLongPtrA(
            hwnd, GWLP_USERDATA,
            reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams));
    return reinterpret_cast<void*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

void DestroyObjectWindow(HWND hwnd) {
    if (!hwnd) return;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
    DestroyWindow(hwnd);
}

HFONT MakeFont(const char* face, int pixelHeight, int weight) {
    return CreateFontA(-pixelHeight, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, face);
}

std::string WindowText(HWND hwnd) {
    const int length = GetWindowTextLengthA(hwnd);
    if (length <= 0) return {};
    std::string text(std::size_t(length) + 1, '\0');
    const int got = GetWindowTextA(hwnd, text.data(), length + 1);
    text.resize(std::size_t(got > 0 ? got : 0));
    return text;
}

void SetWindowTextStr(HWND hwnd, const std::string& text) {
    SetWindowTextA(hwnd, text.c_str());
}

void SetClientSize(HWND hwnd, int width, int height, bool centre) {
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrA(hwnd, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrA(hwnd, GWL_EXSTYLE));
    RECT frame{0, 0, width, height};
    AdjustWindowRectEx(&frame, style, GetMenu(hwnd) != nullptr, exStyle);
    int w = frame.right - frame.left, h = frame.bottom - frame.top;
    RECT now{};
    GetWindowRect(hwnd, &now);
    int x = now.left, y = now.top;
    const auto place = [&] {
        if (centre) {
            RECT work{};
            SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
            x = work.left + (work.right - work.left - w) / 2;
            y = work.top + (work.bottom - work.top - h) / 2;
        }
        SetWindowPos(hwnd, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
    };
    place();
    // A frame the estimate got wrong (a wrapped menu, a theme) is corrected by
    // what the client area really became.
    RECT client{};
    GetClientRect(hwnd, &client);
    if (client.right != width || client.bottom != height) {
        w += width - client.right;
        h += height - client.bottom;
        place();
    }
}

HWND AddControl(HWND parent, const char* className, const std::string& text, DWORD style, int x,
                int y, int w, int h, int id, HFONT font) {
    HWND control = CreateWindowExA(0, className, text.c_str(), style | WS_CHILD | WS_VISIBLE, x, y,
                                   w, h, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   GetModuleHandleA(nullptr), nullptr);
    if (control && font) SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    return control;
}

HWND AddLabel(HWND parent, const std::string& text, int x, int y, HFONT font, int id) {
    HWND label = AddControl(parent, "STATIC", text, SS_LEFT, x, y, 0, 0, id, font);
    SizeLabelToText(label);
    return label;
}

void SizeLabelToText(HWND label) {
    if (!label) return;
    const std::string text = WindowText(label);
    HDC dc = GetDC(label);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(label, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(label, dc);
    SetWindowPos(label, nullptr, 0, 0, size.cx, metrics.tmHeight,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(label, nullptr, TRUE);
}

void AddHint(HWND control, const std::string& hint) {
    HWND parent = GetParent(control);
    HWND top = GetAncestor(control, GA_ROOT);
    if (!parent || !top) return;
    // One hint window per form, kept as a property of the form and destroyed
    // with it (it is owned by the form).
    const char* const prop = "VelmoraHints";
    auto tips = static_cast<HWND>(GetPropA(top, prop));
    if (!tips) {
        tips = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr,
                               WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, top, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
        if (!tips) return;
        SetPropA(top, prop, tips);
    }
    TOOLINFOA info{};
    info.cbSize = TTTOOLINFOA_V1_SIZE;
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = parent;
    info.uId = reinterpret_cast<UINT_PTR>(control);
    info.lpszText = const_cast<char*>(hint.c_str()); // copied by the hint window
    SendMessageA(tips, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info));
}

namespace {

const char* const FormClass = "VelmoraForm";

} // namespace

TForm::~TForm() {
    if (!hwnd_) return;
    // The derived part is gone: no message may reach HandleMessage any more.
    RemovePropA(hwnd_, "VelmoraHints");
    DestroyObjectWindow(hwnd_);
    hwnd_ = nullptr;
}

bool TForm::Create(const char* caption, DWORD style, DWORD exStyle, int clientWidth,
                   int clientHeight, HWND owner, HICON icon) {
    if (hwnd_) return false;
    InitControls();
    RegisterWindowClass(FormClass, &TForm::WndProc, GetSysColorBrush(COLOR_BTNFACE));
    RECT frame{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    CreateWindowExA(exStyle, FormClass, caption, style & ~WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                    frame.right - frame.left, frame.bottom - frame.top, owner, nullptr,
                    GetModuleHandleA(nullptr), this);
    if (!hwnd_) return false;
    if (icon) {
        SendMessageA(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
        SendMessageA(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    }
    SetClientSize(hwnd_, clientWidth, clientHeight, true);
    return true;
}

void TForm::Show() {
    if (!hwnd_) return;
    ShowWindow(hwnd_, SW_SHOW);
    UpdateWindow(hwnd_);
}

void TForm::Hide() {
    if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
}

namespace {

struct ModalDisable {
    HWND form;
    std::vector<HWND> disabled;
};

BOOL CALLBACK DisableOther(HWND hwnd, LPARAM lp) {
    auto* state = reinterpret_cast<ModalDisable*>(lp);
    if (hwnd == state->form || GetWindow(hwnd, GW_OWNER) == state->form) return TRUE;
    if (!IsWindowVisible(hwnd) || !IsWindowEnabled(hwnd)) return TRUE;
    EnableWindow(hwnd, FALSE);
    state->disabled.push_back(hwnd);
    return TRUE;
}

} // namespace

int TForm::ShowModal() {
    if (!hwnd_ || modal_) return 0;
    ModalDisable others{hwnd_, {}};
    EnumThreadWindows(GetCurrentThreadId(), DisableOther, reinterpret_cast<LPARAM>(&others));
    modal_ = true;
    modalDone_ = false;
    modalResult_ = 0;
    EnableWindow(hwnd_, TRUE);
    Show();
    SetActiveWindow(hwnd_);

    bool quit = false;
    int quitCode = 0;
    MSG msg{};
    while (!modalDone_ && hwnd_) {
        const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got <= 0) {
            quit = got == 0;
            quitCode = static_cast<int>(msg.wParam);
            break;
        }
        DispatchWindowMessage(msg);
    }

    // The other windows come back before this one hides, so that one of them
    // takes the activation.
    for (HWND hwnd : others.disabled)
        if (IsWindow(hwnd)) EnableWindow(hwnd, TRUE);
    Hide();
    modal_ = false;
    if (quit) PostQuitMessage(quitCode);
    return modalResult_;
}

void TForm::EndModal(int result) {
    if (!modal_) return;
    modalResult_ = result;
    modalDone_ = true;
    // Wakes the modal loop also when the call came by a sent message, which
    // GetMessage handles without returning.
    PostMessageA(hwnd_, WM_NULL, 0, 0);
}

LRESULT TForm::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        HDC dc = reinterpret_cast<HDC>(wp);
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_CLOSE:
        // Closing a modal form ends its run with Cancel and only hides it.
        if (modal_) {
            EndModal(IDCANCEL);
            return 0;
        }
        break;
    default:
        break;
    }
    return DefWindowProcA(hwnd_, msg, wp, lp);
}

LRESULT CALLBACK TForm::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* form = static_cast<TForm*>(WindowObject(hwnd, msg, lp));
    if (!form) return DefWindowProcA(hwnd, msg, wp, lp);
    if (msg == WM_NCCREATE) form->hwnd_ = hwnd;
    const LRESULT result = form->HandleMessage(msg, wp, lp);
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        form->hwnd_ = nullptr;
        form->modalDone_ = true;
    }
    return result;
}
