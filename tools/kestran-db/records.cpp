// kestran-db records ARCHIVE [--version-code N]: one archive's file table, record by
// record, as the loader reads it.
#include <boost/json/array.hpp>
#include <boost/json/object.hpp>
#include <boost/program_options.hpp>
#include <cinttypes>
#include <cstdio>
#include <iostream>

#include "archive/chunk_stream.h"
#include "command.h"
#include "common/failure.h"
#include "config/editions.h"
#include "installation_options.h"
#include "json_output.h"
#include "platform/file_stream.h"
#include "terminal_text.h"

namespace kestran::cli {

namespace {

namespace po = boost::program_options;

constexpr const char* kUsage = "usage: kestran-db records [--json] ARCHIVE [--version-code N]";

char kindLetter(const FileTableRecord& record) {
    if (record.isDir) return 'D';
    return record.isCompressed ? 'C' : 'S';
}

const char* kindName(const FileTableRecord& record) {
    if (record.isDir) return "directory";
    return record.isCompressed ? "compressed" : "stored";
}

void printJsonRecords(const std::string& archive, const std::vector<FileTableRecord>& records) {
    boost::json::array table;
    for (const FileTableRecord& record : records) {
        boost::json::object item;
        putText(item, "name", record.name);
        item["kind"] = kindName(record);
        item["size"] = record.sizeReal;
        item["stored"] = record.sizeCompressed;
        item["crc"] = record.crc;
        item["offset"] = record.offset;
        table.push_back(std::move(item));
    }
    boost::json::object document;
    putText(document, "archive", archive);
    document["records"] = std::move(table);
    printJson(document);
}

}  // namespace

int runRecords(const Arguments& args) {
    po::options_description options = commandOptions();
    options.add_options()(
        "version-code", po::value<int>()->default_value(2),
        "the installation's VersionCode, 0..3: 0 and 1 read scrambled headers (the other key is tried too)")(
        "json", "print one JSON document instead (see the manual page)");
    addNameEncodingOption(options);
    const po::variables_map vm = parseCommandLine(args, options, "archive", po::value<std::string>(), 1);
    if (answeredHelpOrVersion(
            vm, kUsage,
            "Prints one line per file table record, in table order, fields separated by a TAB:\n"
            "name (lower-cased; a directory keeps its trailing backslash), sizeReal, sizeCompressed,\n"
            "crc (8 hex digits), offset, and D (directory), C (compressed) or S (stored).\n",
            options))
        return kExitOk;
    if (!vm.count("archive")) throw UsageError("no archive given");
    chooseNameEncoding(vm);
    const int versionCode = vm["version-code"].as<int>();
    if (!isKnownVersionCode(versionCode)) throw UsageError("--version-code must be 0, 1, 2 or 3");

    // Read as the loader reads it: the scrambled layouts try the other key variant once
    // when the first fails, and that second failure is the one reported.
    const std::string archive = vm["archive"].as<std::string>();
    platform::FileStream stream(archive);
    if (stream.openFailure()) throw Failure(FailureKind::CannotOpen, *stream.openFailure(), archive);
    ArchiveTable table;
    try {
        table = readArchiveRecords(stream, versionCode);
    } catch (const Failure& e) {
        throw e.about(archive);
    }
    if (vm.count("json")) {
        printJsonRecords(archive, table.records);
        return kExitOk;
    }
    for (const FileTableRecord& record : table.records) {
        const std::string name = printable(record.name);
        std::fwrite(name.data(), 1, name.size(), stdout);
        std::printf("%s\t%" PRIu32 "\t%" PRIu32 "\t%08" PRIx32 "\t%" PRIu32 "\t%c\n", record.isDir ? "\\" : "",
                    record.sizeReal, record.sizeCompressed, record.crc, record.offset, kindLetter(record));
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        throw Failure(FailureKind::CannotWrite, "cannot write", "standard output");
    return kExitOk;
}

}  // namespace kestran::cli
