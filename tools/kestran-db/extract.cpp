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
    "usage: kestran-db extract VPATH... -o DIR [-k] [--full-paths] [-j N] | extract -O VPATH\n"
    "         (--root DIR [--build B | --version-code N] | --config FILE --installation NAME)";

// Plans every argument into one list of directories and files to make below the
// target. Names that would leave it are refused here, and reported. So is every entry
// that would land where an earlier one of another entry lands (two arguments of the same
// name, or names that differ in the archive but meet once converted from the code page):
// as cp does, the later one is refused, naming both, before anything is written. The
// same entry reached twice (an argument and a folder above it) is planned once.
class Planner {
public:
    // With fullPaths every entry keeps its path from the top of the tree, so that no two
    // arguments can meet.
    Planner(const LoadedInstallation& installation, const std::string& target, bool fullPaths, ExtractionPlan& plan,
            ProgressReport& reporter)
        : installation_(installation), target_(target), fullPaths_(fullPaths), plan_(plan), reporter_(reporter) {}

    // The top's contents go straight into the target; anything else lands there under
    // its own name (or its whole path, with fullPaths).
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
        if (!fullPaths_) {
            addNode(*node, shownFrom(*node), std::nullopt);
            return;
        }
        // The folders above it, from the top down, each planned once.
        const std::size_t from = installation_.top.size() + 1;
        std::optional<std::size_t> parent;
        for (std::size_t end = node->path().find('\\', from); end != std::string::npos;
             end = node->path().find('\\', end + 1)) {
            const kestran_db::FileNode* folder = installation_.db->findNode(std::string(node->path().substr(0, end)));
            if (folder == nullptr || !(parent = addDirectory(*folder, from, parent))) return;
        }
        addNode(*node, from, parent);
    }

private:
    // Where in the tree paths of an argument's entries their shown paths start: at the
    // argument's own name.
    static std::size_t shownFrom(const kestran_db::FileNode& node) { return node.path().size() - node.name().size(); }

    void addNode(const kestran_db::FileNode& node, std::size_t from, std::optional<std::size_t> parent) {
        if (!node.isDir()) {
            addFile(node, from, parent);
            return;
        }
        const std::optional<std::size_t> self = addDirectory(node, from, parent);
        if (!self) return;
        for (const kestran_db::FileNode* child : node.children()) addNode(*child, from, self);
    }

    // The plan's entry of a directory, made unless one of the same local path is
    // there; none when it is refused.
    std::optional<std::size_t> addDirectory(const kestran_db::FileNode& node, std::size_t from,
                                            std::optional<std::size_t> parent) {
        const PlannedEntry entry{&node, node.name(), from, parent, true};
        if (!mayLand(entry)) return std::nullopt;
        const auto [place, isNew] = places_.emplace(localPath(entry), plan_.size());
        if (!isNew) {
            if (plan_[place->second].isDirectory) return place->second;  // folders of one name merge
            refuseMeeting(entry, plan_[place->second]);
            return std::nullopt;
        }
        plan_.push_back(entry);
        return plan_.size() - 1;
    }

    void addFile(const kestran_db::FileNode& node, std::size_t from, std::optional<std::size_t> parent) {
        const PlannedEntry entry{&node, node.name(), from, parent, false};
        if (!mayLand(entry)) return;
        const auto [place, isNew] = places_.emplace(localPath(entry), plan_.size());
        if (!isNew) {
            if (plan_[place->second].node != &node) refuseMeeting(entry, plan_[place->second]);
            return;
        }
        plan_.push_back(entry);
    }

    // Whether the name may become a local name; reports it when not.
    bool mayLand(const PlannedEntry& entry) {
        const std::optional<std::string> why = localNameRefusal(entry.name);
        if (!why) return true;
        const std::string where = entry.parent ? target_ + "/" + localPath(plan_[*entry.parent]) : target_;
        refuse(*entry.node, entry.shownFrom, *why + ", so it could land outside " + where);
        return false;
    }

    // The entry's path below the target, as it is written: its names converted.
    std::string localPath(const PlannedEntry& entry) const {
        const std::string name = localName(entry.name);
        return entry.parent ? localPath(plan_[*entry.parent]) + "/" + name : name;
    }

    // Both named by their whole paths in the tree: their shown paths may be the same.
    void refuseMeeting(const PlannedEntry& later, const PlannedEntry& earlier) {
        const std::size_t whole = installation_.top.size() + 1;
        const PlannedEntry earlierWhole{earlier.node, earlier.name, whole, std::nullopt, earlier.isDirectory};
        std::string why = "it would land on \"" + localPath(earlier) + "\", where \"" + shownPath(earlierWhole) + "\"";
        why += earlier.isDirectory ? " is a folder" : " was just put";
        if (!fullPaths_) why += " (--full-paths keeps each entry's path)";
        refuse(*later.node, whole, why);
    }

    // Names every file below a refused entry (or the entry itself when nothing is below
    // it), so that each file that is not copied is reported.
    void refuse(const kestran_db::FileNode& node, std::size_t from, const std::string& why) {
        if (node.isDir() && !node.children().empty()) {
            for (const kestran_db::FileNode* child : node.children()) refuse(*child, from, why);
            return;
        }
        const PlannedEntry entry{&node, node.name(), from, std::nullopt, false};
        reporter_.report("kestran-db extract: refused \"" + printable(shownPath(entry)) + "\": " + printable(why));
    }

    const LoadedInstallation& installation_;
    const std::string& target_;
    bool fullPaths_;
    ExtractionPlan& plan_;
    ProgressReport& reporter_;
    std::unordered_map<std::string, std::size_t> places_;  // local path below the target -> plan entry
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
        "full-paths", "give every entry its whole path from the top of the installation")(
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
                              "as it is. Every file is written under a temporary name that then takes its\n"
                              "own, so an existing file is never written through, and Ctrl+C (or SIGTERM)\n"
                              "lets the files being written finish, begins no other and leaves no partial file.\n"
                              "Two entries that would land at one place (arguments of the same name, or names\n"
                              "that meet once converted from the code page): the later one is refused, naming\n"
                              "both, before anything is written, and the exit status is 1. --full-paths gives\n"
                              "every entry its path from the top of the installation, as tar and unzip do.\n"
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

    // Ctrl+C lets the files being written finish (each is written under a temporary
    // name and renamed when complete) and begins no other.
    catchInterruptions();
    ProgressReport reporter;
    ExtractionPlan plan;
    Planner planner(installation, target, vm.count("full-paths") != 0, plan, reporter);
    for (const std::string& virtualPath : virtualPaths) planner.add(virtualPath);
    extractPlan(plan, platform::OutputDirectory(target), keep, jobs, reporter);
    if (interrupted()) {
        std::cerr << "kestran-db extract: interrupted; the files written so far are complete\n";
        endAsInterrupted();
    }
    return reporter.anyReported() ? kExitFailure : kExitOk;
}

}  // namespace kestran::cli
