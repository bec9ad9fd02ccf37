// kestran-db which VPATH: what the File Properties dialog shows for an entry.
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
    "usage: kestran-db which [--json] VPATH (--root DIR [--build B | --version-code N] | "
    "--config FILE --installation NAME)";

void printJsonAnswer(const std::string& virtualPath, const kestran_db::FileNode& node) {
    boost::json::array holders;
    const auto locations = node.locations();
    for (auto l = locations.rbegin(); l != locations.rend(); ++l) {
        boost::json::object holder;
        putText(holder, "archive", archiveOnDisk(*l->archive));
        holder["size"] = l->sizeReal;
        holder["stored"] = l->sizeCompressed;
        holder["compressed"] = l->isCompressed;
        holder["time"] = isoTime(l->archive->lastWriteTime);
        holders.push_back(std::move(holder));
    }
    boost::json::object document;
    putText(document, "path", virtualPath);
    document["type"] = node.isDir() ? "directory" : "file";
    document["size"] = node.winner()->sizeReal;
    document["holders"] = std::move(holders);
    printJson(document);
}

}  // namespace

int runWhich(const Arguments& args) {
    po::options_description options = commandOptions();
    options.add_options()("json", "print one JSON document instead (see the manual page)");
    addInstallationOptions(options);
    const po::variables_map vm = parseCommandLine(args, options, "vpath", po::value<std::string>(), 1);
    if (answeredHelpOrVersion(vm, kUsage,
                              "Prints the size of the entry's winning copy on the first line, then the path of\n"
                              "every archive that holds it, as it is on disk, one per line, from the highest\n"
                              "priority (the copy that wins) down to the lowest. An archive that holds the entry\n"
                              "twice is listed twice. With --json, each holder also shows the copy's size, stored\n"
                              "size and whether it is packed.\n",
                              options))
        return kExitOk;
    if (!vm.count("vpath")) throw UsageError("no VPATH given");
    const InstallationChoice choice = chooseInstallation(vm);
    const LoadedInstallation installation = loadChosenInstallation(choice);
    const std::string virtualPath = vm["vpath"].as<std::string>();
    const kestran_db::FileNode& node = findEntry(installation, virtualPath);
    // Only the top of an installation without archives has nothing to show.
    if (node.winner() == nullptr) throw Failure(FailureKind::NotFound, "no archive holds it", virtualPath);

    if (vm.count("json")) {
        printJsonAnswer(virtualPath, node);
        return kExitOk;
    }
    std::cout << node.winner()->sizeReal << '\n';
    const auto locations = node.locations();
    for (auto l = locations.rbegin(); l != locations.rend(); ++l)
        std::cout << printablePath(archiveOnDisk(*l->archive)) << '\n';
    finishStandardOutput();
    return kExitOk;
}

}  // namespace kestran::cli
