// kestran-db archives: the installation's archives in the order they are read (the
// lowest priority first), with what each one contributes to the merged tree.
#include <boost/json/array.hpp>
#include <boost/json/object.hpp>
#include <boost/program_options.hpp>
#include <iostream>

#include "archive_names.h"
#include "archive_statistics.h"
#include "command.h"
#include "installation_options.h"
#include "json_output.h"
#include "terminal_text.h"

namespace kestran::cli {

namespace {

namespace po = boost::program_options;

constexpr const char* kUsage =
    "usage: kestran-db archives [--json] (--root DIR [--build B | --version-code N] | "
    "--config FILE --installation NAME)";

// A table with a header line, its columns as wide as their widest cell, two blanks
// apart; numbers right-aligned, the last column (the archive) left as it is.
void printTable(const std::vector<std::vector<std::string>>& rows, std::size_t numericColumns) {
    std::vector<std::size_t> widths(rows.front().size(), 0);
    for (const auto& row : rows)
        for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
    for (const auto& row : rows) {
        for (std::size_t c = 0; c < row.size(); ++c) {
            const std::string padding(widths[c] - row[c].size(), ' ');
            if (c + 1 == row.size()) {
                std::cout << row[c];
            } else if (c < numericColumns) {
                std::cout << padding << row[c] << "  ";
            } else {
                std::cout << row[c] << padding << "  ";
            }
        }
        std::cout << '\n';
    }
}

}  // namespace

int runArchives(const Arguments& args) {
    po::options_description options = commandOptions();
    options.add_options()("json", "print one JSON document instead (see the manual page)");
    addInstallationOptions(options);
    const po::variables_map vm = parseCommandLine(args, options, "none", po::value<std::string>(), 0);
    if (answeredHelpOrVersion(vm, kUsage,
                              "Lists the installation's archives in the order they are read, the lowest priority\n"
                              "first: a file that several hold comes from the one furthest down. Per archive:\n"
                              "RECORDS its file table records (files and directories), WINS the files whose\n"
                              "winning copy it holds, LOSES the files it holds that an archive read later\n"
                              "overrides, STORED and UNPACKED the bytes of all its records as stored and\n"
                              "unpacked, TIME its last-write time (UTC, the time of all its members), and its\n"
                              "path as it is on disk.\n",
                              options))
        return kExitOk;
    const LoadedInstallation installation = loadChosenInstallation(chooseInstallation(vm));
    const kestran_db::KestranDB& db = *installation.db;
    const std::vector<ArchiveStatistics> statistics = archiveStatistics(db, installation.versionCode);

    if (vm.count("json")) {
        boost::json::array archives;
        for (std::size_t i = 0; i < statistics.size(); ++i) {
            const ArchiveStatistics& of = statistics[i];
            boost::json::object item;
            putText(item, "path", archiveOnDisk(db.archives()[i]));
            item["records"] = of.records;
            item["wins"] = of.wins;
            item["loses"] = of.loses;
            item["stored"] = of.stored;
            item["unpacked"] = of.unpacked;
            item["time"] = isoTime(db.archives()[i].lastWriteTime);
            archives.push_back(std::move(item));
        }
        boost::json::object document;
        putText(document, "root", db.rootPath());
        document["archives"] = std::move(archives);
        printJson(document);
        return kExitOk;
    }
    std::vector<std::vector<std::string>> rows{{"RECORDS", "WINS", "LOSES", "STORED", "UNPACKED", "TIME", "ARCHIVE"}};
    for (std::size_t i = 0; i < statistics.size(); ++i) {
        const ArchiveStatistics& of = statistics[i];
        rows.push_back({std::to_string(of.records), std::to_string(of.wins), std::to_string(of.loses),
                        std::to_string(of.stored), std::to_string(of.unpacked), isoTime(db.archives()[i].lastWriteTime),
                        printablePath(archiveOnDisk(db.archives()[i]))});
    }
    printTable(rows, 5);
    finishStandardOutput();
    return kExitOk;
}

}  // namespace kestran::cli
