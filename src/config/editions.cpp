#include "config/editions.h"

namespace kestran {

bool isEditionTop(const std::string& virtualPath) {
    for (const Edition& edition : kEditions) {
        if (virtualPath.size() == 1 + std::char_traits<char>::length(edition.name) && virtualPath[0] == '\\' &&
            virtualPath.compare(1, std::string::npos, edition.name) == 0)
            return true;
    }
    return false;
}

std::optional<std::int32_t> versionCodeForBuild(const std::string& build) {
    for (const Build& entry : kBuilds) {
        if (build == entry.build) return entry.versionCode;
    }
    return std::nullopt;
}

std::string buildList() {
    std::string list;
    for (const Build& entry : kBuilds) list += (list.empty() ? "" : ", ") + std::string(entry.build);
    return list;
}

}  // namespace kestran
