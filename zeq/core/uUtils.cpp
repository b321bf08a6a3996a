#include "uUtils.h"

#include "Platform.h"

namespace {
std::string LastComponent(const std::string& path) {
    std::string::size_type sep = path.find_last_of(plat::PathSep);
    return sep == std::string::npos ? path : path.substr(sep + 1);
}
} // namespace

std::string ExtWithoutDot(const std::string& path) {
    std::string name = LastComponent(path);
    std::string::size_type dot = name.find_last_of('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

std::string NameWithoutExt(const std::string& path) {
    std::string name = LastComponent(path);
    std::string::size_type dot = name.find_last_of('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::int64_t TargetFree(const std::string& path) {
    return plat::VolumeFree(path);
}
std::int64_t TargetTotal(const std::string& path) {
    return plat::VolumeTotal(path);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == plat::PathSep) return folder + name;
    return folder + plat::PathSep + name;
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    bytes.clear();
    plat::File f;
    if (!f.Open(path, plat::OpenMode::Read)) return false;
    char buf[65536];
    for (;;) {
        std::int64_t r = plat::ReadFile(f.Handle(), buf, sizeof buf);
        if (r < 0) return false;
        if (r == 0) break;
        bytes.append(buf, static_cast<std::size_t>(r));
    }
    return f.Close();
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string::size_type start = 0, i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(text.substr(start, i - start));
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            start = ++i;
        } else {
            ++i;
        }
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

namespace {
// Erases the entries of dir, whose path is path. Subfolders are entered through
// the open parent and never through a link, so an entry swapped for a link
// while the walk runs leads nowhere outside the folder.
void EraseEntries(const plat::Folder& dir, const std::string& path, std::int64_t eraseOption,
                  const std::function<void(const std::string&)>& onEntry) {
    std::vector<plat::DirEntry> entries;
    if (!dir.List(entries)) return;
    for (const plat::DirEntry& e : entries) {
        std::string full = JoinPath(path, e.name);
        if (e.isFolder) {
            if (eraseOption > 0) {
                plat::Folder sub;
                if (sub.OpenChild(dir, e.name)) {
                    EraseEntries(sub, full, eraseOption, onEntry);
                    sub.Close();
                    dir.RemoveFolder(e.name);
                }
            }
            continue;
        }
        if (onEntry) onEntry(full);
        dir.DeleteFile(e.name);
    }
}
} // namespace

void EraseFolder(const std::string& folder, std::int64_t eraseOption,
                 const std::function<void(const std::string&)>& onEntry) {
    if (folder.empty()) return; // never the working folder by accident
    plat::Folder dir;
    if (dir.Open(folder)) EraseEntries(dir, folder, eraseOption, onEntry);
}
