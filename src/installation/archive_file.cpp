#include "installation/archive_file.h"

#include "common/failure.h"

namespace kestran_db {

kestran::platform::ReadOnlyFile openLoadedArchive(const ArchiveFile& archive) {
    kestran::platform::ReadOnlyFile file(kestran::platform::resolvePath(archive.openPath));
    if (archive.identity && file.identity() != *archive.identity)
        throw kestran::Failure(kestran::FailureKind::Unreadable, archive.openPath + " changed since it was loaded");
    return file;
}

}  // namespace kestran_db
