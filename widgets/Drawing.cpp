#include "Drawing.h"

#include <cmath>
#include <numbers>

void TTransform::Translate(double tx, double ty) {
    dx += tx * m11 + ty * m21;
    dy += tx * m12 + ty * m22;
}

void TTransform::Rotate(double degrees) {
    const double a = degrees * std::numbers::pi / 180;
    const double c = std::cos(a), s = std::sin(a);
    const double n11 = c * m11 + s * m21, n12 = c * m12 + s * m22;
    const double n21 = -s * m11 + c * m21, n22 = -s * m12 + c * m22;
    m11 = n11;
    m12 = n12;
    m21 = n21;
    m22 = n22;
}

void TTransform::Scale(double sx, double sy) {
    m11 *= sx;
    m12 *= sx;
    m21 *= sy;
    m22 *= sy;
}

void TStepRecorder::SetPen(TColor color, double width, bool roundCap) {
    state_.hasPen = true;
    state_.pen = {color, width, roundCap};
}

void TStepRecorder::SetBrush(TColor color) {
    state_.hasBrush = true;
    state_.brush = color;
}

void TStepRecorder::NoBrush() {
    state_.hasBrush = false;
}

void TStepRecorder::Save() {
    saved_.push_back(state_);
}

void TStepRecorder::Restore() {
    if (saved_.empty()) return;
    state_ = saved_.back();
    saved_.pop_back();
}

TDrawStep& TStepRecorder::Add(TStepKind kind) {
    TDrawStep& step = steps_.emplace_back(state_);
    step.kind = kind;
    return step;
}

void TStepRecorder::Polygon(std::vector<TPointF> points) {
    TDrawStep& s = Add(TStepKind::Polygon);
    s.points = std::move(points);
    s.closed = true;
}

void TStepRecorder::Path(std::vector<TPointF> points, bool closed) {
    TDrawStep& s = Add(TStepKind::Path);
    s.points = std::move(points);
    s.closed = closed;
}

void TStepRecorder::Line(TPointF from, TPointF to) {
    Add(TStepKind::Line).points = {from, to};
}

void TStepRecorder::Ellipse(const TRectF& rect) {
    Add(TStepKind::Ellipse).rect = rect;
}

void TStepRecorder::Ellipse(TPointF centre, double rx, double ry) {
    Ellipse(TRectF{centre.x - rx, centre.y - ry, 2 * rx, 2 * ry});
}

void TStepRecorder::Arc(const TRectF& rect, int startAngle, int spanAngle) {
    TDrawStep& s = Add(TStepKind::Arc);
    s.rect = rect;
    s.startAngle = startAngle;
    s.spanAngle = spanAngle;
}

void TStepRecorder::Rect(const TRectF& rect) {
    Add(TStepKind::Rect).rect = rect;
}

void TStepRecorder::RoundedRect(const TRectF& rect, double radius) {
    TDrawStep& s = Add(TStepKind::RoundedRect);
    s.rect = rect;
    s.radius = radius;
}
