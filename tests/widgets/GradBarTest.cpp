// The rules of the gradient bar without a toolkit: MulDiv, the properties
// and the pixels of the bar.
#include "GradProgressRules.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>

using gradbar::MulDiv;

namespace {

const TColor Grey{192, 192, 192};

std::uint32_t Rgb(int r, int g, int b) {
    return TColor{std::uint8_t(r), std::uint8_t(g), std::uint8_t(b)}.Argb();
}
int Red(std::uint32_t pixel) {
    return (pixel >> 16) & 0xff;
}
int Alpha(std::uint32_t pixel) {
    return pixel >> 24;
}

// A bar with fixed colours: red to blue, grey background, the bevel drawn in
// white and dark grey, on a control of the given size.
struct Bar {
    TGradBar bar;
    TSystemColors system;
    int width, height;
    explicit Bar(int w = 151, int h = 14) : width(w), height(h) {
        system.buttonHighlight = {255, 255, 255};
        system.buttonShadow = {128, 128, 128};
        system.highlight = system.menu = system.activeCaption =
            system.gradientActiveCaption = {0, 255, 0};
        bar.SetUseSystemColors(false);
        bar.SetStartColor({200, 0, 0});
        bar.SetEndColor({0, 0, 200});
        bar.SetBackColor(Grey);
    }
    TPixels Render() { return bar.Render(width, height, system).pixels; }
};

bool IsBack(const TPixels& image, int x, int y) {
    return image.pixel(x, y) == Grey.Argb();
}

// The columns of one row from left to right: '#' coloured, '.' background.
std::string Row(const TPixels& image, int y, int from, int to) {
    std::string s;
    for (int x = from; x < to; ++x)
        s += IsBack(image, x, y) ? '.' : '#';
    return s;
}

} // namespace

TEST(MulDiv, RoundsHalvesAwayFromZero) {
    EXPECT_EQ(MulDiv(50, 151, 100), 76);
    EXPECT_EQ(MulDiv(1, 1, 2), 1);
    EXPECT_EQ(MulDiv(-1, 1, 2), -1);
    EXPECT_EQ(MulDiv(1, 1, 3), 0);
    EXPECT_EQ(MulDiv(2, 1, 3), 1);
    EXPECT_EQ(MulDiv(-3, 1, 2), -2);
    EXPECT_EQ(MulDiv(3, 1, -2), -2);
    EXPECT_EQ(MulDiv(-3, -1, -2), -2);
    EXPECT_EQ(MulDiv(256, 255, 255), 256);
    EXPECT_EQ(MulDiv(256, -255, 255), -256);
}

TEST(MulDiv, ZeroDivisorAndOverflowGiveMinusOne) {
    EXPECT_EQ(MulDiv(7, 3, 0), -1);
    EXPECT_EQ(MulDiv(INT_MAX, 2, 1), -1);
    EXPECT_EQ(MulDiv(INT_MAX, INT_MAX, INT_MAX), INT_MAX);
    EXPECT_EQ(MulDiv(INT_MIN, 1, 1), INT_MIN);
    EXPECT_EQ(MulDiv(INT_MIN, -1, 1), -1);
}

TEST(GradBarProperties, PositionStaysWithinRange) {
    TGradBar bar;
    bar.SetPosition(40);
    bar.SetPosition(101);
    EXPECT_EQ(bar.Position(), 40);
    bar.SetPosition(-1);
    EXPECT_EQ(bar.Position(), 40);
    bar.SetPosition(100);
    EXPECT_EQ(bar.Position(), 100);
    bar.SetMaxValue(60);
    EXPECT_EQ(bar.Position(), 60);
    bar.SetMaxValue(200);
    EXPECT_EQ(bar.Position(), 60);
}

TEST(GradBarProperties, StepitAddsStepUnderThePositionRule) {
    TGradBar bar;
    bar.SetStep(30);
    bar.Stepit();
    bar.Stepit();
    bar.Stepit();
    EXPECT_EQ(bar.Position(), 90);
    bar.Stepit();
    EXPECT_EQ(bar.Position(), 90);
    bar.SetStep(-100);
    bar.Stepit();
    EXPECT_EQ(bar.Position(), 90);
    // A sum beyond 32 bits is refused, not wrapped.
    bar.SetMaxValue(INT_MAX);
    bar.SetPosition(INT_MAX - 1);
    bar.SetStep(INT_MAX);
    bar.Stepit();
    EXPECT_EQ(bar.Position(), INT_MAX - 1);
}

TEST(GradBarProperties, BevelWidthNeedsRoomInside) {
    TGradBar bar; // on a control 151 wide twice the bevel must be at most 147
    bar.SetBevelWidth(80, 151);
    EXPECT_EQ(bar.BevelWidth(), 1);
    bar.SetBevelWidth(74, 151);
    EXPECT_EQ(bar.BevelWidth(), 1);
    bar.SetBevelWidth(73, 151);
    EXPECT_EQ(bar.BevelWidth(), 73);
    bar.SetBevelWidth(0, 151);
    EXPECT_EQ(bar.BevelWidth(), 0);
}

TEST(GradBarPixels, BlocksAtHeight13) {
    Bar b(151, 13);
    b.bar.SetPosition(100);
    const TPixels image = b.Render();
    // Inside the bevel: left 2, right 150, rows 2 to 11; rows 3 to 10 coloured.
    const std::string row = Row(image, 6, 2, 150);
    EXPECT_EQ(row.substr(0, 20), ".#####..#####..#####");
    // Columns beyond width - 4 are background whatever the block.
    EXPECT_EQ(row.substr(142 - 2), ".#####..");
    for (int x = 2; x < 150; ++x) {
        EXPECT_TRUE(IsBack(image, x, 2)) << x;
        EXPECT_TRUE(IsBack(image, x, 11)) << x;
    }
}

TEST(GradBarPixels, BlocksAtHeight6) {
    Bar b(151, 6);
    b.bar.SetPosition(100);
    const TPixels image = b.Render();
    // Inside: rows 2 to 4, only row 3 coloured.
    EXPECT_EQ(Row(image, 3, 2, 20), ".#..#..#..#..#..#.");
    EXPECT_EQ(Row(image, 2, 2, 20), std::string(18, '.'));
    EXPECT_EQ(Row(image, 4, 2, 20), std::string(18, '.'));
}

TEST(GradBarPixels, PositionZeroColoursNothing) {
    for (bool smooth : {false, true}) {
        Bar b;
        b.bar.SetSmooth(smooth);
        const TPixels image = b.Render();
        for (int y = 2; y < 13; ++y)
            for (int x = 2; x < 150; ++x)
                ASSERT_TRUE(IsBack(image, x, y)) << x << "," << y;
    }
}

TEST(GradBarPixels, LastColumnIsRaisedToABlockBoundary) {
    Bar b(151, 13); // blocks of 7: boundaries at 1, 8, ..., 71, 78
    b.bar.SetPosition(50);
    const TPixels image = b.Render(); // fill 76
    const std::string row = Row(image, 6, 0, 151).substr(71);
    EXPECT_EQ(row.substr(0, 10), "..#####...");
}

TEST(GradBarPixels, SmoothBarEndsAtTheFill) {
    Bar b;
    b.bar.SetSmooth(true);
    b.bar.SetPosition(50);
    const TPixels image = b.Render(); // fill 76
    EXPECT_EQ(Row(image, 6, 2, 80), "." + std::string(74, '#') + "...");
    // The rest of the bar is outlined with the pen of the last column drawn,
    // so the fill column is coloured from edge to edge of the inside.
    EXPECT_FALSE(IsBack(image, 76, 2));
    EXPECT_TRUE(IsBack(image, 75, 2));
}

TEST(GradBarPixels, AbsoluteGradientShowsFirstHalfWhenHalfFilled) {
    Bar b;
    b.bar.SetSmooth(true);
    b.bar.SetStartColor(TColor(0, 0, 0));
    b.bar.SetEndColor(TColor(255, 0, 0));
    b.bar.SetPosition(50);
    const TPixels image = b.Render();
    // t = 256 * 75 / 151 rounded = 127.
    EXPECT_EQ(Red(image.pixel(75, 6)), 127);
    b.bar.SetRelativeGradient(true);
    const TPixels relative = b.Render();
    // t = 256 * 75 / 76 rounded = 253.
    EXPECT_EQ(Red(relative.pixel(75, 6)), 253);
}

TEST(GradBarPixels, ChannelsWrapAt256) {
    Bar b;
    b.bar.SetSmooth(true);
    b.bar.SetRelativeGradient(true);
    b.bar.SetStartColor(TColor(0, 255, 0));
    b.bar.SetEndColor(TColor(255, 0, 0));
    b.bar.SetPosition(50);
    const TPixels image = b.Render();
    // At the last column t is 256: 0 + 256 wraps to 0, 255 - 256 to 255.
    EXPECT_EQ(image.pixel(76, 6), Rgb(0, 255, 0));
    EXPECT_EQ(image.pixel(75, 6), Rgb(253, 2, 0));
}

TEST(GradBarPixels, Bevel) {
    Bar b;
    TPixels image = b.Render();
    const std::uint32_t shadow = Rgb(128, 128, 128), light = Rgb(255, 255, 255);
    EXPECT_EQ(Alpha(image.pixel(0, 0)), 0);
    EXPECT_EQ(Alpha(image.pixel(0, 7)), 0);
    EXPECT_EQ(Alpha(image.pixel(70, 0)), 0);
    EXPECT_EQ(image.pixel(1, 1), shadow);
    EXPECT_EQ(image.pixel(149, 1), shadow);
    EXPECT_EQ(image.pixel(1, 12), shadow);
    EXPECT_EQ(image.pixel(150, 1), light);
    EXPECT_EQ(image.pixel(150, 13), light);
    EXPECT_EQ(image.pixel(1, 13), light);
    b.bar.SetBevelStyle(bsRaised);
    image = b.Render();
    EXPECT_EQ(image.pixel(1, 1), light);
    EXPECT_EQ(image.pixel(150, 13), shadow);

    b.bar.SetBevelWidth(0, 151);
    image = b.Render();
    EXPECT_EQ(Alpha(image.pixel(0, 0)), 0);
    EXPECT_EQ(Alpha(image.pixel(150, 13)), 255); // the inside reaches the edges
}

TEST(GradBarPixels, SystemColoursOverwriteTheProperties) {
    TGradBar bar;
    TSystemColors colors;
    colors.gradientCaptions = true;
    colors.activeCaption = TColor{0, 0, 128};
    colors.gradientActiveCaption = TColor{16, 132, 208};
    colors.highlight = TColor{10, 20, 30};
    colors.menu = TColor{40, 50, 60};
    bar.SetStartColor({255, 0, 0});
    EXPECT_EQ(bar.StartColor(), (TColor{255, 0, 0}));
    bar.Render(151, 14, colors);
    EXPECT_EQ(bar.StartColor(), (TColor{0, 0, 128}));
    EXPECT_EQ(bar.EndColor(), (TColor{16, 132, 208}));
    colors.gradientCaptions = false;
    bar.Render(151, 14, colors);
    EXPECT_EQ(bar.StartColor(), (TColor{10, 20, 30}));
    EXPECT_EQ(bar.EndColor(), (TColor{40, 50, 60}));
    bar.SetUseSystemColors(false);
    bar.SetStartColor({255, 0, 0});
    bar.Render(151, 14, colors);
    EXPECT_EQ(bar.StartColor(), (TColor{255, 0, 0}));
}

TEST(GradBarPixels, DegenerateBarsDrawWithoutFault) {
    Bar low(151, 1); // blocks would be 0 columns wide
    low.bar.SetPosition(50);
    EXPECT_EQ(low.Render().width * low.Render().height, 151 * 1);
    Bar two(151, 2);
    two.bar.SetPosition(50);
    EXPECT_EQ(two.Render().width * two.Render().height, 151 * 2);

    Bar zero;
    zero.bar.SetMaxValue(0);
    const TPixels image = zero.Render();
    for (int x = 2; x < 150; ++x)
        EXPECT_TRUE(IsBack(image, x, 6)) << x;
    zero.bar.SetMaxValue(-5);
    EXPECT_EQ(zero.bar.Position(), -5);
    const TPixels negative = zero.Render();
    for (int x = 2; x < 150; ++x)
        EXPECT_TRUE(IsBack(negative, x, 6)) << x;

    Bar empty(0, 0);
    EXPECT_TRUE(empty.Render().data.empty());
}
