#include "plugin/copy_out.h"

#include <optional>

#include "common/failure.h"
#include "installation/kestran_db.h"
#include "platform/platform.h"
#include "plugin/host_types.h"
#include "plugin/virtual_path.h"

namespace kestran::plugin {

namespace {

// The fetch failures that mean "not there" rather than "there but unreadable".
bool meansNotFound(const Failure& failure) {
    return failure.kind() == FailureKind::NotFound || failure.kind() == FailureKind::CannotOpen;
}

}  // namespace

int copyOut(const std::string& virtualPath, const std::string& localPath, int copyFlags, const GuardedSets& sets,
            const kestran_db::ShownNames& names, const ProgressReport& progress) {
    if ((copyFlags & (FS_COPYFLAGS_RESUME | FS_COPYFLAGS_MOVE)) != 0) return FS_FILE_NOTSUPPORTED;
    if (progress && progress(0)) return FS_FILE_USERABORT;
    const bool overwrite = (copyFlags & FS_COPYFLAGS_OVERWRITE) != 0;

    const std::optional<std::string> name = splitVirtualPath(virtualPath);
    if (!name) return FS_FILE_NOTFOUND;
    const std::shared_ptr<const kestran_db::KestranDB> set = sets.find(*name);
    if (!set) return FS_FILE_NOTFOUND;

    std::optional<kestran_db::ExtractedFile> file;
    try {
        file.emplace(set->extract(names.treePath(*set, virtualPath)));
    } catch (const Failure& failure) {
        return meansNotFound(failure) ? FS_FILE_NOTFOUND : FS_FILE_READERROR;
    }

    switch (platform::writeLocalFile(localPath, file->data(), file->sizeReal(), overwrite, file->time())) {
        case platform::WriteResult::Written:
            break;
        case platform::WriteResult::AlreadyExists:
            return FS_FILE_EXISTS;
        case platform::WriteResult::Failed:
            return FS_FILE_WRITEERROR;
    }
    file.reset();

    if (progress && progress(100)) return FS_FILE_USERABORT;
    return FS_FILE_OK;
}

}  // namespace kestran::plugin
