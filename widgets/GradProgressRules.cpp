#include "GradProgressRules.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

using gradbar::MulDiv;

int gradbar::MulDiv(int a, int b, int c) {
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

namespace {

TColor Opaque(TColor c) {
    c.a = 255;
    return c;
}

// Drawing in the manner of the classic desktop: lines are axis-parallel and
// exclude their end point, pixels outside the image are dropped.
void Line(TPixels& image, int x0, int y0, int x1, int y1, std::uint32_t color) {
    const int dx = (x1 > x0) - (x1 < x0);
    const int dy = (y1 > y0) - (y1 < y0);
    if (dx != 0 && dy != 0) return; // only straight lines are needed here
    for (int x = x0, y = y0; x != x1 || y != y1; x += dx, y += dy)
        image.Set(x, y, color);
}

// Outline in the pen colour, inside in the brush colour; right and bottom
// edges excluded.
void Rectangle(TPixels& image, int x0, int y0, int x1, int y1, std::uint32_t pen,
               std::uint32_t brush) {
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const bool edge = x == x0 || x == x1 - 1 || y == y0 || y == y1 - 1;
            image.Set(x, y, edge ? pen : brush);
        }
}

std::uint8_t Channel(int start, int t, int difference) {
    // Wraps at 256: a start of 0 and an end of 255 give 0 again at t = 256.
    return static_cast<std::uint8_t>(start + MulDiv(t, difference, 255));
}

} // namespace

bool TGradBar::SetBevelStyle(TBevelStyle value) {
    if (value == bevelStyle_) return false;
    bevelStyle_ = value;
    return true;
}

bool TGradBar::SetBevelWidth(std::uint8_t value, int controlWidth) {
    if (value == bevelWidth_) return false;
    if (2 * value <= controlWidth - 4) bevelWidth_ = value;
    return true;
}

bool TGradBar::SetStartColor(TColor value) {
    if (Opaque(value) == startColor_) return false;
    startColor_ = Opaque(value);
    return true;
}

bool TGradBar::SetEndColor(TColor value) {
    if (Opaque(value) == endColor_) return false;
    endColor_ = Opaque(value);
    return true;
}

bool TGradBar::SetPosition(int value) {
    if (value == position_ || value > maxValue_ || value < 0) return false;
    position_ = value;
    return true;
}

bool TGradBar::SetMaxValue(int value) {
    if (value == maxValue_) return false;
    maxValue_ = value;
    if (maxValue_ < position_) position_ = maxValue_;
    return true;
}

bool TGradBar::SetShowPercent(bool value) {
    if (value == showPercent_) return false;
    showPercent_ = value;
    return true;
}

bool TGradBar::SetBackColor(TColor value) {
    if (Opaque(value) == backColor_) return false;
    backColor_ = Opaque(value);
    return true;
}

bool TGradBar::Stepit() {
    // Summed in 64 bits: a sum past the 32-bit range is above MaxValue or
    // below 0 and so refused like any other out-of-range position.
    const std::int64_t next = static_cast<std::int64_t>(position_) + step_;
    if (next < 0 || next > INT_MAX) return false;
    return SetPosition(static_cast<int>(next));
}

TGradBarImage TGradBar::Render(int width, int height, const TSystemColors& system) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    TGradBarImage result;
    TPixels& surface = result.pixels;
    surface = TPixels(width, height, 0);

    if (useSystemColors_) {
        startColor_ = Opaque(system.gradientCaptions ? system.activeCaption : system.highlight);
        endColor_ = Opaque(system.gradientCaptions ? system.gradientActiveCaption : system.menu);
    }
    if (width == 0 || height == 0) return result;

    const int bevel = bevelWidth_;
    if (bevel > 0) {
        const std::uint32_t first =
            Opaque(bevelStyle_ == bsRaised ? system.buttonHighlight : system.buttonShadow).Argb();
        const std::uint32_t second =
            Opaque(bevelStyle_ == bsRaised ? system.buttonShadow : system.buttonHighlight).Argb();
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
    if (right <= left || bottom <= top) return result; // the bevel leaves no room inside

    TPixels bitmap(width - bevel, height - bevel, TColor{0, 0, 0}.Argb());
    const std::uint32_t back = backColor_.Argb();
    const int diffRed = endColor_.r - startColor_.r;
    const int diffGreen = endColor_.g - startColor_.g;
    const int diffBlue = endColor_.b - startColor_.b;

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

    std::uint32_t pen = TColor{0, 0, 0}.Argb();
    for (int c = 0; c <= last; ++c) {
        const int t = relativeGradient_ ? MulDiv(256, c, last) : MulDiv(256, c, full);
        pen = TColor{Channel(startColor_.r, t, diffRed), Channel(startColor_.g, t, diffGreen),
                     Channel(startColor_.b, t, diffBlue)}
                  .Argb();
        if (boundary(c) || boundary(c - 1)) pen = back;
        if (c < 3 || c > width - 4) pen = back;
        Line(bitmap, c, top + 1, c, bottom - 1, pen);
        bitmap.Set(c, top, back);
        bitmap.Set(c, bottom - 1, back);
    }
    // The rest of the bar: background inside, outlined with the pen of the
    // last column drawn.
    Rectangle(bitmap, last, top - 1, width, height, pen, back);

    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x)
            surface.Set(x, y, bitmap.pixel(x, y));

    result.insideLeft = left;
    result.insideTop = top;
    result.insideWidth = right - left;
    result.insideHeight = bottom - top;
    if (showPercent_) result.percentText = std::to_string(MulDiv(fill, 100, width)) + "%";
    return result;
}
