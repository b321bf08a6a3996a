// TGradProgress: a progress bar drawn as a colour gradient, in blocks with
// gaps or smooth, inside an optional bevel, with an optional percentage text.
// Each paint builds the bar in an off-screen image and copies in only the
// inner rectangle; row 0 and column 0 are never painted, so the parent shows
// through there.
#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>

#include <cstdint>
#include <functional>

// a × b ÷ c with a 64-bit product, rounded to the nearest integer, halves away
// from zero. Gives -1 when c is 0 or the result does not fit in 32 bits.
int MulDiv(int a, int b, int c);

enum TBevelStyle { bsLowered = 0, bsRaised = 1 };

// The desktop colours the bar draws with when it follows the system.
struct TSystemColors {
    bool gradientCaptions = false; // the desktop draws captions as gradients
    QColor activeCaption;
    QColor gradientActiveCaption;
    QColor highlight;
    QColor menu;
    QColor buttonHighlight; // light edge of a bevel
    QColor buttonShadow;    // dark edge of a bevel

    // Taken from a Qt palette. Qt has no caption gradients to report, so the
    // bar runs from the selection colour to the window (menu) colour.
    static TSystemColors FromPalette(const QPalette& palette);
};

class TGradProgress : public QWidget {
    Q_OBJECT

  public:
    explicit TGradProgress(QWidget* parent = nullptr);

    bool UseSystemColors() const { return useSystemColors_; }
    void SetUseSystemColors(bool value) { useSystemColors_ = value; }

    bool Smooth() const { return smooth_; }
    void SetSmooth(bool value) { smooth_ = value; }

    bool RelativeGradient() const { return relativeGradient_; }
    void SetRelativeGradient(bool value) { relativeGradient_ = value; }

    TBevelStyle BevelStyle() const { return bevelStyle_; }
    void SetBevelStyle(TBevelStyle value);

    // Kept only while twice the bevel leaves at least 4 pixels of width.
    std::uint8_t BevelWidth() const { return bevelWidth_; }
    void SetBevelWidth(std::uint8_t value);

    QColor StartColor() const { return startColor_; }
    void SetStartColor(const QColor& value);

    QColor EndColor() const { return endColor_; }
    void SetEndColor(const QColor& value);

    // Taken only when it lies in 0 .. MaxValue.
    int Position() const { return position_; }
    void SetPosition(int value);

    // Pulls Position down with it.
    int MaxValue() const { return maxValue_; }
    void SetMaxValue(int value);

    int Step() const { return step_; }
    void SetStep(int value) { step_ = value; }

    bool ShowPercent() const { return showPercent_; }
    void SetShowPercent(bool value);

    QColor BackColor() const { return backColor_; }
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
    void RecomputeComponents();
    void Changed(); // repaints at once
    TSystemColors SystemColors() const;

    bool useSystemColors_ = true;
    bool smooth_ = false;
    bool relativeGradient_ = false;
    TBevelStyle bevelStyle_ = bsLowered;
    std::uint8_t bevelWidth_ = 1;
    QColor startColor_{0, 0, 0};
    QColor endColor_{0, 0, 0};
    int position_ = 0;
    int maxValue_ = 100;
    int step_ = 1;
    bool showPercent_ = false;
    QColor backColor_;
    std::function<TSystemColors()> systemColorSource_;

    // Start colour components and end minus start per channel.
    int startRed_ = 0, startGreen_ = 0, startBlue_ = 0;
    int diffRed_ = 0, diffGreen_ = 0, diffBlue_ = 0;
};
