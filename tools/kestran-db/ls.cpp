// kestran-db ls [-R] [-l] [--json] [VPATH]: one directory of the merged tree, as the
// plug-in lists it.
#include <boost/json/array.hpp>
#include <boost/json/object.hpp>
#include <boost/program_options.hpp>
#include <iostream>

#include "archive_names.h"
#include "command.h"
#include "common/failure.h"
#include "installation_options.h"
#include "json_output.h"
#include "terminal_text.h"

namespace kestran::cli {

namespace {

namespace po = boost::program_options;

constexpr const char* kUsage =
    "usage: kestran-db ls [-R] [-l] [--json] [VPATH] (--root DIR [--build B | --version-code N] | "
    "--config FILE --installation NAME)";

// What a listing shows of one entry; name is the path below VPATH with -R.
struct Listed {
    const kestran_db::FileNode* node;
    std::string name;
};

// Depth-first: each directory is followed by its own entries.
void collect(const kestran_db::FileNode& directory, const std::string& relative, bool recursive,
             std::vector<Listed>& into) {
    for (const kestran_db::FileNode* child : directory.children()) {
        const std::string name =
            relative.empty() ? std::string(child->name()) : relative + "/" + std::string(child->name());
        into.push_back({child, name});
        if (recursive && child->isDir()) collect(*child, name, recursive, into);
    }
}

// The winning copy's archive, below the root; "-" for an entry without a copy.
std::string winningArchive(const LoadedInstallation& installation, const kestran_db::FileNode& node) {
    const kestran_db::FileLocation* winner = node.winner();
    return winner == nullptr ? std::string("-") : archiveBelowRoot(installation, *winner->archive);
}

void printText(const LoadedInstallation& installation, const std::vector<Listed>& entries, bool longFormat) {
    for (const Listed& entry : entries) {
        const kestran_db::FileNode& node = *entry.node;
        std::cout << (node.isDir() ? 'd' : '-') << '\t' << entrySize(node) << '\t' << isoTime(entryTime(node)) << '\t';
        if (longFormat)
            std::cout << printablePath(winningArchive(installation, node)) << '\t' << node.locations().size() << '\t';
        std::cout << printable(entry.name) << '\n';
    }
}

void printJsonListing(const LoadedInstallation& installation, const std::string& virtualPath,
                      const std::vector<Listed>& entries) {
    boost::json::array listed;
    for (const Listed& entry : entries) {
        const kestran_db::FileNode& node = *entry.node;
        boost::json::object item;
        putText(item, "name", entry.name);
        item["type"] = node.isDir() ? "directory" : "file";
        item["size"] = entrySize(node);
        item["time"] = isoTime(entryTime(node));
        if (node.winner() == nullptr)
            item["archive"] = nullptr;
        else
            putText(item, "archive", archiveBelowRoot(installation, *node.winner()->archive));
        item["copies"] = node.locations().size();
        listed.push_back(std::move(item));
    }
    boost::json::object document;
    putText(document, "path", virtualPath);
    document["entries"] = std::move(listed);
    printJson(document);
}

}  // namespace

int runLs(const Arguments& args) {
    po::options_description options = commandOptions();
    options.add_options()("recursive,R", "list every entry below VPATH, depth-first")(
        "long,l", "also show the winning copy's archive and the number of copies")(
        "json", "print one JSON document instead (see the manual page)");
    addInstallationOptions(options);
    const po::variables_map vm =
        parseCommandLine(args, options, "vpath", po::value<std::string>()->default_value(""), 1);
    if (answeredHelpOrVersion(vm, kUsage,
                              "Lists one directory of the installation's merged tree (the top when VPATH is\n"
                              "empty or \"/\"), in the tree's order, files and directories mixed. One line per entry,\n"
                              "fields separated by a TAB: d (directory) or - (file); the size of the copy that wins\n"
                              "(0 for a directory); its archive's last-write time, UTC (2024-05-01T12:00:00Z); the\n"
                              "name. With -R the last field is the path below VPATH, with \"/\" between names.\n"
                              "With -l two fields come before the name: the archive that holds the winning copy\n"
                              "(its path below the installation's root) and the number of copies in all archives.\n"
                              "VPATH takes \"/\" or \"\\\"; names in the archives are lower-case.\n"
                              "Control characters in names are shown as C escapes (\\t, \\e, \\x01, ...).\n",
                              options))
        return kExitOk;
    const InstallationChoice choice = chooseInstallation(vm);
    const LoadedInstallation installation = loadChosenInstallation(choice);
    const std::string virtualPath = vm["vpath"].as<std::string>();
    const kestran_db::FileNode& directory = findEntry(installation, virtualPath);
    if (!directory.isDir()) throw Failure(FailureKind::Invalid, "not a directory", virtualPath);
    std::vector<Listed> entries;
    collect(directory, "", vm.count("recursive") != 0, entries);
    if (vm.count("json"))
        printJsonListing(installation, virtualPath, entries);
    else
        printText(installation, entries, vm.count("long") != 0);
    finishStandardOutput();
    return kExitOk;
}

}  // namespace kestran::cli
