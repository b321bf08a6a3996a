#include "FileLbl.h"

#include <gtest/gtest.h>

namespace {

// One unit per character, as in a font where every character is equally wide.
int Chars(const QString& s) {
    return static_cast<int>(s.size());
}

const QString Example = QStringLiteral("C:/Program/Data/Pies/file.001"); // 29 units

// A label measuring one unit per character, shown so that resizes reach it.
struct Label {
    TFileLabel label;
    explicit Label(int width, const QString& sep = QStringLiteral("/")) {
        label.SetMeasure(Chars);
        label.SetSeparator(sep);
        label.resize(width, 17);
        label.show();
    }
};

} // namespace

TEST(FileLabel, EmptySeparatorShowsTheWholePath) {
    Label l(3, "");
    l.label.SetFileName("C:/a/b");
    EXPECT_EQ(l.label.Parts().size(), 1);
    EXPECT_EQ(l.label.text(), "C:/a/b"); // the last component alone, cut by the edge
}

TEST(FileLabelSplit, DrivePrefixNeedsTwoCharactersEndingInColon) {
    Label l(100);
    const auto drive = [&](const QString& path) {
        l.label.SetFileName(path);
        return l.label.HasDrive();
    };
    EXPECT_TRUE(drive("C:/x"));
    EXPECT_TRUE(drive("host:/x"));
    EXPECT_FALSE(drive(":/x"));
    EXPECT_FALSE(drive("C/x"));
    EXPECT_FALSE(drive("/C:/x"));
    EXPECT_FALSE(drive(""));
}

TEST(FileLabel, FollowsFileNameWidthAndDirection) {
    Label l(20);
    l.label.SetFileName(Example);
    EXPECT_EQ(l.label.text(), "C:/.../Pies/file.001");
    l.label.SetDirection(drFromRight);
    EXPECT_EQ(l.label.text(), "C:/.../file.001");
    l.label.resize(29, 17);
    EXPECT_EQ(l.label.text(), Example);
    l.label.resize(12, 17);
    EXPECT_EQ(l.label.text(), "file.001");
    l.label.SetFileName("");
    EXPECT_EQ(l.label.text(), "");
}

TEST(FileLabel, SeparatorChangeSplitsAgain) {
    Label l(20);
    l.label.SetFileName("C:\\Program\\Data\\Pies\\file.001");
    EXPECT_EQ(l.label.Parts().size(), 1);
    l.label.SetSeparator("\\");
    EXPECT_EQ(l.label.Parts().size(), 5);
    EXPECT_TRUE(l.label.HasDrive());
    EXPECT_EQ(l.label.text(), "C:\\...\\Pies\\file.001");
}

TEST(FileLabel, DefaultSeparatorIsThePlatformOne) {
    TFileLabel label;
    EXPECT_EQ(label.Separator(), "/");
    EXPECT_FALSE(label.AutoSize());
    EXPECT_EQ(label.Direction(), drFromLeft);
    EXPECT_TRUE(label.FileName().isEmpty());
}

TEST(FileLabel, UnchangedValuesMeasureNothing) {
    Label l(20);
    l.label.SetFileName(Example);
    int calls = 0;
    l.label.SetMeasure([&calls](const QString& s) {
        ++calls;
        return Chars(s);
    });
    calls = 0;
    l.label.SetFileName(Example);
    l.label.SetSeparator("/");
    l.label.SetDirection(drFromLeft);
    EXPECT_EQ(calls, 0);
    // Comparison is case-sensitive: another case is another name.
    l.label.SetFileName("c:/Program/Data/Pies/file.001");
    EXPECT_GT(calls, 0);
}

TEST(FileLabel, FontChangeFitsAgain) {
    Label l(29);
    // Text twice as wide per point of font size above 10.
    l.label.SetMeasure(
        [&l](const QString& s) { return Chars(s) * (l.label.font().pointSize() > 10 ? 2 : 1); });
    QFont f = l.label.font();
    f.setPointSize(10);
    l.label.setFont(f);
    l.label.SetFileName(Example);
    EXPECT_EQ(l.label.text(), Example);
    f.setPointSize(20);
    l.label.setFont(f);
    EXPECT_EQ(l.label.text(), ".../file.001");
}

TEST(FileLabel, RealFontMeasuring) {
    TFileLabel label;
    label.SetSeparator("/");
    const QFontMetrics metrics(label.font());
    label.resize(metrics.horizontalAdvance(Example), 17);
    label.show();
    label.SetFileName(Example);
    EXPECT_EQ(label.text(), Example);
    label.resize(label.width() - 1, 17);
    EXPECT_TRUE(label.text().startsWith("C:/...")) << label.text().toStdString();
    EXPECT_TRUE(label.text().endsWith("/file.001"));
}

TEST(FileLabelAutoSize, TakesTheWidthOfAPathThatFits) {
    Label l(100);
    l.label.SetFileName(Example);
    l.label.SetAutoSize(true);
    EXPECT_EQ(l.label.text(), Example);
    EXPECT_EQ(l.label.width(), 29);
}

TEST(FileLabelAutoSize, KeepsAShortenedFormWithMiddleComponents) {
    Label l(20);
    l.label.SetFileName(Example);
    l.label.SetAutoSize(true);
    EXPECT_EQ(l.label.text(), "C:/.../Pies/file.001");
    EXPECT_EQ(l.label.width(), 20);
}

TEST(FileLabelAutoSize, NarrowLabelEndsWithLastComponentUntilAPathFits) {
    Label l(5);
    l.label.SetAutoSize(true);
    l.label.SetFileName(Example);
    EXPECT_EQ(l.label.text(), "file.001");
    EXPECT_EQ(l.label.width(), 8);
    l.label.SetFileName("C:/b.txt"); // 8 units: fits whole
    EXPECT_EQ(l.label.text(), "C:/b.txt");
    EXPECT_EQ(l.label.width(), 8);
    l.label.SetFileName("a/b.txt");
    EXPECT_EQ(l.label.width(), 7);
}

TEST(FileLabelAutoSize, FormWithoutMiddleComponentsShrinksToLastComponent) {
    // 16 units show C:/.../file.001 (15); at 15 the base no longer fits
    // (.../file.001, 12); at 12 the last component stands alone.
    Label l(16);
    l.label.SetFileName(Example);
    EXPECT_EQ(l.label.text(), "C:/.../file.001");
    l.label.SetAutoSize(true);
    EXPECT_EQ(l.label.text(), "file.001");
    EXPECT_EQ(l.label.width(), 8);
}
