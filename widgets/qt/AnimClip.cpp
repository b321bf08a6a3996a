#include "AnimClip.h"

#include "DrawSteps.h"

#include <QPainter>

void DrawClipFrame(QPainter& painter, TCommonAVI clip, int frame, const QRect& rect) {
    if (rect.isEmpty()) return;
    painter.save();
    painter.setClipRect(rect);
    DrawSteps(painter,
              ClipFrameSteps(clip, frame, rect.left(), rect.top(), rect.width(), rect.height()));
    painter.restore();
}

TAnimate::TAnimate(QWidget* parent) : QWidget(parent) {
    timer_.setInterval(FrameInterval);
    timer_.callOnTimeout(this, &TAnimate::NextFrame);
}

TAnimate::TAnimate(QWidget* parent, const QRect& geometry, TCommonAVI clip) : TAnimate(parent) {
    setGeometry(geometry);
    SetCommonAVI(clip);
}

void TAnimate::SetCommonAVI(TCommonAVI value) {
    player_.SetClip(value);
    UpdateTimer();
    updateGeometry();
    update();
}

void TAnimate::SetActive(bool value) {
    player_.SetActive(value);
    UpdateTimer();
    update();
}

void TAnimate::Play(int fromFrame, int toFrame, int count) {
    player_.Play(fromFrame, toFrame, count);
    UpdateTimer();
    update();
}

void TAnimate::Seek(int frame) {
    player_.Seek(frame);
    UpdateTimer();
    update();
}

void TAnimate::NextFrame() {
    if (player_.NextFrame())
        update();
    else
        UpdateTimer(); // a last repetition that ended stops the timer
}

QImage TAnimate::Render(const QSize& size) const {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    DrawClipFrame(painter, player_.Clip(), player_.Frame(), QRect(QPoint(0, 0), size));
    return image;
}

void TAnimate::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    DrawClipFrame(painter, player_.Clip(), player_.Frame(), rect());
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
    if (player_.Active() && isVisible()) {
        if (!timer_.isActive()) timer_.start();
    } else {
        timer_.stop();
    }
}
