#include "FileLbl.h"

#include "Platform.h"

#include <QEvent>
#include <QFontMetrics>

TFileLabel::TFileLabel(QWidget* parent)
    : QLabel(parent), separator_(QString(QChar::fromLatin1(plat::PathSep))) {
    setWordWrap(false);
    setTextFormat(Qt::PlainText);
    parts_.clear();
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

void TFileLabel::SplitPath(const QString& text, const QString& separator, QStringList& parts) {
    if (separator.isEmpty()) {
        parts.append(text);
        return;
    }
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = text.indexOf(separator, from, Qt::CaseSensitive);
        if (at < 0) {
            parts.append(text.mid(from));
            return;
        }
        parts.append(text.mid(from, at - from));
        from = at + separator.size();
    }
}

void TFileLabel::ParseFileName() {
    parts_.clear();
    SplitPath(fileName_, separator_, parts_);
    const QString first = parts_.isEmpty() ? QString() : parts_.first();
    hasDrive_ = first.size() >= 2 && first.endsWith(QLatin1Char(':'));
}

QString TFileLabel::FitPath(const QString& fileName, const QStringList& parts, bool hasDrive,
                            const QString& separator, TDirection direction, int width,
                            const TMeasure& measure) {
    // The whole path is shown when it fits, its width equal to the label's included.
    if (fileName.isEmpty() || parts.isEmpty() || measure(fileName) <= width) return fileName;

    // Shortened forms need strictly less than the width.
    const QString ellipsis = QStringLiteral("...") + separator;
    const QString& last = parts.last();
    const int lastAndEllipsis = measure(last) + measure(ellipsis);
    if (lastAndEllipsis >= width) return last;

    const QString drive = hasDrive ? parts.first() + separator : QString();
    const int base = lastAndEllipsis + measure(drive);
    if (base >= width) return ellipsis + last;

    // Middle components lie between the drive prefix and the last component.
    // The walk stops at the first one that does not fit; kept components may
    // bring the total to exactly the width.
    const qsizetype first = hasDrive ? 1 : 0;
    const qsizetype beforeLast = parts.size() - 2;
    QString kept;
    if (direction == drFromLeft) {
        for (qsizetype i = beforeLast; i >= first; --i) {
            const QString candidate = parts[i] + separator + kept;
            if (base + measure(candidate) > width) break;
            kept = candidate;
        }
        return drive + ellipsis + kept + last;
    }
    for (qsizetype i = first; i <= beforeLast; ++i) {
        const QString candidate = kept + parts[i] + separator;
        if (base + measure(candidate) > width) break;
        kept = candidate;
    }
    return drive + kept + ellipsis + last;
}

void TFileLabel::FitFileName() {
    if (fitting_) return;
    fitting_ = true;
    const TMeasure measure = [this](const QString& s) { return Measure(s); };
    // With AutoSize on, each text changes the width and the new width may
    // change the text; the texts already shown stop a cycle between two forms.
    QStringList shownBefore;
    for (;;) {
        const QString shown =
            FitPath(fileName_, parts_, hasDrive_, separator_, direction_, width(), measure);
        if (shown != text()) QLabel::setText(shown);
        if (!autoSize_) break;
        const int textWidth = Measure(shown);
        if (textWidth == width()) break;
        resize(textWidth, height());
        if (shownBefore.contains(shown)) break;
        shownBefore.append(shown);
    }
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
