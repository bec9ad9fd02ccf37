#include "command.h"

#include <iostream>

#include "common/failure.h"
#include "kestran_db_version.h"

namespace kestran::cli {

namespace po = boost::program_options;

po::options_description commandOptions() {
    po::options_description options("options");
    options.add_options()("help,h", "show this help")("version", "show the version of kestran-db");
    return options;
}

po::variables_map parseCommandLine(const Arguments& args, const po::options_description& visible,
                                   const char* positionalName, po::value_semantic* positionalValue, int maxCount) {
    po::options_description hidden;
    hidden.add_options()(positionalName, positionalValue);
    po::options_description all;
    all.add(visible).add(hidden);
    po::positional_options_description positional;
    positional.add(positionalName, maxCount);

    // Without guessing, so that a new option never changes what an old abbreviation meant
    // (and "--version" is never taken for "--version-code").
    const int style = po::command_line_style::default_style & ~po::command_line_style::allow_guessing;
    po::variables_map vm;
    po::store(po::command_line_parser(args).options(all).positional(positional).style(style).run(), vm);
    return vm;
}

void printVersion(std::ostream& out) { out << "kestran-db " << kProductVersion << '\n'; }

bool answeredHelpOrVersion(const po::variables_map& vm, const char* usage, const std::string& description,
                           const po::options_description& options) {
    if (vm.count("version")) {
        printVersion(std::cout);
    } else if (vm.count("help")) {
        std::cout << usage << "\n\n" << description << '\n' << options;
    } else {
        return false;
    }
    finishStandardOutput();
    return true;
}

void finishStandardOutput() {
    if (!std::cout.flush()) throw Failure(FailureKind::CannotWrite, "cannot write", "standard output");
}

}  // namespace kestran::cli
