#include "vUtils.h"

#include "Platform.h"

bool IsNameDelimiter(char c) {
    // Only a platform whose separator is the backslash has drive letters.
    return c == plat::PathSep || (plat::PathSep == '\\' && c == ':');
}

namespace {

// Index just past the last delimiter, 0 when there is none.
std::size_t NameStart(const std::string& path) {
    for (std::size_t i = path.size(); i > 0; --i)
        if (IsNameDelimiter(path[i - 1])) return i;
    return 0;
}

} // namespace

std::string FolderPart(const std::string& path) {
    return path.substr(0, NameStart(path));
}

std::string FileNamePart(const std::string& path) {
    return path.substr(NameStart(path));
}

std::string WithCabExtension(const std::string& path) {
    if (FileNamePart(path).find('.') != std::string::npos) return path;
    return path + ".cab";
}

std::string FileStem(const std::string& path) {
    std::string name = FileNamePart(path);
    std::size_t dot = name.rfind('.');
    if (dot == std::string::npos) return name;
    const std::string ext = name.substr(dot);
    name.erase(name.find(ext), ext.size());
    return name;
}

std::int64_t DriveFreeSpace(const std::string& folder) {
    return plat::VolumeFree(folder.empty() ? std::string(".") : folder);
}

int PriorityOfLevel(std::int32_t level) {
    if (level < 0 || level > 6) return 0;
    return 3 - static_cast<int>(level);
}

std::string WithFullStop(const std::string& text) {
    if (!text.empty() && text.back() == '.') return text;
    return text + ".";
}
