// kestran-db which VPATH: what the File Properties dialog shows for an entry.
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
    "usage: kestran-db which VPATH (--root DIR [--build B | --version-code N] | "
    "--config FILE --installation NAME)";

}  // namespace

int runWhich(const Arguments& args) {
    po::options_description options = commandOptions();
    addInstallationOptions(options);
    const po::variables_map vm = parseCommandLine(args, options, "vpath", po::value<std::string>(), 1);
    if (answeredHelpOrVersion(vm, kUsage,
                              "Prints the size of the entry's winning copy on the first line, then the path of\n"
                              "every archive that holds it, as it is on disk, one per line, from the highest\n"
                              "priority (the copy that wins) down to the lowest. An archive that holds the entry\n"
                              "twice is listed twice.\n",
                              options))
        return kExitOk;
    if (!vm.count("vpath")) throw UsageError("no VPATH given");
    const InstallationChoice choice = chooseInstallation(vm);
    const LoadedInstallation installation = loadChosenInstallation(choice);
    const std::string virtualPath = vm["vpath"].as<std::string>();
    const kestran_db::FileNode& node = findEntry(installation, virtualPath);
    // Only the top of an installation without archives has nothing to show.
    if (node.winner() == nullptr) throw Failure(FailureKind::NotFound, "no archive holds it", virtualPath);

    std::cout << node.winner()->sizeReal << '\n';
    const auto locations = node.locations();
    for (auto l = locations.rbegin(); l != locations.rend(); ++l)
        std::cout << printablePath(l->archive->openPath) << '\n';
    finishStandardOutput();
    return kExitOk;
}

}  // namespace kestran::cli
