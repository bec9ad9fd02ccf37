// kestran-db records ARCHIVE [--version-code N]: one archive's file table, record by
// record, as the loader reads it.
#include <boost/program_options.hpp>
#include <cinttypes>
#include <cstdio>
#include <iostream>

#include "archive/chunk_stream.h"
#include "command.h"
#include "common/failure.h"
#include "config/editions.h"
#include "platform/file_stream.h"
#include "terminal_text.h"

namespace kestran::cli {

namespace {

namespace po = boost::program_options;

constexpr const char* kUsage = "usage: kestran-db records ARCHIVE [--version-code N]";

char kindLetter(const FileTableRecord& record) {
    if (record.isDir) return 'D';
    return record.isCompressed ? 'C' : 'S';
}

}  // namespace

int runRecords(const Arguments& args) {
    po::options_description options("options");
    options.add_options()("help,h", "show this help")(
        "version-code", po::value<int>()->default_value(2),
        "the installation's VersionCode, 0..3: 0 and 1 read scrambled headers (the other key is tried too)");
    const po::variables_map vm = parseCommandLine(args, options, "archive", po::value<std::string>(), 1);
    if (vm.count("help")) {
        std::cout << kUsage << "\n\nPrints one line per file table record, in table order, fields separated by a TAB:\n"
                  << "name (lower-cased; a directory keeps its trailing backslash), sizeReal, sizeCompressed,\n"
                  << "crc (8 hex digits), offset, and D (directory), C (compressed) or S (stored).\n\n"
                  << options;
        return kExitOk;
    }
    if (!vm.count("archive")) throw UsageError("no archive given");
    const int versionCode = vm["version-code"].as<int>();
    if (!isKnownVersionCode(versionCode)) throw UsageError("--version-code must be 0, 1, 2 or 3");

    // Read as the loader reads it: the scrambled layouts try the other key variant once
    // when the first fails, and that second failure is the one reported.
    platform::FileStream stream(vm["archive"].as<std::string>());
    for (const FileTableRecord& record : readArchiveRecords(stream, versionCode).records) {
        const std::string name = printable(record.name);
        std::fwrite(name.data(), 1, name.size(), stdout);
        std::printf("%s\t%" PRIu32 "\t%" PRIu32 "\t%08" PRIx32 "\t%" PRIu32 "\t%c\n", record.isDir ? "\\" : "",
                    record.sizeReal, record.sizeCompressed, record.crc, record.offset, kindLetter(record));
    }
    return kExitOk;
}

}  // namespace kestran::cli
