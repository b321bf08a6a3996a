// TGradProgress: a progress bar drawn as a colour gradient, in blocks with
// gaps or smooth, inside an optional bevel, with an optional percentage text.
// Its properties and pixels follow the toolkit-free rules of TGradBar; this
// widget shows those pixels and draws the percentage text in its font. Row 0
// and column 0 are never painted, so the parent shows through there.
#pragma once

#include "DrawSteps.h"
#include "GradProgressRules.h"

#include <QColor>
#include <QImage>
#include <QWidget>

#include <cstdint>
#include <functional>

// The desktop colours of a Qt palette. Qt has no caption gradients to report,
// so the bar runs from the selection colour to the window (menu) colour.
TSystemColors SystemColorsOf(const QPalette& palette);

class TGradProgress : public QWidget {
    Q_OBJECT

  public:
    explicit TGradProgress(QWidget* parent = nullptr);
    // Placed at geometry in its parent.
    TGradProgress(QWidget* parent, const QRect& geometry);

    bool UseSystemColors() const { return bar_.UseSystemColors(); }
    void SetUseSystemColors(bool value) { bar_.SetUseSystemColors(value); }

    bool Smooth() const { return bar_.Smooth(); }
    void SetSmooth(bool value) { bar_.SetSmooth(value); }

    bool RelativeGradient() const { return bar_.RelativeGradient(); }
    void SetRelativeGradient(bool value) { bar_.SetRelativeGradient(value); }

    TBevelStyle BevelStyle() const { return bar_.BevelStyle(); }
    void SetBevelStyle(TBevelStyle value);

    // Kept only while twice the bevel leaves at least 4 pixels of width.
    std::uint8_t BevelWidth() const { return bar_.BevelWidth(); }
    void SetBevelWidth(std::uint8_t value);

    QColor StartColor() const { return ToQColor(bar_.StartColor()); }
    void SetStartColor(const QColor& value);

    QColor EndColor() const { return ToQColor(bar_.EndColor()); }
    void SetEndColor(const QColor& value);

    // Taken only when it lies in 0 .. MaxValue.
    int Position() const { return bar_.Position(); }
    void SetPosition(int value);

    // Pulls Position down with it.
    int MaxValue() const { return bar_.MaxValue(); }
    void SetMaxValue(int value);

    int Step() const { return bar_.Step(); }
    void SetStep(int value) { bar_.SetStep(value); }

    bool ShowPercent() const { return bar_.ShowPercent(); }
    void SetShowPercent(bool value);

    QColor BackColor() const { return ToQColor(bar_.BackColor()); }
    void SetBackColor(const QColor& value);

    // Advances Position by Step, under the rule of SetPosition.
    void Stepit();

    // Replaces where the system colours come from; an empty function restores
    // the widget's own palette.
    void SetSystemColorSource(std::function<TSystemColors()> source);

    // The bar as painted on a control of the given size: pixels the bar does
    // not paint are left transparent. Runs the whole paint routine, taking the
    // system colours when UseSystemColors is on.
    QImage Render(const QSize& size);
    QImage Render() { return Render(size()); }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void Changed(bool repaintWanted); // repaints at once when wanted
    TSystemColors SystemColors() const;

    TGradBar bar_;
    std::function<TSystemColors()> systemColorSource_;
};
