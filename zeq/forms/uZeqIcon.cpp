#include "uZeqIcon.h"

#include <cmath>
#include <numbers>

namespace {

// A pie segment of the ellipse inside r as a closed polygon: the centre, then
// the arc from startDegrees over spanDegrees, counter-clockwise from the three
// o'clock direction.
std::vector<TPointF> PiePoints(const TRectF& r, double startDegrees, double spanDegrees) {
    const TPointF c = r.Center();
    std::vector<TPointF> points{c};
    const int steps = static_cast<int>(std::ceil(std::abs(spanDegrees) / 5)) + 1;
    for (int i = 0; i < steps; ++i) {
        const double a = (startDegrees + spanDegrees * i / (steps - 1)) * std::numbers::pi / 180;
        points.push_back({c.x + r.w / 2 * std::cos(a), c.y - r.h / 2 * std::sin(a)});
    }
    return points;
}

} // namespace

std::vector<TDrawStep> ZeqIconSteps() {
    TStepRecorder r;
    const TRectF pie{2.5, 4.5, 27, 25};
    // The dish, then the pie with a slice missing, then the slice set apart.
    r.SetPen({64, 64, 64}, 1);
    r.SetBrush({190, 200, 220});
    r.Ellipse(TRectF{1.5, 8.5, 29, 22});
    r.SetBrush({214, 150, 60});
    r.Polygon(PiePoints(pie, 60, 300));
    r.SetBrush({236, 190, 110});
    r.Polygon(PiePoints(TRectF{pie.x + 3, pie.y - 3, pie.w, pie.h}, 0, 60));
    return r.Take();
}
