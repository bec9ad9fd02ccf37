// kestran-db extract VPATH... -o DIR: copies entries out like cp -r, every file with
// the bytes of its winning copy and its archive's last-write time.
#include <boost/filesystem/operations.hpp>
#include <boost/program_options.hpp>
#include <cstdio>
#include <iostream>
#include <new>
#include <optional>
#include <vector>

#include "command.h"
#include "common/failure.h"
#include "installation_options.h"
#include "local_names.h"
#include "platform/platform.h"
#include "terminal_text.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace kestran::cli {

namespace {

namespace po = boost::program_options;

constexpr const char* kUsage =
    "usage: kestran-db extract VPATH... -o DIR (--root DIR [--build B | --version-code N] | "
    "--config FILE --installation NAME)";

bool standardErrorIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return ::isatty(STDERR_FILENO) != 0;
#endif
}

// One thing to make below the target directory, in the order it is made.
struct Job {
    std::string treePath;   // the entry's path in the merged tree (files only)
    std::string name;       // its local name, one component
    std::string shownPath;  // for messages: the path below the installation's top, "/"-separated
    bool isDirectory = false;
    std::optional<std::size_t> parent;  // the directory job it lies in; none: the target itself
};

// A bar on standard error that counts copied files; messages go between its redraws.
class ProgressBar {
public:
    ProgressBar(std::size_t total, bool shown) : total_(total), shown_(shown) { draw(); }

    void advance() {
        ++done_;
        draw();
    }

    void message(const std::string& text) {
        if (shown_) std::cerr << '\r' << std::string(kWidth + 24, ' ') << '\r';
        std::cerr << text << '\n';
        draw();
    }

    void finish() {
        if (shown_) std::cerr << '\n';
    }

private:
    static constexpr std::size_t kWidth = 40;

    void draw() {
        if (!shown_) return;
        const std::size_t filled = total_ == 0 ? kWidth : done_ * kWidth / total_;
        std::cerr << "\r[" << std::string(filled, '#') << std::string(kWidth - filled, ' ') << "] " << done_ << '/'
                  << total_ << std::flush;
    }

    std::size_t total_;
    std::size_t done_ = 0;
    bool shown_;
};

class Extraction {
public:
    Extraction(const LoadedInstallation& installation, platform::OutputDirectory target)
        : installation_(installation), target_(std::move(target)) {}

    // Plans one argument: the top's contents go straight into the target, anything
    // else lands there under its own name. Refused names are reported here.
    void plan(const std::string& virtualPath) {
        const kestran_db::FileNode* node = nullptr;
        try {
            node = &findEntry(installation_, virtualPath);
        } catch (const Failure& e) {
            report("kestran-db extract: " + printable(e.describe()));
            return;
        }
        const std::string path = treePath(installation_.top, virtualPath);
        if (path == installation_.top) {
            for (const kestran_db::FileNode* child : node->children()) {
                planNode(*child, path + "\\" + std::string(child->name()), std::string(child->name()), std::nullopt);
            }
            return;
        }
        const std::string shown = path.substr(installation_.top.size() + 1);
        planNode(*node, path, toSlashes(shown), std::nullopt);
    }

    void run() {
        std::size_t files = 0;
        for (const Job& job : jobs_) files += job.isDirectory ? 0 : 1;
        ProgressBar bar(files, files > 1 && standardErrorIsTerminal());
        bar_ = &bar;
        // Each directory is opened through its parent, so that no symbolic link below the
        // target is ever followed; below one that could not be made nothing is written.
        std::vector<std::optional<platform::OutputDirectory>> directories(jobs_.size());
        std::vector<bool> failed(jobs_.size(), false);
        for (std::size_t i = 0; i < jobs_.size(); ++i) {
            const Job& job = jobs_[i];
            if (job.parent && failed[*job.parent]) {
                failed[i] = true;
                if (!job.isDirectory) bar.advance();
                continue;
            }
            const platform::OutputDirectory& into = job.parent ? *directories[*job.parent] : target_;
            if (job.isDirectory) {
                try {
                    directories[i].emplace(into.subdirectory(job.name));
                } catch (const Failure& e) {
                    report("kestran-db extract: refused \"" + printable(job.shownPath) + "\": " + printable(e.what()));
                    failed[i] = true;
                }
                continue;
            }
            failed[i] = !copyFile(job, into);
            bar.advance();
        }
        bar.finish();
        bar_ = nullptr;
    }

    bool anyFailed() const { return anyFailed_; }

private:
    static std::string toSlashes(std::string path) {
        for (char& c : path)
            if (c == '\\') c = '/';
        return path;
    }

    void planNode(const kestran_db::FileNode& node, const std::string& path, const std::string& shown,
                  std::optional<std::size_t> parent) {
        if (const std::optional<std::string> why = localNameRefusal(std::string(node.name()))) {
            const std::string where =
                parent ? target_.path() + "/" + toSlashes(jobs_[*parent].shownPath) : target_.path();
            refuse(node, shown, *why + ", so it could land outside " + where);
            return;
        }
        jobs_.push_back({path, std::string(node.name()), shown, node.isDir(), parent});
        if (!node.isDir()) return;
        const std::size_t self = jobs_.size() - 1;
        for (const kestran_db::FileNode* child : node.children()) {
            planNode(*child, path + "\\" + std::string(child->name()), shown + "/" + std::string(child->name()), self);
        }
    }

    // Names every file below a refused entry (or the entry itself when nothing is below
    // it), so that each file that is not copied is reported.
    void refuse(const kestran_db::FileNode& node, const std::string& shown, const std::string& why) {
        if (node.isDir() && !node.children().empty()) {
            for (const kestran_db::FileNode* child : node.children())
                refuse(*child, shown + "/" + std::string(child->name()), why);
            return;
        }
        report("kestran-db extract: refused \"" + printable(shown) + "\": " + printable(why));
    }

    bool copyFile(const Job& job, const platform::OutputDirectory& into) {
        try {
            const kestran_db::ExtractedFile file = installation_.db->extract(job.treePath);
            std::string why;
            switch (into.writeFile(job.name, file.data(), file.sizeReal(), true, file.time(), why)) {
                case platform::WriteResult::Written:
                    return true;
                case platform::WriteResult::AlreadyExists:
                    why = "it exists";
                    break;
                case platform::WriteResult::Failed:
                    break;
            }
            report("kestran-db extract: refused \"" + printable(job.shownPath) + "\": " + printable(why));
        } catch (const Failure& e) {
            report("kestran-db extract: " + printable(job.shownPath) + ": " + printable(e.what()));
        } catch (const std::bad_alloc&) {
            report("kestran-db extract: " + printable(job.shownPath) + ": not enough memory");
        }
        return false;
    }

    void report(const std::string& text) {
        anyFailed_ = true;
        if (bar_ != nullptr) {
            bar_->message(text);
        } else {
            std::cerr << text << '\n';
        }
    }

    const LoadedInstallation& installation_;
    platform::OutputDirectory target_;
    std::vector<Job> jobs_;
    ProgressBar* bar_ = nullptr;
    bool anyFailed_ = false;
};

}  // namespace

int runExtract(const Arguments& args) {
    po::options_description options = commandOptions();
    options.add_options()("output,o", po::value<std::string>()->value_name("DIR"),
                          "the directory to copy into (made when missing)");
    addInstallationOptions(options);
    const po::variables_map vm = parseCommandLine(args, options, "vpath", po::value<std::vector<std::string>>(), -1);
    if (answeredHelpOrVersion(vm, kUsage,
                              "Copies entries out like cp -r: each VPATH lands in DIR under its own name, a\n"
                              "directory with everything below it; \"\" or \"/\" copies the whole installation's\n"
                              "contents into DIR. Every file gets the bytes of its winning copy and its archive's\n"
                              "last-write time; existing files are replaced. A name that would leave DIR (\"..\",\n"
                              "a drive letter, a separator inside a name, an empty name) is refused, and a member\n"
                              "that cannot be read is reported; the rest is copied, and the exit status is 1.\n"
                              "On Windows, names Windows cannot hold are refused too (device names such as\n"
                              "CON or NUL.txt, a ':' anywhere, a trailing dot or space). Nothing below DIR is\n"
                              "reached through a symbolic link (or, on Windows, a junction): where one stands\n"
                              "in the way of a directory or file, that entry is refused and the link is left\n"
                              "as it is. A file is written under a temporary name that then replaces the\n"
                              "old one, so an existing file is never written through.\n"
                              "A progress bar goes to standard error when it is a terminal.\n",
                              options))
        return kExitOk;
    if (!vm.count("vpath")) throw UsageError("no VPATH given (\"/\" copies the whole installation)");
    if (!vm.count("output")) throw UsageError("no target directory given (-o DIR)");
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

    Extraction extraction(installation, platform::OutputDirectory(target));
    for (const std::string& virtualPath : vm["vpath"].as<std::vector<std::string>>()) extraction.plan(virtualPath);
    extraction.run();
    return extraction.anyFailed() ? kExitFailure : kExitOk;
}

}  // namespace kestran::cli
