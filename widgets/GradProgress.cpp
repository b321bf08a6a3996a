#include "GradProgress.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <climits>
#include <cstdlib>

int MulDiv(int a, int b, int c) {
    if (c == 0) return -1;
    const std::int64_t product = static_cast<std::int64_t>(a) * b;
    const bool negative = (product < 0) != (c < 0);
    const std::uint64_t num = static_cast<std::uint64_t>(product < 0 ? -product : product);
    const std::uint64_t den = static_cast<std::uint64_t>(std::llabs(c));
    const std::uint64_t quotient = (num + den / 2) / den;
    if (quotient > static_cast<std::uint64_t>(INT_MAX) + (negative ? 1 : 0)) return -1;
    return negative ? static_cast<int>(-static_cast<std::int64_t>(quotient))
                    : static_cast<int>(quotient);
}

TSystemColors TSystemColors::FromPalette(const QPalette& palette) {
    TSystemColors colors;
    colors.gradientCaptions = false;
    colors.highlight = palette.color(QPalette::Active, QPalette::Highlight);
    colors.menu = palette.color(QPalette::Active, QPalette::Window);
    colors.activeCaption = colors.highlight;
    colors.gradientActiveCaption = colors.highlight.lighter(160);
    colors.buttonHighlight = palette.color(QPalette::Active, QPalette::Light);
    colors.buttonShadow = palette.color(QPalette::Active, QPalette::Dark);
    return colors;
}

namespace {

// Drawing in the manner of the classic desktop: lines are axis-parallel and
// exclude their end point, pixels outside the image are dropped.
void Pixel(QImage& image, int x, int y, QRgb color) {
    if (x >= 0 && y >= 0 && x < image.width() && y < image.height()) image.setPixel(x, y, color);
}

void Line(QImage& image, int x0, int y0, int x1, int y1, QRgb color) {
    const int dx = (x1 > x0) - (x1 < x0);
    const int dy = (y1 > y0) - (y1 < y0);
    if (dx != 0 && dy != 0) return; // only straight lines are needed here
    for (int x = x0, y = y0; x != x1 || y != y1; x += dx, y += dy)
        Pixel(image, x, y, color);
}

// Outline in the pen colour, inside in the brush colour; right and bottom
// edges excluded.
void Rectangle(QImage& image, int x0, int y0, int x1, int y1, QRgb pen, QRgb brush) {
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const bool edge = x == x0 || x == x1 - 1 || y == y0 || y == y1 - 1;
            Pixel(image, x, y, edge ? pen : brush);
        }
}

std::uint8_t Channel(int start, int t, int difference) {
    // Wraps at 256: a start of 0 and an end of 255 give 0 again at t = 256.
    return static_cast<std::uint8_t>(start + MulDiv(t, difference, 255));
}

} // namespace

TGradProgress::TGradProgress(QWidget* parent) : QWidget(parent) {
    resize(151, 14);
    QFont f = font();
    f.setPointSize(10);
    f.setBold(false);
    f.setItalic(false);
    f.setUnderline(false);
    f.setStrikeOut(false);
    setFont(f);
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, Qt::white); // the colour of the percentage text
    setPalette(pal);
    backColor_ = palette().color(QPalette::Button);
    RecomputeComponents();
}

void TGradProgress::RecomputeComponents() {
    startRed_ = startColor_.red();
    startGreen_ = startColor_.green();
    startBlue_ = startColor_.blue();
    diffRed_ = endColor_.red() - startRed_;
    diffGreen_ = endColor_.green() - startGreen_;
    diffBlue_ = endColor_.blue() - startBlue_;
}

void TGradProgress::Changed() {
    repaint();
}

void TGradProgress::SetBevelStyle(TBevelStyle value) {
    if (value == bevelStyle_) return;
    bevelStyle_ = value;
    Changed();
}

void TGradProgress::SetBevelWidth(std::uint8_t value) {
    if (value == bevelWidth_) return;
    if (2 * value <= width() - 4) bevelWidth_ = value;
    Changed();
}

void TGradProgress::SetStartColor(const QColor& value) {
    if (value.rgb() == startColor_.rgb()) return;
    startColor_ = QColor(value.rgb());
    RecomputeComponents();
    Changed();
}

void TGradProgress::SetEndColor(const QColor& value) {
    if (value.rgb() == endColor_.rgb()) return;
    endColor_ = QColor(value.rgb());
    RecomputeComponents();
    Changed();
}

void TGradProgress::SetPosition(int value) {
    if (value == position_ || value > maxValue_ || value < 0) return;
    position_ = value;
    Changed();
}

void TGradProgress::SetMaxValue(int value) {
    if (value == maxValue_) return;
    maxValue_ = value;
    if (maxValue_ < position_) position_ = maxValue_;
    Changed();
}

void TGradProgress::SetShowPercent(bool value) {
    if (value == showPercent_) return;
    showPercent_ = value;
    Changed();
}

void TGradProgress::SetBackColor(const QColor& value) {
    if (value.rgb() == backColor_.rgb()) return;
    backColor_ = QColor(value.rgb());
    Changed();
}

void TGradProgress::Stepit() {
    // Summed in 64 bits: a sum past the 32-bit range is above MaxValue or
    // below 0 and so refused like any other out-of-range position.
    const std::int64_t next = static_cast<std::int64_t>(position_) + step_;
    if (next < 0 || next > INT_MAX) return;
    SetPosition(static_cast<int>(next));
}

void TGradProgress::SetSystemColorSource(std::function<TSystemColors()> source) {
    systemColorSource_ = std::move(source);
}

TSystemColors TGradProgress::SystemColors() const {
    return systemColorSource_ ? systemColorSource_() : TSystemColors::FromPalette(palette());
}

QImage TGradProgress::Render(const QSize& size) {
    const int width = std::max(size.width(), 0);
    const int height = std::max(size.height(), 0);
    QImage surface(width, height, QImage::Format_ARGB32_Premultiplied);
    surface.fill(Qt::transparent);

    const TSystemColors system = SystemColors();
    if (useSystemColors_) {
        startColor_ = system.gradientCaptions ? system.activeCaption : system.highlight;
        endColor_ = system.gradientCaptions ? system.gradientActiveCaption : system.menu;
        startColor_ = QColor(startColor_.rgb());
        endColor_ = QColor(endColor_.rgb());
        RecomputeComponents();
    }
    if (width == 0 || height == 0) return surface;

    const int bevel = bevelWidth_;
    if (bevel > 0) {
        const QRgb first =
            (bevelStyle_ == bsRaised ? system.buttonHighlight : system.buttonShadow).rgb();
        const QRgb second =
            (bevelStyle_ == bsRaised ? system.buttonShadow : system.buttonHighlight).rgb();
        for (int i = 1; i <= bevel; ++i) {
            Line(surface, i, i, width - i, i, first);
            Line(surface, i, i, i, height - i, first);
        }
        for (int k = 0; k <= bevel; ++k) {
            Line(surface, width - k, height - k, width - k, k - 1, second);
            Line(surface, width - k, height - k, k - 1, height - k, second);
        }
    }

    // A bar without a positive maximum has nothing to show: it is drawn empty.
    const int fill = maxValue_ > 0 ? MulDiv(position_, width, maxValue_) : 0;
    const int full = maxValue_ > 0 ? MulDiv(maxValue_, width, maxValue_) : width;

    const int left = bevel + 1, top = bevel + 1;
    const int right = width - bevel, bottom = height - bevel;
    if (right <= left || bottom <= top) return surface; // the bevel leaves no room inside

    QImage bitmap(width - bevel, height - bevel, QImage::Format_RGB32);
    bitmap.fill(Qt::black);
    const QRgb back = backColor_.rgb();

    // Blocks: a column c is a boundary when (c - 1) mod blockWidth is 0, with
    // C++'s remainder taking the sign of c - 1. A bar too low for blocks of
    // at least one column is drawn without gaps.
    const int blockWidth = smooth_ ? 0 : 3 * height / 5;
    const auto boundary = [blockWidth](int c) {
        return blockWidth > 0 && (c - 1) % blockWidth == 0;
    };
    int last = fill;
    while (blockWidth > 0 && !boundary(last))
        ++last;

    QRgb pen = qRgb(0, 0, 0);
    for (int c = 0; c <= last; ++c) {
        const int t = relativeGradient_ ? MulDiv(256, c, last) : MulDiv(256, c, full);
        pen = qRgb(Channel(startRed_, t, diffRed_), Channel(startGreen_, t, diffGreen_),
                   Channel(startBlue_, t, diffBlue_));
        if (boundary(c) || boundary(c - 1)) pen = back;
        if (c < 3 || c > width - 4) pen = back;
        Line(bitmap, c, top + 1, c, bottom - 1, pen);
        Pixel(bitmap, c, top, back);
        Pixel(bitmap, c, bottom - 1, back);
    }
    // The rest of the bar: background inside, outlined with the pen of the
    // last column drawn.
    Rectangle(bitmap, last, top - 1, width, height, pen, back);

    if (showPercent_) {
        QPainter painter(&bitmap);
        painter.setFont(font());
        painter.setPen(palette().color(QPalette::WindowText));
        painter.setBrush(Qt::NoBrush);
        const QString text = QString::number(MulDiv(fill, 100, width)) + QLatin1Char('%');
        painter.drawText(QRect(left, top, right - left, bottom - top),
                         Qt::AlignCenter | Qt::TextSingleLine, text);
    }

    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x)
            surface.setPixel(x, y, bitmap.pixel(x, y));
    return surface;
}

void TGradProgress::paintEvent(QPaintEvent*) {
    const QImage image = Render(size());
    QPainter painter(this);
    painter.drawImage(0, 0, image);
}
