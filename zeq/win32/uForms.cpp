#include "uForms.h"

#include "DrawSteps.h"
#include "Forms.h"
#include "uFaces.h"
#include "uZeqIcon.h"

#include <cstdint>
#include <vector>

namespace {

int CALLBACK FaceFound(const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool HasFace(const char* face) {
    LOGFONTA lf{};
    lf.lfCharSet = DEFAULT_CHARSET;
    lstrcpynA(lf.lfFaceName, face, LF_FACESIZE);
    bool found = false;
    HDC dc = GetDC(nullptr);
    EnumFontFamiliesExA(dc, &lf, FaceFound, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, dc);
    return found;
}

// The first face of the list that the system has, else the first one, which
// the font mapper replaces by its nearest.
HFONT FirstFace(const TFaceList& faces) {
    for (const char* face : faces)
        if (HasFace(face)) return MakeFont(face, FacePixelHeight);
    return MakeFont(faces.front(), FacePixelHeight);
}

HBITMAP MakeDib(HDC dc, std::uint32_t*& bits) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = ZeqIconSize;
    bi.bmiHeader.biHeight = -ZeqIconSize; // top row first
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* p = nullptr;
    HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &p, nullptr, 0);
    bits = static_cast<std::uint32_t*>(p);
    return bmp;
}

// Draws the icon's steps over a background of one grey level into bits.
HBITMAP DrawOn(HDC dc, std::uint8_t ground, std::uint32_t*& bits) {
    HBITMAP bmp = MakeDib(dc, bits);
    if (!bmp) return nullptr;
    HGDIOBJ old = SelectObject(dc, bmp);
    for (int i = 0; i < ZeqIconSize * ZeqIconSize; ++i)
        bits[i] = 0x010101u * ground;
    DrawSteps(dc, ZeqIconSteps());
    GdiFlush();
    SelectObject(dc, old);
    return bmp;
}

} // namespace

HFONT VerdanaFont() {
    static HFONT font = FirstFace(VerdanaFaces());
    return font;
}

HFONT NarrowFont() {
    static HFONT font = FirstFace(NarrowFaces());
    return font;
}

HFONT DialogFont() {
    static HFONT font = FirstFace(DialogFaces());
    return font;
}

HICON ZeqIcon() {
    static HICON icon = [] {
        HDC screen = GetDC(nullptr);
        HDC dc = CreateCompatibleDC(screen);
        ReleaseDC(nullptr, screen);
        // The steps once on white and once on black: where the two differ the
        // icon lets its background through, which gives each pixel its alpha.
        std::uint32_t *white = nullptr, *black = nullptr, *colour = nullptr;
        HBITMAP onWhite = DrawOn(dc, 255, white);
        HBITMAP onBlack = DrawOn(dc, 0, black);
        HBITMAP colourBmp = MakeDib(dc, colour);
        std::vector<std::uint8_t> maskBits(ZeqIconSize * ZeqIconSize / 8, 0);
        HICON made = nullptr;
        if (onWhite && onBlack && colourBmp) {
            for (int i = 0; i < ZeqIconSize * ZeqIconSize; ++i) {
                int alpha = 255;
                std::uint32_t rgb = 0;
                for (int shift = 0; shift < 24; shift += 8) {
                    const int w = (white[i] >> shift) & 0xFF, b = (black[i] >> shift) & 0xFF;
                    if (255 - (w - b) < alpha) alpha = 255 - (w - b);
                }
                if (alpha < 0) alpha = 0;
                for (int shift = 0; shift < 24 && alpha > 0; shift += 8) {
                    const int b = (black[i] >> shift) & 0xFF;
                    const int c = b * 255 / alpha;
                    rgb |= std::uint32_t(c > 255 ? 255 : c) << shift;
                }
                colour[i] = std::uint32_t(alpha) << 24 | rgb;
                if (alpha == 0) maskBits[i / 8] |= std::uint8_t(0x80 >> (i % 8));
            }
            GdiFlush();
            HBITMAP mask = CreateBitmap(ZeqIconSize, ZeqIconSize, 1, 1, maskBits.data());
            ICONINFO info{};
            info.fIcon = TRUE;
            info.hbmMask = mask;
            info.hbmColor = colourBmp;
            made = CreateIconIndirect(&info);
            if (mask) DeleteObject(mask);
        }
        for (HBITMAP bmp : {onWhite, onBlack, colourBmp})
            if (bmp) DeleteObject(bmp);
        DeleteDC(dc);
        return made;
    }();
    return icon;
}
