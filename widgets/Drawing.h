// What the toolkit-free widget rules hand to a backend to draw: colours,
// points and rectangles in pixels, and drawing steps (shapes with a pen, a
// brush and a transform) recorded in the manner of a painter. A backend
// (qt/, win32/) replays the steps antialiased, in order.
#pragma once

#include <cstdint>
#include <vector>

struct TColor {
    std::uint8_t r = 0, g = 0, b = 0, a = 255;
    // As 0xAARRGGBB, the layout of a 32-bit pixel of TPixels.
    std::uint32_t Argb() const {
        return std::uint32_t(a) << 24 | std::uint32_t(r) << 16 | std::uint32_t(g) << 8 | b;
    }
    static TColor FromArgb(std::uint32_t v) {
        return {std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v),
                std::uint8_t(v >> 24)};
    }
    bool operator==(const TColor&) const = default;
};

struct TPointF {
    double x = 0, y = 0;
    TPointF operator+(TPointF o) const { return {x + o.x, y + o.y}; }
    TPointF operator*(double k) const { return {x * k, y * k}; }
};

struct TRectF {
    double x = 0, y = 0, w = 0, h = 0;
    double Left() const { return x; }
    double Top() const { return y; }
    double Right() const { return x + w; }
    double Bottom() const { return y + h; }
    TPointF Center() const { return {x + w / 2, y + h / 2}; }
    TPointF TopRight() const { return {Right(), y}; }
    TPointF BottomLeft() const { return {x, Bottom()}; }
    TPointF BottomRight() const { return {Right(), Bottom()}; }
    TRectF Adjusted(double l, double t, double r, double b) const {
        return {x + l, y + t, w - l + r, h - t + b};
    }
};

// An affine map: x' = m11 x + m21 y + dx, y' = m12 x + m22 y + dy.
struct TTransform {
    double m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;
    // Each applies its change before the map so far, as a painter's does.
    void Translate(double tx, double ty);
    void Rotate(double degrees);
    void Scale(double sx, double sy);
};

enum class TStepKind {
    Polygon,     // points, closed, filled with the brush
    Path,        // points joined by lines, closed only when closed is set; filled
    Line,        // from points[0] to points[1]
    Ellipse,     // inside rect
    Arc,         // of the ellipse inside rect, angles in 1/16 degree, counter-clockwise
    Rect,        // rect
    RoundedRect, // rect with corners of radius
};

struct TPen {
    TColor color;
    double width = 1;
    bool roundCap = false; // else square ends
};

struct TDrawStep {
    TStepKind kind = TStepKind::Line;
    std::vector<TPointF> points;
    bool closed = false;
    TRectF rect;
    double radius = 0;
    int startAngle = 0, spanAngle = 0;
    bool hasPen = true;
    TPen pen;
    bool hasBrush = false;
    TColor brush;
    TTransform transform;
};

// Records drawing steps with a painter's state: the current pen, brush and
// transform, which Save and Restore keep and bring back.
class TStepRecorder {
  public:
    void SetPen(TColor color, double width = 1, bool roundCap = false);
    void SetBrush(TColor color);
    void NoBrush();
    void Save();
    void Restore();
    void Translate(TPointF by) { state_.transform.Translate(by.x, by.y); }
    void Rotate(double degrees) { state_.transform.Rotate(degrees); }
    void Scale(double sx, double sy) { state_.transform.Scale(sx, sy); }

    void Polygon(std::vector<TPointF> points);
    void Path(std::vector<TPointF> points, bool closed);
    void Line(TPointF from, TPointF to);
    void Ellipse(const TRectF& rect);
    void Ellipse(TPointF centre, double rx, double ry);
    void Arc(const TRectF& rect, int startAngle, int spanAngle);
    void Rect(const TRectF& rect);
    void RoundedRect(const TRectF& rect, double radius);

    std::vector<TDrawStep> Take() { return std::move(steps_); }

  private:
    TDrawStep& Add(TStepKind kind);

    TDrawStep state_; // pen, brush and transform of the next step
    std::vector<TDrawStep> saved_;
    std::vector<TDrawStep> steps_;
};
