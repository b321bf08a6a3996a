#include "FileLbl.h"

#include <gtest/gtest.h>

namespace {

// One unit per character, as in a font where every character is equally wide.
int Chars(const QString& s) {
    return static_cast<int>(s.size());
}

const QString Example = QStringLiteral("C:/Program/Data/Pies/file.001"); // 29 units

QString Fit(const QString& path, int width, TDirection direction = drFromLeft,
            const QString& sep = QStringLiteral("/")) {
    QStringList parts;
    TFileLabel::SplitPath(path, sep, parts);
    const QString first = parts.first();
    const bool drive = first.size() >= 2 && first.endsWith(QLatin1Char(':'));
    return TFileLabel::FitPath(path, parts, drive, sep, direction, width, Chars);
}

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

TEST(FileLabelSplit, ComponentsAreSeparatorCountPlusOne) {
    const auto split = [](const QString& text, const QString& sep) {
        QStringList parts;
        TFileLabel::SplitPath(text, sep, parts);
        return parts;
    };
    EXPECT_EQ(split("", "/"), QStringList({""}));
    EXPECT_EQ(split("name", "/"), QStringList({"name"}));
    EXPECT_EQ(split("a/", "/"), QStringList({"a", ""}));
    EXPECT_EQ(split("//srv/x", "/"), QStringList({"", "", "srv", "x"}));
    EXPECT_EQ(split("a::b::::c", "::"), QStringList({"a", "b", "", "c"}));
    // The list is appended to, not replaced.
    QStringList parts{"kept"};
    TFileLabel::SplitPath("x/y", "/", parts);
    EXPECT_EQ(parts, QStringList({"kept", "x", "y"}));
}

TEST(FileLabelSplit, EmptySeparatorGivesOneComponent) {
    QStringList parts;
    TFileLabel::SplitPath("C:/a/b", "", parts);
    EXPECT_EQ(parts, QStringList({"C:/a/b"}));

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

TEST(FileLabelFit, WorkedExample) {
    EXPECT_EQ(Fit(Example, 20, drFromLeft), "C:/.../Pies/file.001");
    EXPECT_EQ(Fit(Example, 20, drFromRight), "C:/.../file.001");
}

TEST(FileLabelFit, BoundsDifferBetweenWholeAndShortenedForms) {
    EXPECT_EQ(Fit(Example, 29), Example); // equal width: whole
    EXPECT_EQ(Fit(Example, 28), "C:/.../Data/Pies/file.001");
    // Last component (8) plus ellipsis (4) must stay strictly below the width.
    EXPECT_EQ(Fit(Example, 12), "file.001");
    EXPECT_EQ(Fit(Example, 13), ".../file.001");
    // With the drive (3) the base is 15, which also needs strictly less.
    EXPECT_EQ(Fit(Example, 15), ".../file.001");
    EXPECT_EQ(Fit(Example, 16), "C:/.../file.001");
    EXPECT_EQ(Fit(Example, 0), "file.001");
}

TEST(FileLabelFit, WalkStopsAtFirstComponentThatDoesNotFit) {
    const QString path = "C:/a/verylong/b/f.txt"; // base 12
    EXPECT_EQ(Fit(path, 16, drFromLeft), "C:/.../b/f.txt");
    EXPECT_EQ(Fit(path, 16, drFromRight), "C:/a/.../f.txt");
}

TEST(FileLabelFit, PathWithoutDriveStartsMiddleAtFirstComponent) {
    const QString path = "//server/share/dir/file.txt"; // 27, components "", "", ...
    EXPECT_EQ(Fit(path, 21, drFromLeft), ".../dir/file.txt");
    EXPECT_EQ(Fit(path, 21, drFromRight), "//server/.../file.txt");
    EXPECT_EQ(Fit(path, 20, drFromRight), "//.../file.txt");
}

TEST(FileLabelFit, TrailingSeparatorShowsNoFileName) {
    EXPECT_EQ(Fit("C:/dir/sub/", 10), "C:/.../");
}

TEST(FileLabelFit, LongerSeparator) {
    EXPECT_EQ(Fit("C: > Program > Data > file.001", 26, drFromLeft, " > "),
              "C: > ... > Data > file.001");
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
