// kestran-db extract VPATH... -o DIR: copies entries out like cp -r, every file with
// the bytes of its winning copy and its archive's last-write time; -O writes one file
// to standard output instead.
#include <boost/filesystem/operations.hpp>
#include <boost/program_options.hpp>
#include <cstdio>
#include <iostream>
#include <new>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

#include "command.h"
#include "common/failure.h"
#include "console.h"
#include "extraction.h"
#include "installation_options.h"
#include "local_names.h"
#include "platform/platform.h"
#include "terminal_text.h"

namespace kestran::cli {

namespace {

namespace po = boost::program_options;

constexpr const char* kUsage =
    "usage: kestran-db extract VPATH... -o DIR [-k] [-j N] | extract -O VPATH\n"
    "         (--root DIR [--build B | --version-code N] | --config FILE --installation NAME)";

// Plans every argument into one list of directories and files to make below the
// target. Names that would leave it are refused here, and reported.
class Planner {
public:
    // Arguments can only meet when there are several (names in one directory differ).
    Planner(const LoadedInstallation& installation, const std::string& target, bool keep, bool argumentsMayMeet,
            ExtractionPlan& plan, ProgressReport& reporter)
        : installation_(installation),
          target_(target),
          keep_(keep),
          argumentsMayMeet_(argumentsMayMeet),
          plan_(plan),
          reporter_(reporter) {}

    // The top's contents go straight into the target; anything else lands there under
    // its own name.
    void add(const std::string& virtualPath) {
        const kestran_db::FileNode* node = nullptr;
        try {
            node = &findEntry(installation_, virtualPath);
        } catch (const Failure& e) {
            reporter_.report("kestran-db extract: " + printable(e.describe()));
            return;
        }
        if (treePath(installation_.top, virtualPath) == installation_.top) {
            for (const kestran_db::FileNode* child : node->children()) addNode(*child, shownFrom(*child), std::nullopt);
            return;
        }
        addNode(*node, shownFrom(*node), std::nullopt);
    }

private:
    // Where in the tree paths of an argument's entries their shown paths start: at the
    // argument's own name.
    static std::size_t shownFrom(const kestran_db::FileNode& node) { return node.path().size() - node.name().size(); }

    void addNode(const kestran_db::FileNode& node, std::size_t from, std::optional<std::size_t> parent) {
        if (const std::optional<std::string> why = localNameRefusal(node.name())) {
            const std::string where = parent ? target_ + "/" + shownPath(plan_[*parent]) : target_;
            refuse(node, from, *why + ", so it could land outside " + where);
            return;
        }
        if (!node.isDir()) {
            addFile(node, from, parent);
            return;
        }
        plan_.push_back({&node, node.name(), from, parent, true, false});
        const std::size_t self = plan_.size() - 1;
        for (const kestran_db::FileNode* child : node.children()) addNode(*child, from, self);
    }

    // Two arguments may put a file at the same place (the same directory twice, say).
    // As when they were copied one after the other, the later one stays; with --keep the
    // first stays, and the later one counts as kept.
    void addFile(const kestran_db::FileNode& node, std::size_t from, std::optional<std::size_t> parent) {
        const PlannedEntry entry{&node, node.name(), from, parent, false, false};
        if (!argumentsMayMeet_) {
            plan_.push_back(entry);
            return;
        }
        const std::string shown = shownPath(entry);
        const auto [earlier, isNew] = filesByPlace_.emplace(shown, plan_.size());
        if (!isNew) {
            if (keep_) {
                reporter_.report("kestran-db extract: kept \"" + printable(shown) +
                                 "\": another argument already puts a file there (--keep)");
                return;
            }
            plan_[earlier->second].superseded = true;
            earlier->second = plan_.size();
        }
        plan_.push_back(entry);
    }

    // Names every file below a refused entry (or the entry itself when nothing is below
    // it), so that each file that is not copied is reported.
    void refuse(const kestran_db::FileNode& node, std::size_t from, const std::string& why) {
        if (node.isDir() && !node.children().empty()) {
            for (const kestran_db::FileNode* child : node.children()) refuse(*child, from, why);
            return;
        }
        const PlannedEntry entry{&node, node.name(), from, std::nullopt, false, false};
        reporter_.report("kestran-db extract: refused \"" + printable(shownPath(entry)) + "\": " + printable(why));
    }

    const LoadedInstallation& installation_;
    const std::string& target_;
    bool keep_;
    bool argumentsMayMeet_;
    ExtractionPlan& plan_;
    ProgressReport& reporter_;
    std::unordered_map<std::string, std::size_t> filesByPlace_;
};

// -O: the bytes of one file, unchanged, to standard output.
int extractToStandardOutput(const LoadedInstallation& installation, const std::string& virtualPath) {
    const kestran_db::FileNode& node = findEntry(installation, virtualPath);
    if (node.isDir()) throw Failure(FailureKind::Invalid, "is a directory; --stdout takes one file", virtualPath);
    const kestran_db::ExtractedFile file = [&] {
        try {
            return installation.db->extract(node.path());
        } catch (const Failure& e) {
            const std::string archive = node.winner() != nullptr ? node.winner()->archive->openPath : std::string();
            throw Failure(e.kind(), e.subject().empty() ? archive + ": " + e.what() : e.describe(), virtualPath);
        }
    }();
    makeStandardOutputBinary();
    if (std::fwrite(file.data(), 1, file.sizeReal(), stdout) != file.sizeReal() || std::fflush(stdout) != 0)
        throw Failure(FailureKind::CannotWrite, "cannot write", "standard output");
    return kExitOk;
}

unsigned defaultJobs() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : cores;
}

}  // namespace

int runExtract(const Arguments& args) {
    po::options_description options = commandOptions();
    options.add_options()("output,o", po::value<std::string>()->value_name("DIR"),
                          "the directory to copy into (made when missing)")(
        "stdout,O", "write the one file VPATH names to standard output instead")(
        "keep,k", "never replace an existing file: each one is reported, and the exit status is 1")(
        "jobs,j", po::value<unsigned>()->value_name("N"), "copy with N threads (default: one per processor core)");
    addInstallationOptions(options);
    const po::variables_map vm = parseCommandLine(args, options, "vpath", po::value<std::vector<std::string>>(), -1);
    if (answeredHelpOrVersion(vm, kUsage,
                              "Copies entries out like cp -r: each VPATH lands in DIR under its own name, a\n"
                              "directory with everything below it; \"\" or \"/\" copies the whole installation's\n"
                              "contents into DIR. Every file gets the bytes of its winning copy and its archive's\n"
                              "last-write time; existing files are replaced, unless --keep is given. A name that\n"
                              "would leave DIR (\"..\", a drive letter, a separator inside a name, an empty name)\n"
                              "is refused, and a member that cannot be read is reported; the rest is copied, and\n"
                              "the exit status is 1.\n"
                              "On Windows, names Windows cannot hold are refused too (device names such as\n"
                              "CON or NUL.txt, a ':' anywhere, a trailing dot or space). Nothing below DIR is\n"
                              "reached through a symbolic link (or, on Windows, a junction): where one stands\n"
                              "in the way of a directory or file, that entry is refused and the link is left\n"
                              "as it is. A file is written under a temporary name that then replaces the\n"
                              "old one, so an existing file is never written through.\n"
                              "Files are copied by one thread per processor core (see --jobs). A progress bar\n"
                              "goes to standard error when it is a terminal (on Windows, a console).\n"
                              "With -O (--stdout), the bytes of the one file VPATH names go to standard output,\n"
                              "as unzip -p and bsdtar -O give them.\n",
                              options))
        return kExitOk;
    if (!vm.count("vpath")) throw UsageError("no VPATH given (\"/\" copies the whole installation)");
    const auto virtualPaths = vm["vpath"].as<std::vector<std::string>>();
    if (vm.count("stdout")) {
        if (vm.count("output")) throw UsageError("give either -o DIR or -O (--stdout), not both");
        if (vm.count("keep")) throw UsageError("--keep goes with -o DIR, not with --stdout");
        if (virtualPaths.size() != 1) throw UsageError("--stdout takes exactly one VPATH, a file");
        const LoadedInstallation installation = loadChosenInstallation(chooseInstallation(vm));
        return extractToStandardOutput(installation, virtualPaths.front());
    }
    if (!vm.count("output")) throw UsageError("no target directory given (-o DIR, or -O for standard output)");
    const unsigned jobs = vm.count("jobs") ? vm["jobs"].as<unsigned>() : defaultJobs();
    if (jobs == 0) throw UsageError("--jobs must be 1 or more");
    const bool keep = vm.count("keep") != 0;
    const InstallationChoice choice = chooseInstallation(vm);
    const LoadedInstallation installation = loadChosenInstallation(choice);

    const std::string target = vm["output"].as<std::string>();
    boost::system::error_code error;
    boost::filesystem::create_directories(target, error);
    boost::system::error_code ignored;
    if (!boost::filesystem::is_directory(target, ignored)) {
        throw Failure(FailureKind::CannotWrite,
                      "cannot make the directory" + (error ? ": " + error.message() : std::string()), target);
    }

    ProgressReport reporter;
    ExtractionPlan plan;
    Planner planner(installation, target, keep, virtualPaths.size() > 1, plan, reporter);
    for (const std::string& virtualPath : virtualPaths) planner.add(virtualPath);
    extractPlan(plan, platform::OutputDirectory(target), keep, jobs, reporter);
    return reporter.anyReported() ? kExitFailure : kExitOk;
}

}  // namespace kestran::cli
