#include "GradProgress.h"

#include <QCoreApplication>
#include <QPainter>
#include <QWindow>
#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

const QColor Grey(192, 192, 192);

// A bar with fixed colours: red to blue, grey background, the bevel drawn in
// white and dark grey.
struct Bar {
    TGradProgress bar;
    explicit Bar(int width = 151, int height = 14) {
        bar.SetSystemColorSource([] {
            TSystemColors c;
            c.buttonHighlight = Qt::white;
            c.buttonShadow = QColor(128, 128, 128);
            c.highlight = c.menu = c.activeCaption = c.gradientActiveCaption = Qt::green;
            return c;
        });
        bar.SetUseSystemColors(false);
        bar.SetStartColor(QColor(200, 0, 0));
        bar.SetEndColor(QColor(0, 0, 200));
        bar.SetBackColor(Grey);
        bar.resize(width, height);
    }
};

bool IsBack(const QImage& image, int x, int y) {
    return image.pixel(x, y) == Grey.rgb();
}

// The columns of one row from left to right: '#' coloured, '.' background.
std::string Row(const QImage& image, int y, int from, int to) {
    std::string s;
    for (int x = from; x < to; ++x)
        s += IsBack(image, x, y) ? '.' : '#';
    return s;
}

// A bar image with a text drawn over it in white, centred inside the bevel.
QImage WithText(QImage image, const QRect& inside, const QFont& font, const QString& text) {
    QPainter painter(&image);
    painter.setClipRect(inside);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(inside, Qt::AlignCenter | Qt::TextSingleLine, text);
    return image;
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

TEST(GradProgressProperties, Initial) {
    TGradProgress bar;
    EXPECT_TRUE(bar.UseSystemColors());
    EXPECT_FALSE(bar.Smooth());
    EXPECT_FALSE(bar.RelativeGradient());
    EXPECT_EQ(bar.BevelStyle(), bsLowered);
    EXPECT_EQ(bar.BevelWidth(), 1);
    EXPECT_EQ(bar.StartColor(), QColor(0, 0, 0));
    EXPECT_EQ(bar.EndColor(), QColor(0, 0, 0));
    EXPECT_EQ(bar.Position(), 0);
    EXPECT_EQ(bar.MaxValue(), 100);
    EXPECT_EQ(bar.Step(), 1);
    EXPECT_FALSE(bar.ShowPercent());
    EXPECT_EQ(bar.BackColor(), bar.palette().color(QPalette::Button));
    EXPECT_EQ(bar.size(), QSize(151, 14));
    EXPECT_EQ(bar.font().pointSize(), 10);
    EXPECT_EQ(bar.palette().color(QPalette::WindowText), QColor(Qt::white));
}

TEST(GradProgressProperties, PositionStaysWithinRange) {
    TGradProgress bar;
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

TEST(GradProgressProperties, StepitAddsStepUnderThePositionRule) {
    TGradProgress bar;
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

TEST(GradProgressProperties, BevelWidthNeedsRoomInside) {
    TGradProgress bar; // 151 wide: twice the bevel must be at most 147
    bar.SetBevelWidth(80);
    EXPECT_EQ(bar.BevelWidth(), 1);
    bar.SetBevelWidth(74);
    EXPECT_EQ(bar.BevelWidth(), 1);
    bar.SetBevelWidth(73);
    EXPECT_EQ(bar.BevelWidth(), 73);
    bar.SetBevelWidth(0);
    EXPECT_EQ(bar.BevelWidth(), 0);
}

TEST(GradProgressProperties, RefusedBevelWidthStillRepaints) {
    TGradProgress bar;
    int paints = 0;
    bar.SetUseSystemColors(true);
    bar.SetSystemColorSource([&paints] {
        ++paints;
        return TSystemColors{};
    });
    bar.show();
    // Let the window come up and take its first paint.
    for (int i = 0; i < 100 && !bar.windowHandle()->isExposed(); ++i)
        QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    ASSERT_TRUE(bar.windowHandle()->isExposed());
    paints = 0;
    bar.SetBevelWidth(80);
    EXPECT_EQ(bar.BevelWidth(), 1);
    EXPECT_EQ(paints, 1);
    bar.SetPosition(500); // ignored: no repaint
    EXPECT_EQ(paints, 1);
    bar.SetPosition(5);
    EXPECT_EQ(paints, 2);
}

TEST(GradProgressPaint, BlocksAtHeight13) {
    Bar b(151, 13);
    b.bar.SetPosition(100);
    const QImage image = b.bar.Render();
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

TEST(GradProgressPaint, BlocksAtHeight6) {
    Bar b(151, 6);
    b.bar.SetPosition(100);
    const QImage image = b.bar.Render();
    // Inside: rows 2 to 4, only row 3 coloured.
    EXPECT_EQ(Row(image, 3, 2, 20), ".#..#..#..#..#..#.");
    EXPECT_EQ(Row(image, 2, 2, 20), std::string(18, '.'));
    EXPECT_EQ(Row(image, 4, 2, 20), std::string(18, '.'));
}

TEST(GradProgressPaint, PositionZeroColoursNothing) {
    for (bool smooth : {false, true}) {
        Bar b;
        b.bar.SetSmooth(smooth);
        const QImage image = b.bar.Render();
        for (int y = 2; y < 13; ++y)
            for (int x = 2; x < 150; ++x)
                ASSERT_TRUE(IsBack(image, x, y)) << x << "," << y;
    }
}

TEST(GradProgressPaint, LastColumnIsRaisedToABlockBoundary) {
    Bar b(151, 13); // blocks of 7: boundaries at 1, 8, ..., 71, 78
    b.bar.SetPosition(50);
    const QImage image = b.bar.Render(); // fill 76
    const std::string row = Row(image, 6, 0, 151).substr(71);
    EXPECT_EQ(row.substr(0, 10), "..#####...");
}

TEST(GradProgressPaint, SmoothBarEndsAtTheFill) {
    Bar b;
    b.bar.SetSmooth(true);
    b.bar.SetPosition(50);
    const QImage image = b.bar.Render(); // fill 76
    EXPECT_EQ(Row(image, 6, 2, 80), "." + std::string(74, '#') + "...");
    // The rest of the bar is outlined with the pen of the last column drawn,
    // so the fill column is coloured from edge to edge of the inside.
    EXPECT_FALSE(IsBack(image, 76, 2));
    EXPECT_TRUE(IsBack(image, 75, 2));
}

TEST(GradProgressPaint, AbsoluteGradientShowsFirstHalfWhenHalfFilled) {
    Bar b;
    b.bar.SetSmooth(true);
    b.bar.SetStartColor(QColor(0, 0, 0));
    b.bar.SetEndColor(QColor(255, 0, 0));
    b.bar.SetPosition(50);
    const QImage image = b.bar.Render();
    // t = 256 * 75 / 151 rounded = 127.
    EXPECT_EQ(qRed(image.pixel(75, 6)), 127);
    b.bar.SetRelativeGradient(true);
    const QImage relative = b.bar.Render();
    // t = 256 * 75 / 76 rounded = 253.
    EXPECT_EQ(qRed(relative.pixel(75, 6)), 253);
}

TEST(GradProgressPaint, ChannelsWrapAt256) {
    Bar b;
    b.bar.SetSmooth(true);
    b.bar.SetRelativeGradient(true);
    b.bar.SetStartColor(QColor(0, 255, 0));
    b.bar.SetEndColor(QColor(255, 0, 0));
    b.bar.SetPosition(50);
    const QImage image = b.bar.Render();
    // At the last column t is 256: 0 + 256 wraps to 0, 255 - 256 to 255.
    EXPECT_EQ(image.pixel(76, 6), qRgb(0, 255, 0));
    EXPECT_EQ(image.pixel(75, 6), qRgb(253, 2, 0));
}

TEST(GradProgressPaint, PercentTextAndFill) {
    Bar b;
    b.bar.SetSmooth(true);
    b.bar.SetPosition(50);
    const QImage plain = b.bar.Render();
    b.bar.SetShowPercent(true);
    const QImage withText = b.bar.Render();

    EXPECT_EQ(withText, WithText(plain, QRect(2, 2, 148, 11), b.bar.font(), "50%"));
    EXPECT_NE(withText, plain);
    // The fill is 76, 75.5 rounded up.
    EXPECT_FALSE(IsBack(plain, 76, 6));
    EXPECT_TRUE(IsBack(plain, 77, 6));
}

TEST(GradProgressPaint, PercentComesFromTheFill) {
    Bar b(10, 14);
    b.bar.SetMaxValue(3);
    b.bar.SetPosition(1);
    b.bar.SetShowPercent(true);
    const QImage withText = b.bar.Render(); // fill 3 of 10: 30 %, not 33 %
    b.bar.SetShowPercent(false);
    EXPECT_EQ(withText, WithText(b.bar.Render(), QRect(2, 2, 7, 11), b.bar.font(), "30%"));
}

TEST(GradProgressPaint, Bevel) {
    Bar b;
    QImage image = b.bar.Render();
    const QRgb shadow = qRgb(128, 128, 128), light = qRgb(255, 255, 255);
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(image.pixel(0, 7)), 0);
    EXPECT_EQ(qAlpha(image.pixel(70, 0)), 0);
    EXPECT_EQ(image.pixel(1, 1), shadow);
    EXPECT_EQ(image.pixel(149, 1), shadow);
    EXPECT_EQ(image.pixel(1, 12), shadow);
    EXPECT_EQ(image.pixel(150, 1), light);
    EXPECT_EQ(image.pixel(150, 13), light);
    EXPECT_EQ(image.pixel(1, 13), light);
    b.bar.SetBevelStyle(bsRaised);
    image = b.bar.Render();
    EXPECT_EQ(image.pixel(1, 1), light);
    EXPECT_EQ(image.pixel(150, 13), shadow);

    b.bar.SetBevelWidth(0);
    image = b.bar.Render();
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(image.pixel(150, 13)), 255); // the inside reaches the edges
}

TEST(GradProgressPaint, SystemColoursOverwriteTheProperties) {
    TGradProgress bar;
    TSystemColors colors;
    colors.gradientCaptions = true;
    colors.activeCaption = QColor(0, 0, 128);
    colors.gradientActiveCaption = QColor(16, 132, 208);
    colors.highlight = QColor(10, 20, 30);
    colors.menu = QColor(40, 50, 60);
    bar.SetSystemColorSource([&colors] { return colors; });
    bar.SetStartColor(Qt::red);
    EXPECT_EQ(bar.StartColor(), QColor(Qt::red));
    bar.Render();
    EXPECT_EQ(bar.StartColor(), QColor(0, 0, 128));
    EXPECT_EQ(bar.EndColor(), QColor(16, 132, 208));
    colors.gradientCaptions = false;
    bar.Render();
    EXPECT_EQ(bar.StartColor(), QColor(10, 20, 30));
    EXPECT_EQ(bar.EndColor(), QColor(40, 50, 60));
    bar.SetUseSystemColors(false);
    bar.SetStartColor(Qt::red);
    bar.Render();
    EXPECT_EQ(bar.StartColor(), QColor(Qt::red));
}

TEST(GradProgressPaint, DefaultSystemColoursComeFromThePalette) {
    TGradProgress bar;
    bar.Render();
    EXPECT_EQ(bar.StartColor(), bar.palette().color(QPalette::Active, QPalette::Highlight));
    EXPECT_EQ(bar.EndColor(), bar.palette().color(QPalette::Active, QPalette::Window));
}

TEST(GradProgressPaint, DegenerateBarsDrawWithoutFault) {
    Bar low(151, 1); // blocks would be 0 columns wide
    low.bar.SetPosition(50);
    EXPECT_EQ(low.bar.Render().size(), QSize(151, 1));
    Bar two(151, 2);
    two.bar.SetPosition(50);
    EXPECT_EQ(two.bar.Render().size(), QSize(151, 2));

    Bar zero;
    zero.bar.SetMaxValue(0);
    const QImage image = zero.bar.Render();
    for (int x = 2; x < 150; ++x)
        EXPECT_TRUE(IsBack(image, x, 6)) << x;
    zero.bar.SetMaxValue(-5);
    EXPECT_EQ(zero.bar.Position(), -5);
    const QImage negative = zero.bar.Render();
    for (int x = 2; x < 150; ++x)
        EXPECT_TRUE(IsBack(negative, x, 6)) << x;

    Bar empty(0, 0);
    EXPECT_TRUE(empty.bar.Render().isNull() || empty.bar.Render().size().isEmpty());
}
