#include "vPictures.h"

namespace {

const TColor Black{0, 0, 0}, Maroon{128, 0, 0}, Olive{128, 128, 0}, Gray{128, 128, 128},
    Silver{192, 192, 192}, Yellow{255, 255, 0}, White{255, 255, 255};

// Points along the cubic curve from p0 to p3 with the control points p1 and
// p2, p0 left out (it ends the part before).
void AppendCurve(std::vector<TPointF>& points, TPointF p0, TPointF p1, TPointF p2, TPointF p3) {
    constexpr int Segments = 8;
    for (int i = 1; i <= Segments; ++i) {
        const double t = double(i) / Segments, u = 1 - t;
        points.push_back(p0 * (u * u * u) + p1 * (3 * u * u * t) + p2 * (3 * u * t * t) +
                         p3 * (t * t * t));
    }
}

} // namespace

// One-pixel lines run through pixel centres (the .5 coordinates) so that they
// stay sharp when drawn antialiased; two-pixel lines lie on pixel edges.

void DrawScissors(TStepRecorder& r) {
    r.Save();
    r.NoBrush();
    // Blades, crossing at the pivot.
    r.SetPen(Gray, 2);
    r.Line({7, 12}, {15, 1});
    r.SetPen(Silver, 2);
    r.Line({12, 12}, {4, 1});
    r.SetPen(Black, 1);
    r.SetBrush(Black);
    r.Ellipse({9.5, 9.5}, 0.5, 0.5);
    // Handles.
    r.NoBrush();
    r.SetPen(Maroon, 2);
    r.Ellipse(TRectF{2, 12, 6, 6});
    r.Ellipse(TRectF{11, 12, 6, 6});
    r.Restore();
}

void DrawBell(TStepRecorder& r) {
    r.Save();
    std::vector<TPointF> body{{3.5, 12.5}};
    AppendCurve(body, {3.5, 12.5}, {4.5, 10.5}, {4.5, 3.5}, {8.5, 3.5});
    AppendCurve(body, {8.5, 3.5}, {12.5, 3.5}, {12.5, 10.5}, {13.5, 12.5});
    r.SetPen(Olive, 1);
    r.SetBrush(Yellow);
    r.Path(std::move(body), true);
    // The rim, the knob on top and the clapper below.
    r.NoBrush();
    r.Line({2.5, 12.5}, {14.5, 12.5});
    r.SetBrush(Olive);
    r.Ellipse({8, 2}, 1, 1);
    r.Ellipse({8, 14}, 1, 1);
    // A shine on the left of the body.
    r.NoBrush();
    r.SetPen(White, 1);
    r.Line({6.5, 5.5}, {5.5, 9.5});
    r.Restore();
}
