#pragma once
// What the commands on an installation share: choosing and loading it, and finding
// an entry of its merged tree by a virtual path.
//
//   --root DIR                      a root directory; its layout is seen from the files:
//                                   fsgame.ltx there names the archive directories (plain
//                                   headers, VersionCode 3), else the archives lie in the
//                                   root (scrambled headers, VersionCode 0: both keys tried)
//   --root DIR --build B            a root directory and a build string ("3312", "3967", ...)
//   --root DIR --version-code N     a root directory and a VersionCode 0..3
//   --config FILE --installation NAME   an installation line of a kestran.ini
//   -v, --verbose                   say on standard error what was chosen and found
#include <boost/program_options/options_description.hpp>
#include <boost/program_options/variables_map.hpp>
#include <cstdint>
#include <memory>
#include <string>

#include "common/file_time.h"
#include "installation/kestran_db.h"

namespace kestran::cli {

// The name an installation chosen by --root is loaded under; it shows nowhere.
constexpr const char* kRootInstallationName = "root";

struct InstallationChoice {
    std::string name;      // the installation's name: its tree paths start with "\" + name
    std::string rootPath;  // as given on the command line or in the settings file
    std::int32_t versionCode = 0;
    std::string reason;   // how the layout was chosen, for --verbose
    bool picked = false;  // the layout was seen from the files, not given
    bool verbose = false;
};

// The usage of the installation options, for the commands' usage lines.
constexpr const char* kInstallationUsage =
    "(--root DIR [--build B | --version-code N] | --config FILE --installation NAME)";

// Adds --root, --build, --version-code, --config, --installation, --verbose and
// --name-encoding.
void addInstallationOptions(boost::program_options::options_description& options);
// Adds --name-encoding alone, for commands on an archive file; chooseNameEncoding
// takes it (chooseInstallation does so itself). Throws UsageError for an unknown name.
void addNameEncodingOption(boost::program_options::options_description& options);
void chooseNameEncoding(const boost::program_options::variables_map& vm);

// The VersionCode of the layout an installation root shows: 3 when it holds
// fsgame.ltx (found as the loader finds it), else 0.
std::int32_t layoutOfRoot(const std::string& rootPath);

// The installation the options name. Throws UsageError for a missing, incomplete or
// mixed choice, an unknown build string or a VersionCode outside 0..3, and
// kestran::Failure for a settings file that can't be read or rejected by the parser, or
// that defines no installation of that name. The registry is not searched.
InstallationChoice chooseInstallation(const boost::program_options::variables_map& vm);

// A loaded installation and the tree path of its top directory ("\root").
struct LoadedInstallation {
    std::shared_ptr<kestran_db::KestranDB> db;
    std::string top;
    std::string rootOnDisk;  // the root path as this system names it (resolved on POSIX)
    std::int32_t versionCode = 0;
};

// Loads the chosen installation, saying with --verbose what was chosen and found.
// Throws kestran::Failure about the root when it is no directory, and about the archive
// (its subject) when one cannot be read.
LoadedInstallation loadChosenInstallation(const InstallationChoice& choice);

// The tree path of a virtual path relative to the installation's top directory: "/"
// and "\" both separate, leading and trailing separators are dropped, so "", "/" and
// "\" name the top itself. Nothing else is changed: tree paths are lower-case, and
// "Textures" does not find "textures".
std::string treePath(const std::string& top, const std::string& virtualPath);

// The node of a virtual path. Throws kestran::Failure "no such entry" about the path
// (with a hint when the lower-cased path exists). The top of an installation without archives is an
// empty directory.
const kestran_db::FileNode& findEntry(const LoadedInstallation& installation, const std::string& virtualPath);

// What listings show for an entry: the sizeReal of its highest-priority occurrence (0
// for a directory) and the last-write time of that occurrence's archive. An entry
// without any occurrence has size 0 and time 0.
std::uint32_t entrySize(const kestran_db::FileNode& node);
kestran::FileTime entryTime(const kestran_db::FileNode& node);

// ISO 8601 UTC to the second: "2024-05-01T12:00:00Z".
std::string isoTime(kestran::FileTime time);

}  // namespace kestran::cli
