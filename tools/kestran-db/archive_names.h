#pragma once
// How the tool names an installation's archives to people: as they are on disk (the
// real, case-correct path on Linux, in the system's separators), or below the
// installation's root; and which archives a name given on the command line means.
#include <string>
#include <vector>

#include "installation/archive_file.h"
#include "installation_options.h"

namespace kestran::cli {

// The archive's path as it is on disk.
const std::string& archiveOnDisk(const kestran_db::ArchiveFile& archive);

// The archive's path below the installation's root ("data/base.db0"; on Windows
// "data\base.db0") when it lies there, else its path on disk.
std::string archiveBelowRoot(const LoadedInstallation& installation, const kestran_db::ArchiveFile& archive);

// The archives that name means: its file name, or a trailing part of its path (whole
// components, "/" or "\" between them) or the whole path, compared without regard to
// ASCII case, as archive paths are ordered. Several when the name is not unique (or the
// archive is listed twice); none when nothing matches.
std::vector<const kestran_db::ArchiveFile*> archivesNamed(const LoadedInstallation& installation,
                                                          const std::string& name);

}  // namespace kestran::cli
