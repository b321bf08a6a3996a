#include "DrawSteps.h"

#include <algorithm>
#include <cmath>
#include <cstring>

TDibSurface::TDibSurface(HDC reference, int width, int height) {
    if (width <= 0 || height <= 0) return;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(reference, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap_) return;
    dc_ = CreateCompatibleDC(reference);
    if (!dc_) return;
    old_ = SelectObject(dc_, bitmap_);
    bits_ = static_cast<std::uint32_t*>(bits);
    width_ = width;
    height_ = height;
}

TDibSurface::~TDibSurface() {
    if (dc_) {
        if (old_) SelectObject(dc_, old_);
        DeleteDC(dc_);
    }
    if (bitmap_) DeleteObject(bitmap_);
}

std::uint32_t* TDibSurface::Pixels() {
    GdiFlush();
    return bits_;
}

void TDibSurface::Fill(COLORREF color) {
    if (!Valid()) return;
    const std::uint32_t pixel = std::uint32_t(GetRValue(color)) << 16 |
                                std::uint32_t(GetGValue(color)) << 8 | GetBValue(color);
    std::fill_n(Pixels(), std::size_t(width_) * height_, pixel);
}

namespace {

// Coordinates go to GDI in whole units of 1/Sub pixel, the world transform
// scaled down to match, so that shapes keep their fractional positions.
constexpr double Sub = 16;

int U(double v) {
    return static_cast<int>(std::lround(v * Sub));
}

POINT P(const TPointF& p) {
    return {U(p.x), U(p.y)};
}

std::vector<POINT> Points(const std::vector<TPointF>& points) {
    std::vector<POINT> out;
    out.reserve(points.size());
    for (const TPointF& p : points)
        out.push_back(P(p));
    return out;
}

// The point at angle a16 (1/16 degree, counter-clockwise from 3 o'clock) on
// the ellipse inside r.
POINT ArcPoint(const TRectF& r, int a16) {
    const double a = a16 / 16.0 * 3.14159265358979323846 / 180;
    const TPointF c = r.Center();
    return P({c.x + r.w / 2 * std::cos(a), c.y - r.h / 2 * std::sin(a)});
}

void DrawShape(HDC dc, const TDrawStep& s, HGDIOBJ pen) {
    const TRectF& r = s.rect;
    switch (s.kind) {
    case TStepKind::Polygon: {
        const std::vector<POINT> pts = Points(s.points);
        if (pts.size() >= 2) Polygon(dc, pts.data(), static_cast<int>(pts.size()));
        break;
    }
    case TStepKind::Path: {
        const std::vector<POINT> pts = Points(s.points);
        if (pts.size() < 2) break;
        if (s.closed) {
            Polygon(dc, pts.data(), static_cast<int>(pts.size()));
            break;
        }
        // An open path is filled as if closed, but its outline stays open.
        if (s.hasBrush) {
            HGDIOBJ old = SelectObject(dc, GetStockObject(NULL_PEN));
            Polygon(dc, pts.data(), static_cast<int>(pts.size()));
            SelectObject(dc, old);
        }
        if (pen) Polyline(dc, pts.data(), static_cast<int>(pts.size()));
        break;
    }
    case TStepKind::Line:
        if (s.points.size() == 2 && pen) {
            const POINT a = P(s.points[0]), b = P(s.points[1]);
            MoveToEx(dc, a.x, a.y, nullptr);
            LineTo(dc, b.x, b.y);
        }
        break;
    case TStepKind::Ellipse:
        Ellipse(dc, U(r.Left()), U(r.Top()), U(r.Right()), U(r.Bottom()));
        break;
    case TStepKind::Arc: {
        if (s.spanAngle == 0 || !pen) break;
        const int span = std::clamp(s.spanAngle, -360 * 16, 360 * 16);
        const POINT from = ArcPoint(r, s.startAngle);
        const POINT to = ArcPoint(r, s.startAngle + span);
        // A whole turn has the same start and end: GDI then draws the whole ellipse.
        SetArcDirection(dc, span > 0 ? AD_COUNTERCLOCKWISE : AD_CLOCKWISE);
        Arc(dc, U(r.Left()), U(r.Top()), U(r.Right()), U(r.Bottom()), from.x, from.y, to.x, to.y);
        SetArcDirection(dc, AD_COUNTERCLOCKWISE);
        break;
    }
    case TStepKind::Rect:
        Rectangle(dc, U(r.Left()), U(r.Top()), U(r.Right()), U(r.Bottom()));
        break;
    case TStepKind::RoundedRect:
        RoundRect(dc, U(r.Left()), U(r.Top()), U(r.Right()), U(r.Bottom()), U(2 * s.radius),
                  U(2 * s.radius));
        break;
    }
}

// The pixels of the DIB selected into dc, when it is one GDI draws into.
struct DcPixels {
    std::uint32_t* bits = nullptr;
    std::size_t count = 0;
};

DcPixels PixelsOf(HDC dc) {
    DIBSECTION dib{};
    HGDIOBJ bitmap = GetCurrentObject(dc, OBJ_BITMAP);
    if (!bitmap || GetObjectA(bitmap, sizeof dib, &dib) != sizeof dib) return {};
    if (dib.dsBm.bmBitsPixel != 32 || !dib.dsBm.bmBits) return {};
    return {static_cast<std::uint32_t*>(dib.dsBm.bmBits),
            std::size_t(dib.dsBm.bmWidth) * std::size_t(std::abs(dib.dsBm.bmHeight))};
}

std::uint32_t Mix(std::uint32_t under, std::uint32_t over, int alpha) {
    std::uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int u = (under >> shift) & 0xFF, o = (over >> shift) & 0xFF;
        out |= std::uint32_t(u + ((o - u) * alpha + 127) / 255) << shift;
    }
    return out;
}

// Draws one step with its pen or its brush or both. GDI draws opaque, so a
// translucent pass is drawn opaque and then mixed with what was there, pixel
// by pixel, where the DC is a 32-bit DIB.
void DrawPass(HDC dc, const TDrawStep& s, bool pen, bool brush, const DcPixels& pixels,
              std::vector<std::uint32_t>& before) {
    HGDIOBJ penObject = nullptr;
    if (pen) {
        LOGBRUSH lb{BS_SOLID, ToColorRef(s.pen.color), 0};
        const DWORD style = PS_GEOMETRIC | PS_SOLID | PS_JOIN_BEVEL |
                            (s.pen.roundCap ? PS_ENDCAP_ROUND : PS_ENDCAP_SQUARE);
        penObject = ExtCreatePen(style, std::max<DWORD>(1, DWORD(U(s.pen.width))), &lb, 0, nullptr);
    }
    HGDIOBJ brushObject = brush ? CreateSolidBrush(ToColorRef(s.brush)) : nullptr;
    HGDIOBJ oldPen = SelectObject(dc, penObject ? penObject : GetStockObject(NULL_PEN));
    HGDIOBJ oldBrush = SelectObject(dc, brushObject ? brushObject : GetStockObject(NULL_BRUSH));

    const int alpha = pen ? s.pen.color.a : s.brush.a;
    const bool translucent = alpha < 255 && pixels.bits;
    if (translucent) {
        GdiFlush();
        before.assign(pixels.bits, pixels.bits + pixels.count);
    }
    TDrawStep pass = s;
    pass.hasBrush = brush;
    DrawShape(dc, pass, penObject);
    if (translucent) {
        GdiFlush();
        for (std::size_t i = 0; i < pixels.count; ++i)
            if (pixels.bits[i] != before[i]) pixels.bits[i] = Mix(before[i], pixels.bits[i], alpha);
    }

    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    if (penObject) DeleteObject(penObject);
    if (brushObject) DeleteObject(brushObject);
}

} // namespace

void DrawSteps(HDC dc, const std::vector<TDrawStep>& steps) {
    SetGraphicsMode(dc, GM_ADVANCED);
    XFORM base{};
    GetWorldTransform(dc, &base);
    const int oldFill = SetPolyFillMode(dc, ALTERNATE);
    const DcPixels pixels = PixelsOf(dc);
    std::vector<std::uint32_t> before;

    for (const TDrawStep& s : steps) {
        const bool pen = s.hasPen && s.pen.color.a != 0;
        const bool brush = s.hasBrush && s.brush.a != 0;
        if (!pen && !brush) continue;

        const TTransform& t = s.transform;
        const XFORM step{float(t.m11 / Sub), float(t.m12 / Sub), float(t.m21 / Sub),
                         float(t.m22 / Sub), float(t.dx),        float(t.dy)};
        XFORM world{};
        CombineTransform(&world, &step, &base);
        SetWorldTransform(dc, &world);

        // A fill and an outline of different opacity are drawn one after the
        // other, the outline over the fill.
        if (pen && brush && s.pen.color.a != s.brush.a) {
            DrawPass(dc, s, false, true, pixels, before);
            DrawPass(dc, s, true, false, pixels, before);
        } else {
            DrawPass(dc, s, pen, brush, pixels, before);
        }
    }
    SetWorldTransform(dc, &base);
    SetPolyFillMode(dc, oldFill);
}
