#include "DrawSteps.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace {

QRectF ToQRect(const TRectF& r) {
    return {r.x, r.y, r.w, r.h};
}

QPolygonF ToPolygon(const std::vector<TPointF>& points) {
    QPolygonF polygon;
    for (const TPointF& p : points)
        polygon << QPointF(p.x, p.y);
    return polygon;
}

void DrawStep(QPainter& p, const TDrawStep& s) {
    switch (s.kind) {
    case TStepKind::Polygon:
        p.drawPolygon(ToPolygon(s.points));
        break;
    case TStepKind::Path: {
        if (s.points.empty()) break;
        QPainterPath path;
        path.moveTo(s.points[0].x, s.points[0].y);
        for (std::size_t i = 1; i < s.points.size(); ++i)
            path.lineTo(s.points[i].x, s.points[i].y);
        if (s.closed) path.closeSubpath();
        p.drawPath(path);
        break;
    }
    case TStepKind::Line:
        if (s.points.size() == 2)
            p.drawLine(QPointF(s.points[0].x, s.points[0].y),
                       QPointF(s.points[1].x, s.points[1].y));
        break;
    case TStepKind::Ellipse:
        p.drawEllipse(ToQRect(s.rect));
        break;
    case TStepKind::Arc:
        p.drawArc(ToQRect(s.rect), s.startAngle, s.spanAngle);
        break;
    case TStepKind::Rect:
        p.drawRect(ToQRect(s.rect));
        break;
    case TStepKind::RoundedRect:
        p.drawRoundedRect(ToQRect(s.rect), s.radius, s.radius);
        break;
    }
}

} // namespace

void DrawSteps(QPainter& painter, const std::vector<TDrawStep>& steps) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QTransform base = painter.worldTransform();
    for (const TDrawStep& s : steps) {
        const TTransform& t = s.transform;
        painter.setWorldTransform(QTransform(t.m11, t.m12, t.m21, t.m22, t.dx, t.dy) * base);
        if (s.hasPen)
            painter.setPen(QPen(ToQColor(s.pen.color), s.pen.width, Qt::SolidLine,
                                s.pen.roundCap ? Qt::RoundCap : Qt::SquareCap));
        else
            painter.setPen(Qt::NoPen);
        if (s.hasBrush)
            painter.setBrush(ToQColor(s.brush));
        else
            painter.setBrush(Qt::NoBrush);
        DrawStep(painter, s);
    }
    painter.restore();
}
