#include "FileLblRules.h"

#include <algorithm>

void SplitPath(const std::string& text, const std::string& separator,
               std::vector<std::string>& parts) {
    if (separator.empty()) {
        parts.push_back(text);
        return;
    }
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = text.find(separator, from);
        if (at == std::string::npos) {
            parts.push_back(text.substr(from));
            return;
        }
        parts.push_back(text.substr(from, at - from));
        from = at + separator.size();
    }
}

bool IsDrivePrefix(const std::string& component) {
    return component.size() >= 2 && component.back() == ':';
}

void TPathParts::Parse() {
    parts.clear();
    SplitPath(fileName, separator, parts);
    hasDrive = !parts.empty() && IsDrivePrefix(parts.front());
}

std::string FitPath(const std::string& fileName, const std::vector<std::string>& parts,
                    bool hasDrive, const std::string& separator, TDirection direction, int width,
                    const TTextMeasure& measure) {
    // The whole path is shown when it fits, its width equal to the label's included.
    if (fileName.empty() || parts.empty() || measure(fileName) <= width) return fileName;

    // Shortened forms need strictly less than the width.
    const std::string ellipsis = "..." + separator;
    const std::string& last = parts.back();
    const int lastAndEllipsis = measure(last) + measure(ellipsis);
    if (lastAndEllipsis >= width) return last;

    const std::string drive = hasDrive ? parts.front() + separator : std::string();
    const int base = lastAndEllipsis + measure(drive);
    if (base >= width) return ellipsis + last;

    // Middle components lie between the drive prefix and the last component.
    // The walk stops at the first one that does not fit; kept components may
    // bring the total to exactly the width.
    const std::ptrdiff_t first = hasDrive ? 1 : 0;
    const std::ptrdiff_t beforeLast = std::ptrdiff_t(parts.size()) - 2;
    std::string kept;
    if (direction == drFromLeft) {
        for (std::ptrdiff_t i = beforeLast; i >= first; --i) {
            const std::string candidate = parts[i] + separator + kept;
            if (base + measure(candidate) > width) break;
            kept = candidate;
        }
        return drive + ellipsis + kept + last;
    }
    for (std::ptrdiff_t i = first; i <= beforeLast; ++i) {
        const std::string candidate = kept + parts[i] + separator;
        if (base + measure(candidate) > width) break;
        kept = candidate;
    }
    return drive + kept + ellipsis + last;
}

std::string FitLabel(const TPathParts& path, TDirection direction, int width, bool autoSize,
                     const TTextMeasure& measure, const std::function<int(int)>& resize) {
    std::vector<std::string> shownBefore;
    for (;;) {
        std::string shown = FitPath(path.fileName, path.parts, path.hasDrive, path.separator,
                                    direction, width, measure);
        if (!autoSize) return shown;
        const int textWidth = measure(shown);
        if (textWidth == width) return shown;
        width = resize(textWidth);
        if (std::find(shownBefore.begin(), shownBefore.end(), shown) != shownBefore.end())
            return shown;
        shownBefore.push_back(std::move(shown));
    }
}
