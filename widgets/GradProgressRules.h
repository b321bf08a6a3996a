// The rules of TGradProgress free of any toolkit: its properties and what
// each change allows, and the bar's pixels. The bar is a colour gradient in
// blocks with gaps or smooth, inside an optional bevel; the backend draws
// the optional percentage text over it with its own font.
#pragma once

#include "Drawing.h"

#include <cstdint>
#include <string>
#include <vector>

// a × b ÷ c with a 64-bit product, rounded to the nearest integer, halves away
// from zero. Gives -1 when c is 0 or the result does not fit in 32 bits. In a
// namespace of its own: <windows.h> declares the system's MulDiv of the same
// name, and a Windows backend includes both.
namespace gradbar {
int MulDiv(int a, int b, int c);
}

enum TBevelStyle { bsLowered = 0, bsRaised = 1 };

// The desktop colours the bar draws with when it follows the system.
struct TSystemColors {
    bool gradientCaptions = false; // the desktop draws captions as gradients
    TColor activeCaption;
    TColor gradientActiveCaption;
    TColor highlight;
    TColor menu;
    TColor buttonHighlight; // light edge of a bevel
    TColor buttonShadow;    // dark edge of a bevel
};

// An image of 32-bit pixels 0xAARRGGBB, row by row; 0 is transparent.
struct TPixels {
    int width = 0, height = 0;
    std::vector<std::uint32_t> data;

    TPixels() = default;
    TPixels(int w, int h, std::uint32_t fill)
        : width(w), height(h), data(std::size_t(w) * h, fill) {}
    std::uint32_t pixel(int x, int y) const { return data[std::size_t(y) * width + x]; }
    // Pixels outside the image are dropped.
    void Set(int x, int y, std::uint32_t v) {
        if (x >= 0 && y >= 0 && x < width && y < height) data[std::size_t(y) * width + x] = v;
    }
};

// The bar as painted on a control: its pixels (those the bar does not paint
// are transparent: row 0, column 0 and the edges outside the bevel), and the
// percentage text to draw centred in the inside, clipped to it, when shown.
struct TGradBarImage {
    TPixels pixels;
    std::string percentText; // empty when none is shown
    int insideLeft = 0, insideTop = 0, insideWidth = 0, insideHeight = 0;
};

class TGradBar {
  public:
    // The setters that change what the bar shows return true when the bar
    // is to be repainted.
    bool UseSystemColors() const { return useSystemColors_; }
    void SetUseSystemColors(bool value) { useSystemColors_ = value; }

    bool Smooth() const { return smooth_; }
    void SetSmooth(bool value) { smooth_ = value; }

    bool RelativeGradient() const { return relativeGradient_; }
    void SetRelativeGradient(bool value) { relativeGradient_ = value; }

    TBevelStyle BevelStyle() const { return bevelStyle_; }
    bool SetBevelStyle(TBevelStyle value);

    // Kept only while twice the bevel leaves at least 4 pixels of a control
    // controlWidth wide; a refused width still repaints.
    std::uint8_t BevelWidth() const { return bevelWidth_; }
    bool SetBevelWidth(std::uint8_t value, int controlWidth);

    // Colours are opaque; their alpha is ignored.
    TColor StartColor() const { return startColor_; }
    bool SetStartColor(TColor value);
    TColor EndColor() const { return endColor_; }
    bool SetEndColor(TColor value);

    // Taken only when it lies in 0 .. MaxValue.
    int Position() const { return position_; }
    bool SetPosition(int value);

    // Pulls Position down with it.
    int MaxValue() const { return maxValue_; }
    bool SetMaxValue(int value);

    int Step() const { return step_; }
    void SetStep(int value) { step_ = value; }

    bool ShowPercent() const { return showPercent_; }
    bool SetShowPercent(bool value);

    TColor BackColor() const { return backColor_; }
    bool SetBackColor(TColor value);

    // Advances Position by Step, under the rule of SetPosition.
    bool Stepit();

    // The bar on a control of the given size. With UseSystemColors on, the
    // start and end colours are first taken from system.
    TGradBarImage Render(int width, int height, const TSystemColors& system);

  private:
    bool useSystemColors_ = true;
    bool smooth_ = false;
    bool relativeGradient_ = false;
    TBevelStyle bevelStyle_ = bsLowered;
    std::uint8_t bevelWidth_ = 1;
    TColor startColor_;
    TColor endColor_;
    int position_ = 0;
    int maxValue_ = 100;
    int step_ = 1;
    bool showPercent_ = false;
    TColor backColor_;
};
