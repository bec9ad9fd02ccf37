#include "archive_names.h"

#include <algorithm>

#include "common/ascii.h"

namespace kestran::cli {

namespace {

bool isSeparator(char c) { return c == '/' || c == '\\'; }

// Separators made one kind ("/"), runs collapsed, and ASCII lower-cased.
std::string comparable(const std::string& path) {
    std::string out;
    for (const char c : path) {
        if (isSeparator(c)) {
            if (!out.empty() && out.back() == '/') continue;
            out += '/';
        } else {
            out += asciiLower(c);
        }
    }
    return out;
}

}  // namespace

const std::string& archiveOnDisk(const kestran_db::ArchiveFile& archive) { return archive.openPath; }

std::string archiveBelowRoot(const LoadedInstallation& installation, const kestran_db::ArchiveFile& archive) {
    const std::string& path = archive.openPath;
    std::string root = installation.rootOnDisk;
    while (!root.empty() && isSeparator(root.back())) root.pop_back();
    if (root.empty() || path.size() <= root.size() + 1 || path.compare(0, root.size(), root) != 0 ||
        !isSeparator(path[root.size()]))
        return path;
    std::size_t start = root.size();
    while (start < path.size() && isSeparator(path[start])) ++start;
    return path.substr(start);
}

std::vector<const kestran_db::ArchiveFile*> archivesNamed(const LoadedInstallation& installation,
                                                          const std::string& name) {
    const std::string wanted = comparable(name);
    std::vector<const kestran_db::ArchiveFile*> found;
    if (wanted.empty()) return found;
    for (const kestran_db::ArchiveFile& archive : installation.db->archives()) {
        const std::string path = comparable(archive.openPath);
        const bool whole = path == wanted;
        const bool tail = path.size() > wanted.size() && wanted.front() != '/' &&
                          path.compare(path.size() - wanted.size(), wanted.size(), wanted) == 0 &&
                          path[path.size() - wanted.size() - 1] == '/';
        if (whole || tail) found.push_back(&archive);
    }
    return found;
}

}  // namespace kestran::cli
