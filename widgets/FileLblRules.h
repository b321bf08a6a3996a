// The rules of TFileLabel free of any toolkit: a path is split into its
// components and, when it is wider than the label, shortened by putting an
// ellipsis in place of whole middle components. The last component is always
// kept, and so is a drive prefix such as "C:". Texts are 8-bit or UTF-8
// strings; their widths come from a measure the backend injects.
#pragma once

#include <functional>
#include <string>
#include <vector>

enum TDirection {
    drFromLeft,  // components next to the drive go first; those near the file name stay
    drFromRight, // components next to the file name go first; those near the drive stay
};

// Width of a text in the label's units (pixels in a window).
using TTextMeasure = std::function<int(const std::string&)>;

// Appends the components of text, divided by separator, to parts: n
// separators give n + 1 components, empty ones included. An empty separator
// divides nothing: the whole text is one component.
void SplitPath(const std::string& text, const std::string& separator,
               std::vector<std::string>& parts);

// True when the first component is a drive prefix: two characters or more
// ending in a colon.
bool IsDrivePrefix(const std::string& component);

// The text shown for a path of the given components in a label width units
// wide.
std::string FitPath(const std::string& fileName, const std::vector<std::string>& parts,
                    bool hasDrive, const std::string& separator, TDirection direction, int width,
                    const TTextMeasure& measure);

// A path as a label holds it: the name, its components and whether it
// starts with a drive.
struct TPathParts {
    std::string fileName;
    std::string separator;
    std::vector<std::string> parts;
    bool hasDrive = false;

    // Rebuilds parts and hasDrive from fileName and separator.
    void Parse();
};

// The text shown in a label width units wide. With autoSize on, the label
// then takes the width of that text through resize (which returns the width
// the label really took) and the text is fitted again until it settles; the
// texts already shown stop a cycle between two forms.
std::string FitLabel(const TPathParts& path, TDirection direction, int width, bool autoSize,
                     const TTextMeasure& measure, const std::function<int(int)>& resize);
