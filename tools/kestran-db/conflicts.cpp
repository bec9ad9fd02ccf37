// kestran-db conflicts [VPATH] [--archive NAME]: the files that more than one copy
// stands for, each with its holders from the winner down.
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
    "usage: kestran-db conflicts [--archive NAME] [--json] [VPATH] (--root DIR [--build B | --version-code N] | "
    "--config FILE --installation NAME)";

// The path of a node below the installation's top, "/" between names.
std::string belowTop(const LoadedInstallation& installation, const kestran_db::FileNode& node) {
    std::string path(node.path().substr(std::min(node.path().size(), installation.top.size() + 1)));
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

bool holdsCopy(const kestran_db::FileNode& node, const std::vector<const kestran_db::ArchiveFile*>& archives) {
    for (const kestran_db::FileLocation& location : node.locations())
        if (std::find(archives.begin(), archives.end(), location.archive) != archives.end()) return true;
    return false;
}

// Every file at or below start with more than one copy, in tree order; only those
// one of the archives holds a copy of, when archives are given.
void collect(const kestran_db::FileNode& start, const std::vector<const kestran_db::ArchiveFile*>& archives,
             std::vector<const kestran_db::FileNode*>& into) {
    if (!start.isDir()) {
        if (start.locations().size() > 1 && (archives.empty() || holdsCopy(start, archives))) into.push_back(&start);
        return;
    }
    for (const kestran_db::FileNode* child : start.children()) collect(*child, archives, into);
}

std::string knownArchives(const LoadedInstallation& installation) {
    std::string known;
    for (const kestran_db::ArchiveFile& archive : installation.db->archives())
        known += (known.empty() ? "" : ", ") + archiveBelowRoot(installation, archive);
    return known.empty() ? std::string("none") : known;
}

// The archives --archive names: one file on disk, listed once or more.
std::vector<const kestran_db::ArchiveFile*> chooseArchives(const LoadedInstallation& installation,
                                                           const std::string& name) {
    const std::vector<const kestran_db::ArchiveFile*> found = archivesNamed(installation, name);
    if (found.empty())
        throw Failure(FailureKind::NotFound,
                      "no archive of the installation has that name (it has: " + knownArchives(installation) + ")",
                      name);
    for (const kestran_db::ArchiveFile* archive : found) {
        if (archive->openPath != found.front()->openPath)
            throw UsageError("--archive " + name + " names more than one archive (" +
                             archiveBelowRoot(installation, *found.front()) + ", " +
                             archiveBelowRoot(installation, *archive) + "): give more of its path");
    }
    return found;
}

}  // namespace

int runConflicts(const Arguments& args) {
    po::options_description options = commandOptions();
    options.add_options()("archive", po::value<std::string>()->value_name("NAME"),
                          "only the files that archive overrides or loses: its file name, or more of its path")(
        "json", "print one JSON document instead (see the manual page)");
    addInstallationOptions(options);
    const po::variables_map vm =
        parseCommandLine(args, options, "vpath", po::value<std::string>()->default_value(""), 1);
    if (answeredHelpOrVersion(vm, kUsage,
                              "Lists every file at or below VPATH (the whole installation when it is empty or\n"
                              "\"/\") that more than one copy stands for: held by several archives, or twice by one.\n"
                              "Each file's path below the installation's top comes on a line of its own, then one\n"
                              "line per copy from the one that wins down, fields separated by a TAB: an empty\n"
                              "field, the copy's size, its archive's last-write time (UTC), and the archive's path\n"
                              "below the installation's root. With --archive only the files that archive holds a\n"
                              "copy of are listed: those it overrides and those it loses.\n",
                              options))
        return kExitOk;
    const LoadedInstallation installation = loadChosenInstallation(chooseInstallation(vm));
    const std::string virtualPath = vm["vpath"].as<std::string>();
    const kestran_db::FileNode& start = findEntry(installation, virtualPath);
    const std::vector<const kestran_db::ArchiveFile*> archives =
        vm.count("archive") ? chooseArchives(installation, vm["archive"].as<std::string>())
                            : std::vector<const kestran_db::ArchiveFile*>();
    std::vector<const kestran_db::FileNode*> files;
    collect(start, archives, files);

    if (vm.count("json")) {
        boost::json::array conflicts;
        for (const kestran_db::FileNode* file : files) {
            boost::json::array holders;
            const auto locations = file->locations();
            for (auto l = locations.rbegin(); l != locations.rend(); ++l) {
                boost::json::object holder;
                putText(holder, "archive", archiveBelowRoot(installation, *l->archive));
                holder["size"] = l->sizeReal;
                holder["time"] = isoTime(l->archive->lastWriteTime);
                holders.push_back(std::move(holder));
            }
            boost::json::object item;
            putText(item, "path", belowTop(installation, *file));
            item["holders"] = std::move(holders);
            conflicts.push_back(std::move(item));
        }
        boost::json::object document;
        putText(document, "path", virtualPath);
        if (archives.empty())
            document["archive"] = nullptr;
        else
            putText(document, "archive", archiveBelowRoot(installation, *archives.front()));
        document["conflicts"] = std::move(conflicts);
        printJson(document);
        return kExitOk;
    }
    for (const kestran_db::FileNode* file : files) {
        std::cout << printable(belowTop(installation, *file)) << '\n';
        const auto locations = file->locations();
        for (auto l = locations.rbegin(); l != locations.rend(); ++l)
            std::cout << '\t' << l->sizeReal << '\t' << isoTime(l->archive->lastWriteTime) << '\t'
                      << printablePath(archiveBelowRoot(installation, *l->archive)) << '\n';
    }
    finishStandardOutput();
    return kExitOk;
}

}  // namespace kestran::cli
