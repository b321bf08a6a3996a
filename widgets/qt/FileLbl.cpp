#include "FileLbl.h"

#include "Platform.h"

#include <QEvent>
#include <QFontMetrics>

TFileLabel::TFileLabel(QWidget* parent)
    : QLabel(parent), separator_(QString(QChar::fromLatin1(plat::PathSep))) {
    setWordWrap(false);
    setTextFormat(Qt::PlainText);
    path_.separator = separator_.toStdString();
}

TFileLabel::TFileLabel(QWidget* parent, const QRect& geometry, TDirection direction)
    : TFileLabel(parent) {
    setGeometry(geometry);
    SetDirection(direction);
}

void TFileLabel::SetFileName(const QString& value) {
    if (value == fileName_) return;
    fileName_ = value;
    ParseFileName();
    FitFileName();
}

void TFileLabel::SetSeparator(const QString& value) {
    if (value == separator_) return;
    separator_ = value;
    ParseFileName();
    FitFileName();
}

void TFileLabel::SetDirection(TDirection value) {
    if (value == direction_) return;
    direction_ = value;
    FitFileName();
}

void TFileLabel::SetAutoSize(bool value) {
    if (value == autoSize_) return;
    autoSize_ = value;
    if (autoSize_) FitFileName();
}

void TFileLabel::SetMeasure(TMeasure measure) {
    measure_ = std::move(measure);
    FitFileName();
}

int TFileLabel::Measure(const QString& text) const {
    if (measure_) return measure_(text);
    return QFontMetrics(font()).horizontalAdvance(text);
}

QStringList TFileLabel::Parts() const {
    QStringList parts;
    for (const std::string& part : path_.parts)
        parts.append(QString::fromStdString(part));
    return parts;
}

void TFileLabel::ParseFileName() {
    path_.fileName = fileName_.toStdString();
    path_.separator = separator_.toStdString();
    path_.Parse();
}

void TFileLabel::FitFileName() {
    if (fitting_) return;
    fitting_ = true;
    const TTextMeasure measure = [this](const std::string& s) {
        return Measure(QString::fromStdString(s));
    };
    const QString shown = QString::fromStdString(
        FitLabel(path_, direction_, width(), autoSize_, measure, [this](int textWidth) {
            resize(textWidth, height());
            return width();
        }));
    if (shown != text()) QLabel::setText(shown);
    fitting_ = false;
}

void TFileLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    FitFileName();
}

void TFileLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange) FitFileName();
}
