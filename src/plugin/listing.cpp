#include "plugin/listing.h"

#include "common/failure.h"
#include "plugin/find_data.h"
#include "plugin/virtual_path.h"

namespace kestran::plugin {

Listing listPath(const std::string& path, const InstallationTable& installations, GuardedSets& sets,
                 const kestran_db::ShownNames& names, FILETIME now) {
    const std::string trimmed = withoutTrailingSeparator(path);
    if (trimmed == kRootPath) return listRoot(installations, now);
    return listDirectory(trimmed, installations, sets, names);
}

Listing listRoot(const InstallationTable& installations, FILETIME now) {
    Listing listing;
    if (installations.empty()) return listing;
    listing.handle = std::make_unique<FindHandle>();
    for (const auto& entry : installations) listing.handle->append(makeFindData(entry.first, true, 0, now));
    return listing;
}

Listing listDirectory(const std::string& path, const InstallationTable& installations, GuardedSets& sets,
                      const kestran_db::ShownNames& names) {
    Listing listing;
    const std::optional<std::string> name = splitVirtualPath(path);
    if (!name) return listing;

    const auto installation = installations.find(*name);
    if (installation == installations.end()) {
        listing.lastError = ERROR_NO_MORE_FILES;
        return listing;
    }

    std::shared_ptr<const kestran_db::KestranDB> set;
    try {
        set = sets.findOrLoad(*name, installation->second);
    } catch (const Failure&) {
        listing.lastError = ERROR_NO_MORE_FILES;
        return listing;
    }

    const kestran_db::FileNode* node = set->findNode(names.treePath(*set, path));
    if (node == nullptr || node->children().empty()) return listing;

    listing.handle = std::make_unique<FindHandle>();
    for (const kestran_db::FileNode* child : node->children()) {
        std::uint32_t size = 0;
        kestran::FileTime time;
        // A linked node always has an occurrence; one without stays size 0, time 0.
        if (const kestran_db::FileLocation* winner = child->winner()) {
            size = winner->sizeReal;
            if (winner->archive != nullptr) time = winner->archive->lastWriteTime;
        }
        listing.handle->append(makeFindData(names.shownName(*set, *child), child->isDir(), size, toHostTime(time)));
    }
    return listing;
}

}  // namespace kestran::plugin
