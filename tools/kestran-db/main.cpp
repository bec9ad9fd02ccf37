// kestran-db: the plug-in's core on the command line, for scripting and for people
// without a file manager that loads the plug-in.
#include <boost/program_options/errors.hpp>
#include <exception>
#include <iostream>
#include <string>

#include "command.h"
#include "common/failure.h"
#include "terminal_text.h"

namespace {

struct Command {
    const char* name;
    const char* summary;
    int (*run)(const kestran::cli::Arguments&);
};

const Command kCommands[] = {
    {"ls", "list a directory of an installation's merged tree", kestran::cli::runLs},
    {"extract", "copy files and directories out of an installation", kestran::cli::runExtract},
    {"which", "show an entry's size and the archives that hold it", kestran::cli::runWhich},
    {"records", "print an archive's file table, one record per line", kestran::cli::runRecords},
    {"archives", "list the installation's archives in priority order, with what each supplies",
     kestran::cli::runArchives},
    {"conflicts", "list the files several archives hold, each copy from the winner down", kestran::cli::runConflicts},
    {"mount", "serve the merged tree as a read-only file system (FUSE, Linux)", kestran::cli::runMount},
};

void printOverview(std::ostream& out) {
    out << "usage: kestran-db COMMAND [OPTIONS] [ARGUMENTS]\n\ncommands:\n";
    for (const Command& c : kCommands)
        out << "  " << c.name << std::string(11 - std::string(c.name).size(), ' ') << c.summary << '\n';
    out << "\n'kestran-db COMMAND --help' describes a command; 'kestran-db --version' shows the version.\n";
}

}  // namespace

int main(int argc, char** argv) {
    using namespace kestran::cli;
    if (argc < 2) {
        printOverview(std::cerr);
        return kExitUsage;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        printOverview(std::cout);
        return kExitOk;
    }
    if (name == "--version") {
        printVersion(std::cout);
        return kExitOk;
    }
    for (const Command& command : kCommands) {
        if (name != command.name) continue;
        const Arguments args(argv + 2, argv + argc);
        try {
            return command.run(args);
        } catch (const UsageError& e) {
            std::cerr << "kestran-db " << name << ": " << e.what() << "\n(see 'kestran-db " << name << " --help')\n";
            return kExitUsage;
        } catch (const boost::program_options::error& e) {
            std::cerr << "kestran-db " << name << ": " << e.what() << "\n(see 'kestran-db " << name << " --help')\n";
            return kExitUsage;
        } catch (const kestran::Failure& e) {
            // Names the file or path it is about ("ARCHIVE: error reading flag field").
            std::cerr << "kestran-db " << name << ": " << printablePath(e.describe()) << '\n';
            return kExitFailure;
        } catch (const std::exception& e) {
            std::cerr << "kestran-db " << name << ": " << e.what() << '\n';
            return kExitFailure;
        }
    }
    std::cerr << "kestran-db: unknown command '" << name << "'\n";
    printOverview(std::cerr);
    return kExitUsage;
}
