#include "command.h"

namespace kestran::cli {

namespace po = boost::program_options;

po::variables_map parseCommandLine(const Arguments& args, const po::options_description& visible,
                                   const char* positionalName, po::value_semantic* positionalValue, int maxCount) {
    po::options_description hidden;
    hidden.add_options()(positionalName, positionalValue);
    po::options_description all;
    all.add(visible).add(hidden);
    po::positional_options_description positional;
    positional.add(positionalName, maxCount);

    po::variables_map vm;
    po::store(po::command_line_parser(args).options(all).positional(positional).run(), vm);
    return vm;
}

}  // namespace kestran::cli
