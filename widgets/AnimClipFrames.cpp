#include "AnimClipFrames.h"

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

TClipSize ClipSize(TCommonAVI clip) {
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

const TColor Outline{64, 64, 64};
const TColor FolderBack{200, 150, 30};
const TColor FolderFront{242, 201, 76};
const TColor FolderEdge{122, 90, 14};
const TColor Paper{255, 255, 255};
const TColor PaperLines{150, 158, 170};
const TColor BinBody{168, 176, 184};
const TColor BinRib{104, 112, 120};
const TColor BinEdge{56, 64, 72};
const TColor Case{212, 208, 200};
const TColor Screen{0, 128, 128};
const TColor Glass{170, 210, 255, 150};
const TColor Handle{90, 58, 26};

double Lerp(double a, double b, double u) {
    return a + (b - a) * u;
}

// A folder whose box is given by its bottom centre and size; the back with
// its tab and the front flap are drawn apart so that a sheet can sit between.
struct Folder {
    TPointF bottom;
    double w;
    double h;

    TRectF Body() const { return {bottom.x - w / 2, bottom.y - h * 0.82, w, h * 0.82}; }

    void DrawBack(TStepRecorder& p) const {
        const TRectF body = Body();
        const double tabTop = body.Top() - h * 0.18;
        Shape(p,
              {{body.Left(), body.Bottom()},
               {body.Left(), tabTop},
               {body.Left() + w * 0.38, tabTop},
               {body.Left() + w * 0.46, body.Top()},
               body.TopRight(),
               body.BottomRight()},
              FolderBack);
    }

    void DrawFront(TStepRecorder& p) const {
        const TRectF body = Body();
        const double flapTop = body.Top() + h * 0.22;
        Shape(p,
              {body.BottomLeft(),
               {body.Left() + w * 0.08, flapTop},
               {body.Right() + w * 0.06, flapTop},
               body.BottomRight()},
              FolderFront);
    }

    static void Shape(TStepRecorder& p, std::vector<TPointF> outline, const TColor& fill) {
        p.SetPen(FolderEdge);
        p.SetBrush(fill);
        p.Polygon(outline);
    }

    void Draw(TStepRecorder& p) const {
        DrawBack(p);
        DrawFront(p);
    }

    // Where a sheet leaves or enters the folder.
    TPointF Mouth() const { return {bottom.x, Body().Top() + h * 0.2}; }
};

// A sheet of paper with a folded corner and lines of text, centred on c;
// flip narrows it as it turns over in flight.
void DrawSheet(TStepRecorder& p, TPointF c, double h, double angle, double flip = 1.0) {
    const double w = h * 0.75;
    p.Save();
    p.Translate(c);
    p.Rotate(angle);
    p.Scale(std::max(flip, 0.08), 1.0);
    const double fold = w * 0.3;
    p.SetPen(Outline);
    p.SetBrush(Paper);
    p.Path({{-w / 2, -h / 2},
            {w / 2 - fold, -h / 2},
            {w / 2, -h / 2 + fold},
            {w / 2, h / 2},
            {-w / 2, h / 2}},
           true);
    // The folded corner: filled, outlined on its two inner edges only.
    p.SetBrush({220, 220, 220});
    p.Path({{w / 2 - fold, -h / 2}, {w / 2 - fold, -h / 2 + fold}, {w / 2, -h / 2 + fold}}, false);
    p.SetPen(PaperLines, std::max(1.0, h / 18));
    for (int i = 0; i < 4; ++i) {
        const double y = -h / 2 + fold + h * 0.12 + i * h * 0.15;
        const double right = i == 3 ? w * 0.05 : w / 2 - w * 0.18;
        p.Line(TPointF{-w / 2 + w * 0.18, y}, TPointF{right, y});
    }
    p.Restore();
}

void DrawMagnifier(TStepRecorder& p, TPointF glass, double r) {
    const TPointF dir{std::cos(Pi / 4), std::sin(Pi / 4)};
    p.SetPen(Handle, std::max(2.0, r * 0.45), true);
    p.Line(glass + dir * (r * 1.05), glass + dir * (r * 2.1));
    p.SetPen({40, 40, 40}, std::max(1.5, r * 0.22));
    p.SetBrush(Glass);
    p.Ellipse(glass, r, r);
    p.SetPen({255, 255, 255, 200}, std::max(1.0, r * 0.15));
    p.NoBrush();
    p.Arc(TRectF{glass.x - r * 0.6, glass.y - r * 0.6, r * 1.2, r * 1.2}, 100 * 16, 70 * 16);
}

void DrawComputer(TStepRecorder& p, TPointF bottom, double h) {
    const double w = h * 1.1;
    const TRectF monitor{bottom.x - w / 2, bottom.y - h, w, h * 0.72};
    p.SetPen(Outline);
    p.SetBrush(Case);
    p.Rect(TRectF{bottom.x - w * 0.14, monitor.Bottom(), w * 0.28, h * 0.12});
    p.Rect(TRectF{bottom.x - w * 0.42, bottom.y - h * 0.16, w * 0.84, h * 0.16});
    p.RoundedRect(monitor, 2);
    p.SetBrush(Screen);
    p.Rect(monitor.Adjusted(w * 0.09, h * 0.08, -w * 0.09, -h * 0.1));
    p.SetPen({60, 60, 60});
    for (int i = 1; i < 4; ++i) {
        const double x = bottom.x - w * 0.42 + i * w * 0.21;
        p.Line(TPointF{x, bottom.y - h * 0.13}, TPointF{x, bottom.y - h * 0.03});
    }
}

// A waste bin: the back rim and the body are drawn apart so that a sheet can
// drop in between.
void DrawBinBack(TStepRecorder& p, TPointF bottom, double h) {
    const double w = h * 0.8;
    p.SetPen(BinEdge);
    p.SetBrush(BinRib);
    p.Ellipse(TRectF{bottom.x - w / 2, bottom.y - h - h * 0.08, w, h * 0.16});
}

void DrawBinFront(TStepRecorder& p, TPointF bottom, double h) {
    const double w = h * 0.8;
    const double top = bottom.y - h;
    p.SetPen(BinEdge);
    p.SetBrush(BinBody);
    p.Path({{bottom.x - w / 2, top},
            {bottom.x + w / 2, top},
            {bottom.x + w * 0.36, bottom.y},
            {bottom.x - w * 0.36, bottom.y}},
           true);
    p.SetPen(BinRib, std::max(1.0, h / 24));
    for (int i = -2; i <= 2; ++i) {
        const double k = i / 2.5;
        p.Line(TPointF{bottom.x + k * w * 0.42, top + h * 0.1},
               TPointF{bottom.x + k * w * 0.3, bottom.y - h * 0.06});
    }
    p.SetPen(BinEdge);
    p.NoBrush();
    p.Arc(TRectF{bottom.x - w / 2, top - h * 0.08, w, h * 0.16}, 180 * 16, 180 * 16);
}

// Flight of a sheet between two points on an arc, u from 0 to 1.
TPointF Arc(TPointF from, TPointF to, double lift, double u) {
    return {Lerp(from.x, to.x, u), Lerp(from.y, to.y, u) - lift * std::sin(Pi * u)};
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
    TPointF right; // bottom centre of the destination
    double lift;   // height of the arc, so that its top stays inside the clip

    explicit Flight(const TRectF& r)
        : h(r.h), sheetH(h * 0.36), from{{r.Left() + Inset(r), Base(r)}, FolderW(r), r.h * 0.58},
          right{r.Right() - Inset(r), Base(r)},
          lift(std::max(0.0, from.Mouth().y - (r.Top() + sheetH * 0.6))) {}

    static double FolderW(const TRectF& r) { return r.h * 0.75; }
    static double Base(const TRectF& r) { return r.Bottom() - r.h * 0.08; }
    static double Inset(const TRectF& r) { return std::max(FolderW(r) * 0.75, r.w * 0.15); }
};

void DrawCopy(TStepRecorder& p, const TRectF& r, double phase, int sheets) {
    const Flight f(r);
    const Folder to{f.right, f.from.w, f.from.h};
    f.from.DrawBack(p);
    to.DrawBack(p);
    for (int k = 0; k < sheets; ++k) {
        const double u = std::fmod(phase + double(k) / sheets, 1.0);
        const TPointF at = Arc(f.from.Mouth(), to.Mouth(), f.lift, u);
        DrawSheet(p, at, f.sheetH, Lerp(-20, 20, u), Flutter(u));
    }
    f.from.DrawFront(p);
    to.DrawFront(p);
}

void DrawDelete(TStepRecorder& p, const TRectF& r, double phase) {
    const Flight f(r);
    const double binH = f.h * 0.55;
    f.from.DrawBack(p);
    DrawBinBack(p, f.right, binH);
    // The sheet flies over the bin, then drops in behind its front.
    const double binTop = f.right.y - binH;
    const TPointF above{f.right.x, binTop - f.sheetH * 0.35};
    constexpr double flight = 0.72;
    TPointF at;
    double angle = 0, flip = 1;
    if (phase < flight) {
        const double u = phase / flight;
        const double lift = std::max(0.0, f.lift - (f.from.Mouth().y - above.y) / 2);
        at = Arc(f.from.Mouth(), above, lift, u);
        angle = Lerp(-15, 15, u);
        flip = Flutter(u);
    } else {
        const double u = (phase - flight) / (1 - flight);
        at = TPointF{above.x, Lerp(above.y, binTop + binH * 0.45, u)};
        angle = Lerp(15, 0, u);
    }
    DrawSheet(p, at, f.sheetH, angle, flip);
    f.from.DrawFront(p);
    DrawBinFront(p, f.right, binH);
}

enum class Target { Folder, File, Computer };

void DrawFind(TStepRecorder& p, const TRectF& r, double phase, Target target) {
    const double h = r.h;
    const TPointF bottom{r.Center().x, r.Bottom() - h * 0.1};
    const double objH = h * 0.7;
    switch (target) {
    case Target::Folder:
        Folder{bottom, objH * 1.25, objH}.Draw(p);
        break;
    case Target::File:
        DrawSheet(p, TPointF{bottom.x, bottom.y - objH / 2}, objH, 0);
        break;
    case Target::Computer:
        DrawComputer(p, bottom, objH);
        break;
    }
    // The glass circles over the object, a little wider than high.
    const double radius = h * 0.16;
    const TPointF centre{bottom.x - objH * 0.05, bottom.y - objH * 0.62};
    const TPointF glass{centre.x + objH * 0.42 * std::cos(2 * Pi * phase),
                        centre.y + objH * 0.22 * std::sin(2 * Pi * phase)};
    DrawMagnifier(p, glass, radius);
}

} // namespace

std::vector<TDrawStep> ClipFrameSteps(TCommonAVI clip, int frame, int left, int top, int width,
                                      int height) {
    const int count = ClipFrameCount(clip);
    if (count == 0 || width <= 0 || height <= 0) return {};
    frame = ((frame % count) + count) % count;
    const double phase = double(frame) / count;
    // The clip keeps its own proportions, centred in the rectangle.
    const TClipSize natural = ClipSize(clip);
    const double scale =
        std::min({1.0, double(width) / natural.width, double(height) / natural.height});
    const double w = natural.width * scale, h = natural.height * scale;
    const TRectF area{left + (width - w) / 2, top + (height - h) / 2, w, h};
    TStepRecorder p;
    switch (clip) {
    case aviFindFolder:
        DrawFind(p, area, phase, Target::Folder);
        break;
    case aviFindFile:
        DrawFind(p, area, phase, Target::File);
        break;
    case aviFindComputer:
        DrawFind(p, area, phase, Target::Computer);
        break;
    case aviCopyFiles:
        DrawCopy(p, area, phase, 3);
        break;
    case aviCopyFile:
        DrawCopy(p, area, phase, 1);
        break;
    case aviDeleteFile:
        DrawDelete(p, area, phase);
        break;
    case aviNone:
        break;
    }
    return p.Take();
}

int TClipPlayer::Highest() const {
    return std::max(FrameCount() - 1, 0);
}

void TClipPlayer::SetClip(TCommonAVI value) {
    clip_ = value;
    startFrame_ = 0;
    stopFrame_ = Highest();
    frame_ = 0;
    passesDone_ = 0;
    if (FrameCount() == 0) active_ = false;
}

void TClipPlayer::SetStartFrame(int value) {
    startFrame_ = std::clamp(value, 0, Highest());
    if (stopFrame_ < startFrame_) stopFrame_ = startFrame_;
}

void TClipPlayer::SetStopFrame(int value) {
    stopFrame_ = std::clamp(value, 0, Highest());
    if (startFrame_ > stopFrame_) startFrame_ = stopFrame_;
}

void TClipPlayer::SetRepetitions(int value) {
    repetitions_ = std::max(value, 0);
}

void TClipPlayer::SetActive(bool value) {
    if (value && FrameCount() > 0) {
        active_ = true;
        frame_ = startFrame_;
        passesDone_ = 0;
    } else {
        active_ = false;
    }
}

void TClipPlayer::Play(int fromFrame, int toFrame, int count) {
    startFrame_ = std::clamp(fromFrame, 0, Highest());
    stopFrame_ = std::max(std::clamp(toFrame, 0, Highest()), startFrame_);
    SetRepetitions(count);
    SetActive(true);
}

void TClipPlayer::Seek(int frame) {
    active_ = false;
    frame_ = std::clamp(frame, 0, Highest());
}

bool TClipPlayer::NextFrame() {
    if (!active_) return false;
    if (frame_ >= stopFrame_) {
        ++passesDone_;
        if (repetitions_ > 0 && passesDone_ >= repetitions_) {
            active_ = false;
            return false;
        }
        frame_ = startFrame_;
    } else {
        ++frame_;
    }
    return true;
}
