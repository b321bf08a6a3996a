#include "vFileSel.h"

#include "Platform.h"

#include <vector>

bool IsEntrySeparator(char c) {
    if (c == plat::PathSep) return true;
    // Where the separator is the backslash, a drive ends at its colon and the
    // system takes forward slashes as well.
    return plat::PathSep == '\\' && (c == ':' || c == '/');
}

void SplitEntry(const std::string& entry, std::string& folder, std::string& mask) {
    std::size_t cut = entry.size();
    while (cut > 0 && !IsEntrySeparator(entry[cut - 1]))
        --cut;
    folder = entry.substr(0, cut);
    mask = entry.substr(cut);
}

namespace {

// Length of the drive part of a path: "C:" or "\\server\share". Only a
// platform whose separator is the backslash has drives.
std::size_t DriveLength(const std::string& path) {
    if constexpr (plat::PathSep != '\\') {
        return 0;
    } else {
        if (path.size() >= 2 && path[1] == ':') return 2;
        if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
            // Up to, not including, the separator that ends the share name.
            std::size_t server = path.find('\\', 2);
            if (server == std::string::npos) return path.size();
            std::size_t share = path.find('\\', server + 1);
            return share == std::string::npos ? path.size() : share;
        }
        return 0;
    }
}

// Joins the components of a path with "\\" as the file system resolves them:
// empty and "." components are left out, and ".." takes back the component
// before it. A ".." with nothing before it is left out, so that no name
// climbs above the top of the cabinet.
std::string CabinetComponents(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t i = 0;
    while (i <= path.size()) {
        std::size_t j = i;
        while (j < path.size() && !IsEntrySeparator(path[j]))
            ++j;
        std::string part = path.substr(i, j - i);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(std::move(part));
        }
        i = j + 1;
    }
    std::string out;
    for (const std::string& part : parts)
        out += (out.empty() ? "" : "\\") + part;
    return out;
}

// Replaces every platform separator by "\".
std::string WithCabinetSeparators(std::string path) {
    for (char& c : path)
        if (c == plat::PathSep) c = '\\';
    return path;
}

// One step of the walk. visit is called for each selected file with the
// folder and the found name; when it answers false, the file search of that
// folder ends (the walk of the remaining subfolders goes on).
template <class Visit>
void Walk(const std::string& mask, const std::string& folder, bool recurse, Visit& visit) {
    std::vector<plat::DirEntry> entries;
    if (recurse && plat::ListFolder(folder, entries)) {
        for (const plat::DirEntry& e : entries) {
            // isFolder is false for a link, so links are never entered.
            if (e.isFolder && !e.hidden)
                Walk(mask, folder + e.name + plat::PathSep, recurse, visit);
        }
    }
    // A second listing, so that files written meanwhile are seen as the
    // directory search would see them.
    if (!plat::ListFolder(folder, entries)) return;
    for (const plat::DirEntry& e : entries) {
        if (e.isFolder || !plat::MatchMask(e.name, mask)) continue;
        if (!plat::IsRegularFile(folder + e.name)) continue;
        if (!visit(folder, e.name)) return;
    }
}

} // namespace

std::string NameInCabinet(const std::string& sourcePath, const std::string& foundName,
                          const std::string& root, bool storePath, bool partialPath) {
    if (!storePath) return foundName;
    if (partialPath) {
        std::string rest = sourcePath.compare(0, root.size(), root) == 0
                               ? sourcePath.substr(root.size())
                               : sourcePath;
        return WithCabinetSeparators(rest);
    }
    return CabinetComponents(sourcePath.substr(DriveLength(sourcePath)));
}

std::int32_t CountFiles(const std::string& mask, const std::string& folder, bool recurse) {
    std::int32_t total = 0;
    auto count = [&total](const std::string&, const std::string&) {
        ++total;
        return true;
    };
    Walk(mask, folder, recurse, count);
    return total;
}

void AddMatchingFiles(const std::string& mask, const std::string& folder, bool recurse,
                      const std::string& root, const TFileSelTarget& target) {
    auto add = [&](const std::string& dir, const std::string& name) {
        if (target.Aborted && target.Aborted()) return false;
        std::string source = dir + name;
        if (target.AddFile)
            target.AddFile(source,
                           NameInCabinet(source, name, root, target.StorePath, target.PartialPath));
        return true;
    };
    Walk(mask, folder, recurse, add);
}
