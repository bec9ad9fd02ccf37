// kestran-db mount MOUNTPOINT: the merged tree as a read-only file system (FUSE).
#include <boost/program_options.hpp>
#include <iostream>
#include <string>
#include <vector>

#include "command.h"
#include "fuse_mount.h"
#include "installation_options.h"
#include "mount_options.h"
#include "terminal_text.h"

namespace kestran::cli {

namespace {

namespace po = boost::program_options;

constexpr const char* kUsage =
    "usage: kestran-db mount [-f] [-o OPTIONS] MOUNTPOINT (--root DIR [--build B | --version-code N] | "
    "--config FILE --installation NAME)";

void printHelp(const po::options_description& options) {
    std::cout << kUsage << "\n\n"
              << "Loads the installation once and serves its merged tree read-only at MOUNTPOINT (an\n"
              << "empty directory) until it is unmounted with 'fusermount3 -u MOUNTPOINT' (or the\n"
              << "process gets SIGINT or SIGTERM). Without -f the command returns as soon as the\n"
              << "mount is ready and serves it in the background.\n\n"
              << "Directories show as mode 0555 and files as 0444, owned by the user who mounted;\n"
              << "sizes, and all three times, are those of the winning copy (its archive's last-write\n"
              << "time). Every entry has the extended attributes user.kestran.archive (the file of the\n"
              << "archive whose copy wins) and user.kestran.archives (every archive that holds it, one\n"
              << "a line, from the highest priority down): 'getfattr -d FILE' shows them.\n\n"
              << "Names: a name that is not UTF-8 is shown converted from a Windows code page (by\n"
              << "default CP1251, the game's own; with --config, the file's main.name_encoding;\n"
              << "--name-encoding or -o name_encoding overrides both). A \"/\" inside an archive's\n"
              << "name is shown as U+FF0F FULLWIDTH SOLIDUS (\xEF\xBC\x8F). Names a directory cannot\n"
              << "hold (empty, \".\", \"..\", a NUL byte, longer than 255 bytes) are left out, and\n"
              << "named on standard error.\n\n"
              << "-o takes a comma-separated list; these are kestran-db's own:\n"
              << "  versions           a file that several archives hold also has NAME.versions/,\n"
              << "                     not listed but there to open, with 1, 2, ... N: every copy,\n"
              << "                     from the lowest priority up (N is the one that wins), each\n"
              << "                     with its own archive's time\n"
              << "  cache_size=MIB     memory for unpacked compressed members (default " << kDefaultCacheMiB << ");\n"
              << "                     the least recently used go first\n"
              << "  name_encoding=CP   CP874, CP1250 to CP1258, or none (names as their bytes)\n"
              << "Everything else goes to FUSE (allow_other, allow_root, auto_unmount, ...; see\n"
              << "mount.fuse3(8)); ro is implied and rw refused.\n\n"
              << "A member that cannot be read (damaged, or its archive changed or gone since the\n"
              << "mount began) fails its reads with EIO; the rest is served on.\n\n"
              << options;
    if (!mountAvailable()) std::cout << "\nThis kestran-db was built without FUSE: it cannot mount.\n";
}

}  // namespace

int runMount(const Arguments& args) {
    po::options_description options("options");
    options.add_options()("help,h", "show this help")("foreground,f", "stay in the foreground")(
        "options,o", po::value<std::vector<std::string>>()->composing()->value_name("OPTIONS"),
        "mount options, comma-separated (see above)");
    addInstallationOptions(options);
    const po::variables_map vm = parseCommandLine(args, options, "mountpoint", po::value<std::string>(), 1);
    if (vm.count("help")) {
        printHelp(options);
        return kExitOk;
    }
    if (!vm.count("mountpoint")) throw UsageError("no MOUNTPOINT given");
    MountOptions mount = parseMountOptions(
        vm.count("options") ? vm["options"].as<std::vector<std::string>>() : std::vector<std::string>(),
        vm.count("foreground") != 0);
    const InstallationChoice choice = chooseInstallation(vm);
    // -o name_encoding, else what the installation options chose (--name-encoding, the
    // --config file's main.name_encoding, CP1251).
    if (!mount.nameCodec) mount.nameCodec = nameCodec();
    return serveMount(choice, mount, vm["mountpoint"].as<std::string>());
}

}  // namespace kestran::cli
