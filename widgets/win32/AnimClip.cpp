#include "AnimClip.h"

#include "DrawSteps.h"
#include "Forms.h"

namespace {

const char* const AnimateClass = "VelmoraAnimate";
constexpr UINT_PTR FrameTimer = 1;
// The frame is drawn at this many times its size and averaged down, which
// smooths the edges GDI draws without antialiasing.
constexpr int Oversample = 3;

} // namespace

TAnimate::TAnimate(HWND parent, int x, int y, int width, int height, TCommonAVI clip) {
    player_.SetClip(clip);
    RegisterWindowClass(AnimateClass, &TAnimate::WndProc);
    CreateWindowExA(0, AnimateClass, "", WS_CHILD | WS_VISIBLE, x, y, width, height, parent,
                    nullptr, GetModuleHandleA(nullptr), this);
    UpdateTimer();
}

TAnimate::~TAnimate() {
    if (!hwnd_) return;
    if (ticking_) KillTimer(hwnd_, FrameTimer);
    DestroyObjectWindow(hwnd_);
}

void TAnimate::SetCommonAVI(TCommonAVI value) {
    player_.SetClip(value);
    UpdateTimer();
    if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
}

void TAnimate::SetActive(bool value) {
    player_.SetActive(value);
    UpdateTimer();
    if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
}

void TAnimate::Play(int fromFrame, int toFrame, int count) {
    player_.Play(fromFrame, toFrame, count);
    UpdateTimer();
    if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
}

void TAnimate::Seek(int frame) {
    player_.Seek(frame);
    UpdateTimer();
    if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
}

void TAnimate::UpdateTimer() {
    if (!hwnd_) return;
    // The timer runs while the clip plays; frames move on only while the
    // control can be seen (its parent shown as well).
    const bool wanted = player_.Active();
    if (wanted && !ticking_)
        ticking_ = SetTimer(hwnd_, FrameTimer, FrameInterval, nullptr) != 0;
    else if (!wanted && ticking_) {
        KillTimer(hwnd_, FrameTimer);
        ticking_ = false;
    }
}

void TAnimate::Paint(HDC dc) {
    RECT client{};
    GetClientRect(hwnd_, &client);
    const int w = client.right, h = client.bottom;
    if (w <= 0 || h <= 0) return;
    const COLORREF face = GetSysColor(COLOR_BTNFACE);

    TDibSurface big(dc, w * Oversample, h * Oversample);
    TDibSurface small(dc, w, h);
    if (!big.Valid() || !small.Valid()) return;
    big.Fill(face);
    SetGraphicsMode(big.Dc(), GM_ADVANCED);
    const XFORM scale{float(Oversample), 0, 0, float(Oversample), 0, 0};
    SetWorldTransform(big.Dc(), &scale);
    DrawSteps(big.Dc(), ClipFrameSteps(player_.Clip(), player_.Frame(), 0, 0, w, h));

    const std::uint32_t* from = big.Pixels();
    std::uint32_t* to = small.Pixels();
    const int bigWidth = w * Oversample;
    constexpr int n = Oversample * Oversample;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            unsigned r = 0, g = 0, b = 0;
            for (int dy = 0; dy < Oversample; ++dy) {
                const std::uint32_t* row =
                    from + std::size_t(y * Oversample + dy) * bigWidth + x * Oversample;
                for (int dx = 0; dx < Oversample; ++dx) {
                    r += (row[dx] >> 16) & 0xFF;
                    g += (row[dx] >> 8) & 0xFF;
                    b += row[dx] & 0xFF;
                }
            }
            to[std::size_t(y) * w + x] =
                (r + n / 2) / n << 16 | (g + n / 2) / n << 8 | (b + n / 2) / n;
        }
    BitBlt(dc, 0, 0, w, h, small.Dc(), 0, 0, SRCCOPY);
}

LRESULT CALLBACK TAnimate::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* anim = static_cast<TAnimate*>(WindowObject(hwnd, msg, lp));
    if (anim && msg == WM_NCCREATE) anim->hwnd_ = hwnd;
    if (anim) {
        switch (msg) {
        case WM_TIMER:
            if (wp != FrameTimer) break;
            if (!IsWindowVisible(hwnd)) return 0;
            if (anim->player_.NextFrame())
                InvalidateRect(hwnd, nullptr, FALSE);
            else
                anim->UpdateTimer(); // a last repetition that ended stops the timer
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            anim->Paint(dc);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_NCDESTROY:
            anim->hwnd_ = nullptr;
            anim->ticking_ = false;
            SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
            break;
        default:
            break;
        }
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}
