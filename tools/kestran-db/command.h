#pragma once
// The commands of kestran-db and what they share: exit statuses, usage errors, the
// options every command has and the one way command lines are parsed.
#include <boost/program_options.hpp>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

namespace kestran::cli {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;  // the work failed; the message went to standard error
constexpr int kExitUsage = 2;    // the command line was wrong

// A wrong command line: reported with the command's usage, exit status 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

using Arguments = std::vector<std::string>;

// The options of every command: -h/--help and --version.
boost::program_options::options_description commandOptions();

// Parses a command's arguments: its visible options, and up to maxCount positional
// arguments (-1: any number) gathered under the option positionalName, which --help
// does not list. Options are matched by their full names only: an abbreviation such as
// --ver is no option. Throws boost::program_options errors for a wrong command line.
boost::program_options::variables_map parseCommandLine(const Arguments& args,
                                                       const boost::program_options::options_description& visible,
                                                       const char* positionalName,
                                                       boost::program_options::value_semantic* positionalValue,
                                                       int maxCount);

// "kestran-db 0.0.4.0" and a line end.
void printVersion(std::ostream& out);

// Answers --help (the usage line, the description and the options) or --version on
// standard output; true when it did, and the command has nothing more to do.
bool answeredHelpOrVersion(const boost::program_options::variables_map& vm, const char* usage,
                           const std::string& description, const boost::program_options::options_description& options);

// Flushes standard output; throws kestran::Failure (CannotWrite) when what was
// written could not all go out (a full disk, a closed pipe).
void finishStandardOutput();

int runRecords(const Arguments& args);
int runLs(const Arguments& args);
int runExtract(const Arguments& args);
int runWhich(const Arguments& args);
int runArchives(const Arguments& args);
int runConflicts(const Arguments& args);
int runMount(const Arguments& args);

}  // namespace kestran::cli
