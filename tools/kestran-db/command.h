#pragma once
// The commands of kestran-db and what they share: exit statuses and usage errors.
#include <boost/program_options.hpp>
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

// Parses a command's arguments: its visible options, and up to maxCount positional
// arguments (-1: any number) gathered under the option positionalName, which --help
// does not list. Throws boost::program_options errors for a wrong command line.
boost::program_options::variables_map parseCommandLine(const Arguments& args,
                                                       const boost::program_options::options_description& visible,
                                                       const char* positionalName,
                                                       boost::program_options::value_semantic* positionalValue,
                                                       int maxCount);

int runRecords(const Arguments& args);
int runLs(const Arguments& args);
int runExtract(const Arguments& args);
int runWhich(const Arguments& args);
int runMount(const Arguments& args);

}  // namespace kestran::cli
