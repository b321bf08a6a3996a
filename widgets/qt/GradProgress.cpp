#include "GradProgress.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPalette>

TSystemColors SystemColorsOf(const QPalette& palette) {
    TSystemColors colors;
    colors.gradientCaptions = false;
    const QColor highlight = palette.color(QPalette::Active, QPalette::Highlight);
    colors.highlight = ToColor(highlight);
    colors.menu = ToColor(palette.color(QPalette::Active, QPalette::Window));
    colors.activeCaption = colors.highlight;
    colors.gradientActiveCaption = ToColor(highlight.lighter(160));
    colors.buttonHighlight = ToColor(palette.color(QPalette::Active, QPalette::Light));
    colors.buttonShadow = ToColor(palette.color(QPalette::Active, QPalette::Dark));
    return colors;
}

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
    bar_.SetBackColor(ToColor(palette().color(QPalette::Button)));
}

TGradProgress::TGradProgress(QWidget* parent, const QRect& geometry) : TGradProgress(parent) {
    setGeometry(geometry);
}

void TGradProgress::Changed(bool repaintWanted) {
    if (repaintWanted) repaint();
}

void TGradProgress::SetBevelStyle(TBevelStyle value) {
    Changed(bar_.SetBevelStyle(value));
}

void TGradProgress::SetBevelWidth(std::uint8_t value) {
    Changed(bar_.SetBevelWidth(value, width()));
}

void TGradProgress::SetStartColor(const QColor& value) {
    Changed(bar_.SetStartColor(ToColor(value)));
}

void TGradProgress::SetEndColor(const QColor& value) {
    Changed(bar_.SetEndColor(ToColor(value)));
}

void TGradProgress::SetPosition(int value) {
    Changed(bar_.SetPosition(value));
}

void TGradProgress::SetMaxValue(int value) {
    Changed(bar_.SetMaxValue(value));
}

void TGradProgress::SetShowPercent(bool value) {
    Changed(bar_.SetShowPercent(value));
}

void TGradProgress::SetBackColor(const QColor& value) {
    Changed(bar_.SetBackColor(ToColor(value)));
}

void TGradProgress::Stepit() {
    Changed(bar_.Stepit());
}

void TGradProgress::SetSystemColorSource(std::function<TSystemColors()> source) {
    systemColorSource_ = std::move(source);
}

TSystemColors TGradProgress::SystemColors() const {
    return systemColorSource_ ? systemColorSource_() : SystemColorsOf(palette());
}

QImage TGradProgress::Render(const QSize& size) {
    const TGradBarImage bar = bar_.Render(size.width(), size.height(), SystemColors());
    const TPixels& px = bar.pixels;
    QImage image(px.width, px.height, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < px.height; ++y)
        for (int x = 0; x < px.width; ++x)
            image.setPixel(x, y, px.pixel(x, y));
    if (!bar.percentText.empty()) {
        const QRect inside(bar.insideLeft, bar.insideTop, bar.insideWidth, bar.insideHeight);
        QPainter painter(&image);
        painter.setClipRect(inside);
        painter.setFont(font());
        painter.setPen(palette().color(QPalette::WindowText));
        painter.setBrush(Qt::NoBrush);
        painter.drawText(inside, Qt::AlignCenter | Qt::TextSingleLine,
                         QString::fromStdString(bar.percentText));
    }
    return image;
}

void TGradProgress::paintEvent(QPaintEvent*) {
    const QImage image = Render(size());
    QPainter painter(this);
    painter.drawImage(0, 0, image);
}
