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
    "usage: kestran-db which VPATH (--root DIR (--build B | --version-code N) | "
    "--config FILE --installation NAME)";

}  // namespace

int runWhich(const Arguments& args) {
    po::options_description options("options");
    options.add_options()("help,h", "show this help");
    addInstallationOptions(options);
    const po::variables_map vm = parseCommandLine(args, options, "vpath", po::value<std::string>(), 1);
    if (vm.count("help")) {
        std::cout << kUsage << "\n\nPrints the size of the entry's winning copy on the first line, then the full path\n"
                  << "of every archive that holds it, one per line, from the highest priority (the copy\n"
                  << "that wins) down to the lowest. An archive that holds the entry twice is listed twice.\n\n"
                  << options;
        return kExitOk;
    }
    if (!vm.count("vpath")) throw UsageError("no VPATH given");
    const InstallationChoice choice = chooseInstallation(vm);
    const LoadedInstallation installation = loadChosenInstallation(choice);
    const std::string virtualPath = vm["vpath"].as<std::string>();
    const kestran_db::FileNode& node = findEntry(installation, virtualPath);
    // Only the top of an installation without archives has nothing to show.
    if (node.winner() == nullptr) throw Failure(FailureKind::NotFound, "kestran-db: no archive holds " + virtualPath);

    std::cout << node.winner()->sizeReal << '\n';
    const auto locations = node.locations();
    for (auto l = locations.rbegin(); l != locations.rend(); ++l) std::cout << printable(l->archive->path) << '\n';
    if (!std::cout.flush()) throw Failure(FailureKind::CannotWrite, "kestran-db: cannot write the answer");
    return kExitOk;
}

}  // namespace kestran::cli
