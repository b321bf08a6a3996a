// The path shortening of the file label without a toolkit, measured one unit
// per character.
#include "FileLblRules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

int Chars(const std::string& s) {
    return static_cast<int>(s.size());
}

const std::string Example = "C:/Program/Data/Pies/file.001"; // 29 units

std::vector<std::string> Parts(std::initializer_list<const char*> parts) {
    return {parts.begin(), parts.end()};
}

std::string Fit(const std::string& path, int width, TDirection direction = drFromLeft,
                const std::string& sep = "/") {
    TPathParts p{path, sep, {}, false};
    p.Parse();
    return FitPath(path, p.parts, p.hasDrive, sep, direction, width, Chars);
}

} // namespace

TEST(FileLabelSplit, ComponentsAreSeparatorCountPlusOne) {
    const auto split = [](const std::string& text, const std::string& sep) {
        std::vector<std::string> parts;
        SplitPath(text, sep, parts);
        return parts;
    };
    EXPECT_EQ(split("", "/"), Parts({""}));
    EXPECT_EQ(split("name", "/"), Parts({"name"}));
    EXPECT_EQ(split("a/", "/"), Parts({"a", ""}));
    EXPECT_EQ(split("//srv/x", "/"), Parts({"", "", "srv", "x"}));
    EXPECT_EQ(split("a::b::::c", "::"), Parts({"a", "b", "", "c"}));
    // The list is appended to, not replaced.
    std::vector<std::string> parts{"kept"};
    SplitPath("x/y", "/", parts);
    EXPECT_EQ(parts, Parts({"kept", "x", "y"}));
}

TEST(FileLabelSplit, EmptySeparatorGivesOneComponent) {
    std::vector<std::string> parts;
    SplitPath("C:/a/b", "", parts);
    EXPECT_EQ(parts, Parts({"C:/a/b"}));
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
    const std::string path = "C:/a/verylong/b/f.txt"; // base 12
    EXPECT_EQ(Fit(path, 16, drFromLeft), "C:/.../b/f.txt");
    EXPECT_EQ(Fit(path, 16, drFromRight), "C:/a/.../f.txt");
}

TEST(FileLabelFit, PathWithoutDriveStartsMiddleAtFirstComponent) {
    const std::string path = "//server/share/dir/file.txt"; // 27, components "", "", ...
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
