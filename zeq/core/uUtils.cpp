#include "uUtils.h"

#include "Platform.h"

#include <limits>

namespace {
std::string LastComponent(const std::string& path) {
    std::string::size_type start = path.size();
    while (start > 0 && !IsPathSeparator(path[start - 1]))
        --start;
    return path.substr(start);
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
                  const std::function<void(const std::string&)>& onEntry,
                  const plat::FileId* keep) {
    std::vector<plat::DirEntry> entries;
    if (!dir.List(entries)) return;
    for (const plat::DirEntry& e : entries) {
        std::string full = JoinPath(path, e.name);
        if (e.isFolder) {
            if (eraseOption > 0) {
                plat::Folder sub;
                if (sub.OpenChild(dir, e.name)) {
                    EraseEntries(sub, full, eraseOption, onEntry, keep);
                    sub.Close();
                    dir.RemoveFolder(e.name);
                }
            }
            continue;
        }
        // A link goes without harm to what it leads to; a file that is the
        // source under another name stays.
        plat::FileId id;
        if (keep && !e.isLink && plat::GetFileId(full, id) && id == *keep) continue;
        if (onEntry) onEntry(full);
        dir.DeleteFile(e.name);
    }
}
} // namespace

void EraseFolder(const std::string& folder, std::int64_t eraseOption,
                 const std::function<void(const std::string&)>& onEntry, const plat::FileId* keep) {
    if (folder.empty()) return; // never the working folder by accident
    plat::Folder dir;
    if (dir.Open(folder)) EraseEntries(dir, folder, eraseOption, onEntry, keep);
}

std::string NotRegularReason(const std::string& path) {
    if (plat::FolderExists(path)) return "It is a folder, not a file.";
    if (plat::FileExists(path) && !plat::IsRegularFile(path))
        return "It is not a regular file, but a device, a pipe or a socket.";
    return {};
}

std::string Lines(std::initializer_list<std::string> parts) {
    std::string s;
    for (const std::string& p : parts) {
        if (!s.empty()) s += '\r';
        s += p;
    }
    return s;
}

std::int64_t SatAdd(std::int64_t a, std::int64_t b) {
    std::int64_t r;
    if (!__builtin_add_overflow(a, b, &r)) return r;
    return b > 0 ? std::numeric_limits<std::int64_t>::max()
                 : std::numeric_limits<std::int64_t>::min();
}

std::int64_t SatSub(std::int64_t a, std::int64_t b) {
    std::int64_t r;
    if (!__builtin_sub_overflow(a, b, &r)) return r;
    return b < 0 ? std::numeric_limits<std::int64_t>::max()
                 : std::numeric_limits<std::int64_t>::min();
}
