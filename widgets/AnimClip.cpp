#include "AnimClip.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <numbers>

int ClipFrameCount(TCommonAVI clip) {
    switch (clip) {
    case aviFindFolder:
    case aviFindFile:
    case aviFindComputer:
        return 30;
    case aviCopyFiles:
        return 34;
    case aviCopyFile:
        return 27;
    case aviDeleteFile:
        return 25;
    case aviNone:
        break;
    }
    return 0;
}

QSize ClipSize(TCommonAVI clip) {
    switch (clip) {
    case aviFindFolder:
    case aviFindFile:
    case aviFindComputer:
        return {80, 50};
    case aviCopyFiles:
    case aviCopyFile:
        return {272, 60};
    case aviDeleteFile:
        return {304, 60};
    case aviNone:
        break;
    }
    return {0, 0};
}

namespace {

constexpr double Pi = std::numbers::pi;

const QColor Outline(64, 64, 64);
const QColor FolderBack(200, 150, 30);
const QColor FolderFront(242, 201, 76);
const QColor FolderEdge(122, 90, 14);
const QColor Paper(255, 255, 255);
const QColor PaperLines(150, 158, 170);
const QColor BinBody(168, 176, 184);
const QColor BinRib(104, 112, 120);
const QColor BinEdge(56, 64, 72);
const QColor Case(212, 208, 200);
const QColor Screen(0, 128, 128);
const QColor Glass(170, 210, 255, 150);
const QColor Handle(90, 58, 26);

double Lerp(double a, double b, double u) {
    return a + (b - a) * u;
}

// A folder whose box is given by its bottom centre and size; the back with
// its tab and the front flap are drawn apart so that a sheet can sit between.
struct Folder {
    QPointF bottom;
    double w;
    double h;

    QRectF Body() const { return {bottom.x() - w / 2, bottom.y() - h * 0.82, w, h * 0.82}; }

    void DrawBack(QPainter& p) const {
        const QRectF body = Body();
        const double tabTop = body.top() - h * 0.18;
        Shape(p,
              {{body.left(), body.bottom()},
               {body.left(), tabTop},
               {body.left() + w * 0.38, tabTop},
               {body.left() + w * 0.46, body.top()},
               body.topRight(),
               body.bottomRight()},
              FolderBack);
    }

    void DrawFront(QPainter& p) const {
        const QRectF body = Body();
        const double flapTop = body.top() + h * 0.22;
        Shape(p,
              {body.bottomLeft(),
               {body.left() + w * 0.08, flapTop},
               {body.right() + w * 0.06, flapTop},
               body.bottomRight()},
              FolderFront);
    }

    static void Shape(QPainter& p, const QPolygonF& outline, const QColor& fill) {
        p.setPen(QPen(FolderEdge, 1));
        p.setBrush(fill);
        p.drawPolygon(outline);
    }

    void Draw(QPainter& p) const {
        DrawBack(p);
        DrawFront(p);
    }

    // Where a sheet leaves or enters the folder.
    QPointF Mouth() const { return {bottom.x(), Body().top() + h * 0.2}; }
};

// A sheet of paper with a folded corner and lines of text, centred on c;
// flip narrows it as it turns over in flight.
void DrawSheet(QPainter& p, QPointF c, double h, double angle, double flip = 1.0) {
    const double w = h * 0.75;
    p.save();
    p.translate(c);
    p.rotate(angle);
    p.scale(std::max(flip, 0.08), 1.0);
    const double fold = w * 0.3;
    QPainterPath path;
    path.moveTo(-w / 2, -h / 2);
    path.lineTo(w / 2 - fold, -h / 2);
    path.lineTo(w / 2, -h / 2 + fold);
    path.lineTo(w / 2, h / 2);
    path.lineTo(-w / 2, h / 2);
    path.closeSubpath();
    p.setPen(QPen(Outline, 1));
    p.setBrush(Paper);
    p.drawPath(path);
    QPainterPath corner;
    corner.moveTo(w / 2 - fold, -h / 2);
    corner.lineTo(w / 2 - fold, -h / 2 + fold);
    corner.lineTo(w / 2, -h / 2 + fold);
    p.setBrush(QColor(220, 220, 220));
    p.drawPath(corner);
    p.setPen(QPen(PaperLines, std::max(1.0, h / 18)));
    for (int i = 0; i < 4; ++i) {
        const double y = -h / 2 + fold + h * 0.12 + i * h * 0.15;
        const double right = i == 3 ? w * 0.05 : w / 2 - w * 0.18;
        p.drawLine(QPointF(-w / 2 + w * 0.18, y), QPointF(right, y));
    }
    p.restore();
}

void DrawMagnifier(QPainter& p, QPointF glass, double r) {
    const QPointF dir(std::cos(Pi / 4), std::sin(Pi / 4));
    p.setPen(QPen(Handle, std::max(2.0, r * 0.45), Qt::SolidLine, Qt::RoundCap));
    p.drawLine(glass + dir * (r * 1.05), glass + dir * (r * 2.1));
    p.setPen(QPen(QColor(40, 40, 40), std::max(1.5, r * 0.22)));
    p.setBrush(Glass);
    p.drawEllipse(glass, r, r);
    p.setPen(QPen(QColor(255, 255, 255, 200), std::max(1.0, r * 0.15)));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(glass.x() - r * 0.6, glass.y() - r * 0.6, r * 1.2, r * 1.2), 100 * 16,
              70 * 16);
}

void DrawComputer(QPainter& p, QPointF bottom, double h) {
    const double w = h * 1.1;
    const QRectF monitor(bottom.x() - w / 2, bottom.y() - h, w, h * 0.72);
    p.setPen(QPen(Outline, 1));
    p.setBrush(Case);
    p.drawRect(QRectF(bottom.x() - w * 0.14, monitor.bottom(), w * 0.28, h * 0.12));
    p.drawRect(QRectF(bottom.x() - w * 0.42, bottom.y() - h * 0.16, w * 0.84, h * 0.16));
    p.drawRoundedRect(monitor, 2, 2);
    p.setBrush(Screen);
    p.drawRect(monitor.adjusted(w * 0.09, h * 0.08, -w * 0.09, -h * 0.1));
    p.setPen(QPen(QColor(60, 60, 60), 1));
    for (int i = 1; i < 4; ++i) {
        const double x = bottom.x() - w * 0.42 + i * w * 0.21;
        p.drawLine(QPointF(x, bottom.y() - h * 0.13), QPointF(x, bottom.y() - h * 0.03));
    }
}

// A waste bin: the back rim and the body are drawn apart so that a sheet can
// drop in between.
void DrawBinBack(QPainter& p, QPointF bottom, double h) {
    const double w = h * 0.8;
    p.setPen(QPen(BinEdge, 1));
    p.setBrush(BinRib);
    p.drawEllipse(QRectF(bottom.x() - w / 2, bottom.y() - h - h * 0.08, w, h * 0.16));
}

void DrawBinFront(QPainter& p, QPointF bottom, double h) {
    const double w = h * 0.8;
    const double top = bottom.y() - h;
    QPainterPath body;
    body.moveTo(bottom.x() - w / 2, top);
    body.lineTo(bottom.x() + w / 2, top);
    body.lineTo(bottom.x() + w * 0.36, bottom.y());
    body.lineTo(bottom.x() - w * 0.36, bottom.y());
    body.closeSubpath();
    p.setPen(QPen(BinEdge, 1));
    p.setBrush(BinBody);
    p.drawPath(body);
    p.setPen(QPen(BinRib, std::max(1.0, h / 24)));
    for (int i = -2; i <= 2; ++i) {
        const double k = i / 2.5;
        p.drawLine(QPointF(bottom.x() + k * w * 0.42, top + h * 0.1),
                   QPointF(bottom.x() + k * w * 0.3, bottom.y() - h * 0.06));
    }
    p.setPen(QPen(BinEdge, 1));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(bottom.x() - w / 2, top - h * 0.08, w, h * 0.16), 180 * 16, 180 * 16);
}

// Flight of a sheet between two points on an arc, u from 0 to 1.
QPointF Arc(QPointF from, QPointF to, double lift, double u) {
    return {Lerp(from.x(), to.x(), u), Lerp(from.y(), to.y(), u) - lift * std::sin(Pi * u)};
}

// How wide a sheet shows as it turns over in flight, never thinner than a
// third so that it still reads as paper.
double Flutter(double u) {
    return 0.35 + 0.65 * std::abs(std::cos(2 * Pi * u));
}

// Where the clips that move a sheet place their things: the source folder on
// the left, the destination on the right, both standing on one base line.
struct Flight {
    double h;
    double sheetH;
    Folder from;
    QPointF right; // bottom centre of the destination
    double lift;   // height of the arc, so that its top stays inside the clip

    explicit Flight(const QRectF& r)
        : h(r.height()),
          sheetH(h * 0.36), from{{r.left() + Inset(r), Base(r)}, FolderW(r), r.height() * 0.58},
          right(r.right() - Inset(r), Base(r)),
          lift(std::max(0.0, from.Mouth().y() - (r.top() + sheetH * 0.6))) {}

    static double FolderW(const QRectF& r) { return r.height() * 0.75; }
    static double Base(const QRectF& r) { return r.bottom() - r.height() * 0.08; }
    static double Inset(const QRectF& r) { return std::max(FolderW(r) * 0.75, r.width() * 0.15); }
};

void DrawCopy(QPainter& p, const QRectF& r, double phase, int sheets) {
    const Flight f(r);
    const Folder to{f.right, f.from.w, f.from.h};
    f.from.DrawBack(p);
    to.DrawBack(p);
    for (int k = 0; k < sheets; ++k) {
        const double u = std::fmod(phase + double(k) / sheets, 1.0);
        const QPointF at = Arc(f.from.Mouth(), to.Mouth(), f.lift, u);
        DrawSheet(p, at, f.sheetH, Lerp(-20, 20, u), Flutter(u));
    }
    f.from.DrawFront(p);
    to.DrawFront(p);
}

void DrawDelete(QPainter& p, const QRectF& r, double phase) {
    const Flight f(r);
    const double binH = f.h * 0.55;
    f.from.DrawBack(p);
    DrawBinBack(p, f.right, binH);
    // The sheet flies over the bin, then drops in behind its front.
    const double binTop = f.right.y() - binH;
    const QPointF above(f.right.x(), binTop - f.sheetH * 0.35);
    constexpr double flight = 0.72;
    QPointF at;
    double angle = 0, flip = 1;
    if (phase < flight) {
        const double u = phase / flight;
        const double lift = std::max(0.0, f.lift - (f.from.Mouth().y() - above.y()) / 2);
        at = Arc(f.from.Mouth(), above, lift, u);
        angle = Lerp(-15, 15, u);
        flip = Flutter(u);
    } else {
        const double u = (phase - flight) / (1 - flight);
        at = QPointF(above.x(), Lerp(above.y(), binTop + binH * 0.45, u));
        angle = Lerp(15, 0, u);
    }
    DrawSheet(p, at, f.sheetH, angle, flip);
    f.from.DrawFront(p);
    DrawBinFront(p, f.right, binH);
}

enum class Target { Folder, File, Computer };

void DrawFind(QPainter& p, const QRectF& r, double phase, Target target) {
    const double h = r.height();
    const QPointF bottom(r.center().x(), r.bottom() - h * 0.1);
    const double objH = h * 0.7;
    switch (target) {
    case Target::Folder:
        Folder{bottom, objH * 1.25, objH}.Draw(p);
        break;
    case Target::File:
        DrawSheet(p, QPointF(bottom.x(), bottom.y() - objH / 2), objH, 0);
        break;
    case Target::Computer:
        DrawComputer(p, bottom, objH);
        break;
    }
    // The glass circles over the object, a little wider than high.
    const double radius = h * 0.16;
    const QPointF centre(bottom.x() - objH * 0.05, bottom.y() - objH * 0.62);
    const QPointF glass(centre.x() + objH * 0.42 * std::cos(2 * Pi * phase),
                        centre.y() + objH * 0.22 * std::sin(2 * Pi * phase));
    DrawMagnifier(p, glass, radius);
}

} // namespace

void DrawClipFrame(QPainter& painter, TCommonAVI clip, int frame, const QRect& rect) {
    const int count = ClipFrameCount(clip);
    if (count == 0 || rect.isEmpty()) return;
    frame = ((frame % count) + count) % count;
    const double phase = double(frame) / count;
    // The clip keeps its own proportions, centred in the rectangle.
    const QSize natural = ClipSize(clip);
    const double scale = std::min(
        {1.0, double(rect.width()) / natural.width(), double(rect.height()) / natural.height()});
    const QSizeF size(natural.width() * scale, natural.height() * scale);
    const QRectF area(rect.left() + (rect.width() - size.width()) / 2,
                      rect.top() + (rect.height() - size.height()) / 2, size.width(),
                      size.height());
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setClipRect(rect);
    switch (clip) {
    case aviFindFolder:
        DrawFind(painter, area, phase, Target::Folder);
        break;
    case aviFindFile:
        DrawFind(painter, area, phase, Target::File);
        break;
    case aviFindComputer:
        DrawFind(painter, area, phase, Target::Computer);
        break;
    case aviCopyFiles:
        DrawCopy(painter, area, phase, 3);
        break;
    case aviCopyFile:
        DrawCopy(painter, area, phase, 1);
        break;
    case aviDeleteFile:
        DrawDelete(painter, area, phase);
        break;
    case aviNone:
        break;
    }
    painter.restore();
}

TAnimate::TAnimate(QWidget* parent) : QWidget(parent) {
    timer_.setInterval(FrameInterval);
    timer_.callOnTimeout(this, &TAnimate::NextFrame);
}

void TAnimate::SetCommonAVI(TCommonAVI value) {
    clip_ = value;
    startFrame_ = 0;
    stopFrame_ = std::max(FrameCount() - 1, 0);
    frame_ = 0;
    passesDone_ = 0;
    if (FrameCount() == 0) active_ = false;
    UpdateTimer();
    updateGeometry();
    update();
}

void TAnimate::SetStartFrame(int value) {
    startFrame_ = std::clamp(value, 0, std::max(FrameCount() - 1, 0));
    if (stopFrame_ < startFrame_) stopFrame_ = startFrame_;
}

void TAnimate::SetStopFrame(int value) {
    stopFrame_ = std::clamp(value, 0, std::max(FrameCount() - 1, 0));
    if (startFrame_ > stopFrame_) startFrame_ = stopFrame_;
}

void TAnimate::SetRepetitions(int value) {
    repetitions_ = std::max(value, 0);
}

void TAnimate::SetActive(bool value) {
    if (value && FrameCount() > 0) {
        active_ = true;
        frame_ = startFrame_;
        passesDone_ = 0;
    } else {
        active_ = false;
    }
    UpdateTimer();
    update();
}

void TAnimate::Play(int fromFrame, int toFrame, int count) {
    const int highest = std::max(FrameCount() - 1, 0);
    startFrame_ = std::clamp(fromFrame, 0, highest);
    stopFrame_ = std::max(std::clamp(toFrame, 0, highest), startFrame_);
    SetRepetitions(count);
    SetActive(true);
}

void TAnimate::Seek(int frame) {
    active_ = false;
    UpdateTimer();
    frame_ = std::clamp(frame, 0, std::max(FrameCount() - 1, 0));
    update();
}

void TAnimate::NextFrame() {
    if (!active_) return;
    if (frame_ >= stopFrame_) {
        ++passesDone_;
        if (repetitions_ > 0 && passesDone_ >= repetitions_) {
            active_ = false;
            UpdateTimer();
            return;
        }
        frame_ = startFrame_;
    } else {
        ++frame_;
    }
    update();
}

QImage TAnimate::Render(const QSize& size) const {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    DrawClipFrame(painter, clip_, frame_, QRect(QPoint(0, 0), size));
    return image;
}

void TAnimate::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    DrawClipFrame(painter, clip_, frame_, rect());
}

void TAnimate::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    UpdateTimer();
}

void TAnimate::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    UpdateTimer();
}

void TAnimate::UpdateTimer() {
    if (active_ && isVisible()) {
        if (!timer_.isActive()) timer_.start();
    } else {
        timer_.stop();
    }
}
