// kestran-db ls [-R] [VPATH]: one directory of the merged tree, as the plug-in lists it.
#include <boost/program_options.hpp>
#include <iostream>

#include "command.h"
#include "common/failure.h"
#include "installation_options.h"
#include "terminal_text.h"

namespace kestran::cli {

namespace {

namespace po = boost::program_options;

constexpr const char* kUsage =
    "usage: kestran-db ls [-R] [VPATH] (--root DIR [--build B | --version-code N] | "
    "--config FILE --installation NAME)";

void printEntry(std::ostream& out, const kestran_db::FileNode& node, const std::string& shownName) {
    out << (node.isDir() ? 'd' : '-') << '\t' << entrySize(node) << '\t' << isoTime(entryTime(node)) << '\t'
        << printable(shownName) << '\n';
}

// Depth-first: each directory is followed by its own entries.
void listRecursively(std::ostream& out, const kestran_db::FileNode& directory, const std::string& relative) {
    for (const kestran_db::FileNode* child : directory.children()) {
        const std::string path =
            relative.empty() ? std::string(child->name()) : relative + "/" + std::string(child->name());
        printEntry(out, *child, path);
        if (child->isDir()) listRecursively(out, *child, path);
    }
}

void listDirectory(std::ostream& out, const LoadedInstallation& installation, const std::string& virtualPath,
                   bool recursive) {
    const kestran_db::FileNode& directory = findEntry(installation, virtualPath);
    if (!directory.isDir()) throw Failure(FailureKind::Invalid, "not a directory", virtualPath);
    if (recursive) {
        listRecursively(out, directory, "");
        return;
    }
    for (const kestran_db::FileNode* child : directory.children()) printEntry(out, *child, std::string(child->name()));
}

}  // namespace

int runLs(const Arguments& args) {
    po::options_description options = commandOptions();
    options.add_options()("recursive,R", "list every entry below VPATH, depth-first");
    addInstallationOptions(options);
    const po::variables_map vm =
        parseCommandLine(args, options, "vpath", po::value<std::string>()->default_value(""), 1);
    if (answeredHelpOrVersion(vm, kUsage,
                              "Lists one directory of the installation's merged tree (the top when VPATH is\n"
                              "empty or \"/\"), in the tree's order, files and directories mixed. One line per entry,\n"
                              "fields separated by a TAB: d (directory) or - (file); the size of the copy that wins\n"
                              "(0 for a directory); its archive's last-write time, UTC (2024-05-01T12:00:00Z); the\n"
                              "name. With -R the last field is the path below VPATH, with \"/\" between names.\n"
                              "VPATH takes \"/\" or \"\\\"; names in the archives are lower-case.\n"
                              "Control characters in names are shown as C escapes (\\t, \\e, \\x01, ...).\n",
                              options))
        return kExitOk;
    const InstallationChoice choice = chooseInstallation(vm);
    const LoadedInstallation installation = loadChosenInstallation(choice);
    listDirectory(std::cout, installation, vm["vpath"].as<std::string>(), vm.count("recursive") != 0);
    finishStandardOutput();
    return kExitOk;
}

}  // namespace kestran::cli
