// The gradient bar as a Qt widget: what it takes from Qt (font, palette,
// repaints) and the percentage text it draws over the toolkit-free pixels.
#include "GradProgress.h"

#include <QCoreApplication>
#include <QPainter>
#include <QWindow>
#include <gtest/gtest.h>

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
            c.buttonHighlight = {255, 255, 255};
            c.buttonShadow = {128, 128, 128};
            c.highlight = c.menu = c.activeCaption = c.gradientActiveCaption = {0, 255, 0};
            return c;
        });
        bar.SetUseSystemColors(false);
        bar.SetStartColor(QColor(200, 0, 0));
        bar.SetEndColor(QColor(0, 0, 200));
        bar.SetBackColor(Grey);
        bar.resize(width, height);
    }
};

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

TEST(GradProgressPaint, PercentTextAndFill) {
    Bar b;
    b.bar.SetSmooth(true);
    b.bar.SetPosition(50);
    const QImage plain = b.bar.Render();
    b.bar.SetShowPercent(true);
    const QImage withText = b.bar.Render();

    EXPECT_EQ(withText, WithText(plain, QRect(2, 2, 148, 11), b.bar.font(), "50%"));
    EXPECT_NE(withText, plain);
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

TEST(GradProgressPaint, DefaultSystemColoursComeFromThePalette) {
    TGradProgress bar;
    bar.Render();
    EXPECT_EQ(bar.StartColor(), bar.palette().color(QPalette::Active, QPalette::Highlight));
    EXPECT_EQ(bar.EndColor(), bar.palette().color(QPalette::Active, QPalette::Window));
}
