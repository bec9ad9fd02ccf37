#include "installation_options.h"

#include <boost/filesystem/operations.hpp>
#include <boost/filesystem/path.hpp>
#include <boost/program_options.hpp>
#include <cstdio>
#include <iostream>

#include "archive/chunk_stream.h"
#include "command.h"
#include "common/ascii.h"
#include "common/failure.h"
#include "config/editions.h"
#include "config/installation_table.h"
#include "config/settings.h"
#include "installation/fsgame_ltx.h"
#include "installation/loader.h"
#include "installation/shown_names.h"
#include "platform/file_stream.h"
#include "platform/platform.h"
#include "terminal_text.h"

namespace kestran::cli {

namespace po = boost::program_options;

namespace {

constexpr std::uint64_t kSecondsPerDay = 86400;
// Days from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kDaysTo1970 = 134774;

struct CivilDate {
    std::int64_t year;
    unsigned month;
    unsigned day;
};

// The proleptic Gregorian date of a day count from 1970-01-01 (H. Hinnant's
// civil_from_days).
CivilDate civilFromDays(std::int64_t days) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;  // March is 0
    const auto day = static_cast<unsigned>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    const auto month = static_cast<unsigned>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    return {yearOfEra + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

bool isSeparator(char c) { return c == '/' || c == '\\'; }

// The layouts a root is seen to have: fsgame.ltx with plain headers, or archives in the
// root with scrambled ones (the loader tries the other key variant too).
constexpr std::int32_t kFsgameLayout = 3;
constexpr std::int32_t kRootLayout = 0;

std::string describeLayout(std::int32_t versionCode) {
    if (hasScrambledHeaders(static_cast<std::uint32_t>(versionCode)))
        return "archives in the root, scrambled headers (VersionCode " + std::to_string(versionCode) +
               ", the other key variant tried too)";
    return "archive directories from fsgame.ltx, plain headers (VersionCode " + std::to_string(versionCode) + ")";
}

InstallationChoice chooseByRoot(const po::variables_map& vm) {
    InstallationChoice choice;
    choice.name = kRootInstallationName;
    // In the system's own separators ("C:/Games/TOLM" is C:\Games\TOLM on Windows), so
    // that the archives' paths come out in them too.
    choice.rootPath = boost::filesystem::path(vm["root"].as<std::string>()).make_preferred().string();
    const bool byBuild = vm.count("build") != 0;
    const bool byCode = vm.count("version-code") != 0;
    if (byBuild && byCode) throw UsageError("give at most one of --build and --version-code");
    if (byBuild) {
        const std::string build = vm["build"].as<std::string>();
        const std::optional<std::int32_t> code = versionCodeForBuild(build);
        if (!code) {
            throw UsageError("unknown build '" + build + "' (known: " + buildList() + ")");
        }
        choice.versionCode = *code;
        choice.reason = "build " + build + ": " + describeLayout(choice.versionCode);
    } else if (byCode) {
        choice.versionCode = vm["version-code"].as<std::int32_t>();
        if (!isKnownVersionCode(choice.versionCode)) throw UsageError("--version-code must be 0, 1, 2 or 3");
        choice.reason =
            "--version-code " + std::to_string(choice.versionCode) + ": " + describeLayout(choice.versionCode);
    } else {
        choice.versionCode = layoutOfRoot(choice.rootPath);
        choice.picked = true;
        choice.reason = std::string(choice.versionCode == kFsgameLayout ? "fsgame.ltx found" : "no fsgame.ltx") + ": " +
                        describeLayout(choice.versionCode);
    }
    return choice;
}

InstallationChoice chooseByConfig(const po::variables_map& vm) {
    if (vm.count("build") || vm.count("version-code")) {
        throw UsageError("--build and --version-code go with --root, not with --config");
    }
    if (!vm.count("installation")) throw UsageError("--config needs --installation NAME");
    const std::string path = vm["config"].as<std::string>();
    const std::string name = vm["installation"].as<std::string>();
    // The plug-in reads a missing settings file as an empty one; a tool asked for a
    // file says so.
    if (platform::FileStream(path).openFailure())
        throw Failure(FailureKind::CannotOpen,
                      "cannot read the settings file (" + *platform::FileStream(path).openFailure() + ")", path);

    InstallationTable table;
    const SettingsOutcome outcome = applySettingsFile(path, table, [](InstallationTable&) {});
    if (!outcome.accepted)
        throw Failure(FailureKind::Invalid, "the settings file has a line that cannot be parsed", path);
    const auto found = table.find(name);
    if (found == table.end()) {
        std::string known;
        for (const auto& entry : table) known += (known.empty() ? "" : ", ") + entry.first;
        throw Failure(FailureKind::NotFound,
                      "defines no installation '" + name + "'" +
                          (known.empty() ? std::string(" (it defines none)") : " (it defines: " + known + ")"),
                      path);
    }
    // The settings' name encoding, where names are shown converted at all.
    if (platform::textsAreUtf8()) useNameCodec(outcome.nameCodec);
    InstallationChoice choice;
    choice.name = name;
    choice.rootPath = found->second.rootPath;
    choice.versionCode = found->second.versionCode;
    choice.reason = "installation " + name + " of " + path + ": " + describeLayout(choice.versionCode);
    return choice;
}

}  // namespace

void addInstallationOptions(po::options_description& options) {
    options.add_options()("root", po::value<std::string>()->value_name("DIR"),
                          "the installation's root directory; its layout is seen from its files: "
                          "fsgame.ltx there names the archive directories, else the archives lie in it")(
        "build", po::value<std::string>()->value_name("B"),
        ("with --root: the layout by build string instead, as in kestran.ini (" + buildList() + ")").c_str())(
        "version-code", po::value<std::int32_t>()->value_name("N"),
        "with --root: the layout by VersionCode instead, 0..3 (0, 1: archives in the root; 2, 3: fsgame.ltx)")(
        "config", po::value<std::string>()->value_name("FILE"), "a kestran.ini to take the installation from")(
        "installation", po::value<std::string>()->value_name("NAME"), "with --config: the installation's name")(
        "verbose,v", "say on standard error which layout was chosen and what was found");
    addNameEncodingOption(options);
}

void addNameEncodingOption(po::options_description& options) {
    options.add_options()("name-encoding", po::value<std::string>()->value_name("CODEPAGE"),
                          "the code page of names that are not UTF-8 (CP1250 to CP1258, CP874, or none to show "
                          "their bytes); default: the settings file's main.name_encoding, else CP1251 on Linux");
}

void chooseNameEncoding(const po::variables_map& vm) {
    if (!vm.count("name-encoding")) return;
    const std::string name = vm["name-encoding"].as<std::string>();
    const std::optional<NameCodec> codec = NameCodec::named(name);
    if (!codec) throw UsageError("unknown --name-encoding '" + name + "' (CP1250 to CP1258, CP874, or none)");
    useNameCodec(*codec);
}

std::int32_t layoutOfRoot(const std::string& rootPath) {
    boost::system::error_code error;
    const bool hasFsgame =
        boost::filesystem::exists(platform::resolvePath(kestran_db::fsgamePath(rootPath)), error) && !error;
    return hasFsgame ? kFsgameLayout : kRootLayout;
}

InstallationChoice chooseInstallation(const po::variables_map& vm) {
    const bool byRoot = vm.count("root") != 0;
    const bool byConfig = vm.count("config") != 0;
    if (byRoot && byConfig) throw UsageError("give either --root or --config, not both");
    InstallationChoice choice;
    if (byRoot) {
        if (vm.count("installation")) throw UsageError("--installation goes with --config, not with --root");
        choice = chooseByRoot(vm);
    } else if (byConfig) {
        choice = chooseByConfig(vm);
    } else {
        throw UsageError("no installation given: use --root DIR, or --config FILE with --installation NAME");
    }
    chooseNameEncoding(vm);
    choice.verbose = vm.count("verbose") != 0;
    return choice;
}

namespace {

// A folder searched for archives, marked when it is not there.
std::string shownFolder(const std::string& folder) {
    boost::system::error_code error;
    const bool there = boost::filesystem::is_directory(platform::resolvePath(folder), error) && !error;
    return printablePath(folder) + (there ? "" : " (missing)");
}

// An installation without a single archive is a wrong root, build or fsgame.ltx far
// more often than a real one: say where the load looked.
std::string noArchivesMessage(const InstallationChoice& choice) {
    const std::vector<std::string> searched = kestran_db::archiveDirectories(choice.rootPath, choice.versionCode);
    std::string message = "no archives in " + printablePath(choice.rootPath) + " (searched: ";
    if (searched.empty()) {
        if (choice.versionCode == 2 || choice.versionCode == 3)
            message += "nothing: the root holds no fsgame.ltx that names an archive folder";
        else
            message += "nothing: version code " + std::to_string(choice.versionCode) + " has no archive folders";
    }
    for (std::size_t i = 0; i < searched.size(); ++i) message += (i == 0 ? "" : ", ") + shownFolder(searched[i]);
    return message + ")";
}

}  // namespace

LoadedInstallation loadChosenInstallation(const InstallationChoice& choice) {
    // A missing root gives the plug-in an empty installation; here it is a mistake.
    boost::system::error_code error;
    if (!boost::filesystem::is_directory(platform::resolvePath(choice.rootPath), error))
        throw Failure(FailureKind::NotFound, "the installation root is not a directory", choice.rootPath);
    if (choice.verbose) std::cerr << "kestran-db: " << printablePath(choice.rootPath) << ": " << choice.reason << '\n';
    LoadedInstallation loaded;
    const std::string prefix = "\\" + choice.name + "\\";
    try {
        loaded.db = kestran_db::loadInstallation(choice.rootPath, choice.versionCode, prefix);
    } catch (const Failure& e) {
        // The loader names the archive; a failure about the installation as a whole
        // (too many records, say) is about its root.
        std::string message = e.cause().empty() ? std::string(e.what()) : e.cause();
        // A guessed layout says what it took the root for.
        if (choice.picked && choice.versionCode == kRootLayout && e.kind() == FailureKind::Damaged)
            message += " (read as an archive with scrambled headers, since the root holds no fsgame.ltx)";
        throw Failure(e.kind(), message, e.subject().empty() ? choice.rootPath : e.subject());
    }
    if (loaded.db->archives().empty()) throw Failure(FailureKind::NotFound, noArchivesMessage(choice));
    loaded.top = prefix.substr(0, prefix.size() - 1);
    loaded.rootOnDisk = platform::resolvePath(choice.rootPath);
    loaded.versionCode = choice.versionCode;
    if (choice.verbose) {
        for (const std::string& folder : kestran_db::archiveDirectories(choice.rootPath, choice.versionCode))
            std::cerr << "kestran-db: searched " << shownFolder(folder) << '\n';
        std::cerr << "kestran-db: " << loaded.db->archives().size() << " archives read\n";
    }
    return loaded;
}

std::string treePath(const std::string& top, const std::string& virtualPath) {
    std::size_t begin = 0;
    std::size_t end = virtualPath.size();
    while (begin < end && isSeparator(virtualPath[begin])) ++begin;
    while (end > begin && isSeparator(virtualPath[end - 1])) --end;
    if (begin == end) return top;
    std::string path = top + "\\" + virtualPath.substr(begin, end - begin);
    for (std::size_t i = top.size(); i < path.size(); ++i)
        if (path[i] == '/') path[i] = '\\';
    return path;
}

const kestran_db::FileNode& findEntry(const LoadedInstallation& installation, const std::string& virtualPath) {
    const std::string path = treePath(installation.top, virtualPath);
    if (const kestran_db::FileNode* node = installation.db->findNode(path)) return *node;
    // A path as a listing showed it, with names converted from the code page.
    if (nameCodec().convertsNames()) {
        const std::string shown = kestran_db::ShownNames(nameCodec()).treePath(*installation.db, path);
        if (const kestran_db::FileNode* node = installation.db->findNode(shown)) return *node;
    }
    if (path == installation.top) {
        // An installation without archives has an empty tree, not even its top.
        return kestran_db::FileNode::emptyDirectory();
    }
    std::string message = "no such entry";
    const std::string lowered = loweredAscii(virtualPath);
    if (lowered != virtualPath && installation.db->findNode(treePath(installation.top, lowered)) != nullptr) {
        message += " (names in the archives are lower-case: " + lowered + ")";
    }
    throw Failure(FailureKind::NotFound, message, virtualPath);
}

std::uint32_t entrySize(const kestran_db::FileNode& node) {
    if (node.isDir() || node.winner() == nullptr) return 0;
    return node.winner()->sizeReal;
}

FileTime entryTime(const kestran_db::FileNode& node) {
    const kestran_db::FileLocation* winner = node.winner();
    if (winner == nullptr || winner->archive == nullptr) return {};
    return winner->archive->lastWriteTime;
}

std::string isoTime(FileTime time) {
    const std::uint64_t seconds = toTicks(time) / kTicksPerSecond;
    const std::uint64_t secondOfDay = seconds % kSecondsPerDay;
    const CivilDate date = civilFromDays(static_cast<std::int64_t>(seconds / kSecondsPerDay) - kDaysTo1970);
    char text[48];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02u:%02u:%02uZ", static_cast<long long>(date.year), date.month,
                  date.day, static_cast<unsigned>(secondOfDay / 3600), static_cast<unsigned>(secondOfDay / 60 % 60),
                  static_cast<unsigned>(secondOfDay % 60));
    return text;
}

}  // namespace kestran::cli
