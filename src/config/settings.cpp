#include "config/settings.h"

#include <algorithm>
#include <locale>
#include <sstream>
#include <utility>
#include <vector>

#include <boost/algorithm/string/case_conv.hpp>
#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/split.hpp>
#include <boost/program_options.hpp>
#include <boost/regex.hpp>

#include "config/editions.h"
#include "config/registry_discovery.h"
#include "platform/file_stream.h"
#include "platform/platform.h"

namespace po = boost::program_options;

namespace kestran {

namespace {

constexpr const char* kInstallationsSection = "installations";
constexpr const char* kInstallationValueSeparators = "=|";

// "section.name": one point, neither side empty.
const boost::regex& sectionKeyPattern() {
    static const boost::regex pattern("^([^.]+)\\.([^.]+)$");
    return pattern;
}

// An unregistered option that may define an installation: key
// "installations.<name>" (section compared case-insensitively), value
// "<build><'=' or '|'><root path>".
void applyInstallationOption(const po::option& option, InstallationTable& table) {
    boost::smatch key;
    if (!boost::regex_search(option.string_key, key, sectionKeyPattern())) return;
    if (boost::algorithm::to_lower_copy(key.str(1), std::locale()) != kInstallationsSection) return;
    if (option.value.size() != 1) return;
    std::vector<std::string> pieces;
    boost::algorithm::split(pieces, option.value.front(), boost::algorithm::is_any_of(kInstallationValueSeparators));
    if (pieces.size() != 2) return;
    const auto versionCode = versionCodeForBuild(pieces[0]);
    if (!versionCode) return;
    setInstallation(table, key.str(2), Installation{std::move(pieces[1]), *versionCode});
}

void searchRegistry(InstallationTable& table) { addRegistryInstallations(table); }

// The stream's text, or nothing when it holds more than kMaxSettingsSize bytes; at
// most one byte more than that is read.
std::optional<std::string> readBoundedText(std::istream& in) {
    std::string text;
    char piece[4096];
    while (text.size() <= kMaxSettingsSize) {
        const std::size_t wanted = std::min(sizeof piece, kMaxSettingsSize + 1 - text.size());
        in.read(piece, static_cast<std::streamsize>(wanted));
        text.append(piece, static_cast<std::size_t>(in.gcount()));
        if (!in) break;
    }
    if (text.size() > kMaxSettingsSize) return std::nullopt;
    return text;
}

}  // namespace

SettingsOutcome applySettings(std::istream& in, InstallationTable& table, const RegistryStep& registryStep) {
    po::options_description description;
    description.add_options()(kUseRegistryOption, po::value<bool>()->default_value(true), kUseRegistryDescription)(
        kNameEncodingOption, po::value<std::string>(), kNameEncodingDescription);

    SettingsOutcome outcome;
    po::parsed_options parsed(&description);
    po::variables_map variables;
    try {
        const std::optional<std::string> text = readBoundedText(in);
        if (!text) throw po::error("settings file too large");
        std::istringstream bounded(*text);
        parsed = po::parse_config_file(bounded, description, true);
        po::store(parsed, variables);
    } catch (const po::error&) {
        // Nothing has been written yet: go on as with an empty file.
        outcome.accepted = false;
        parsed = po::parsed_options(&description);
        variables = po::variables_map();
        po::store(parsed, variables);
    }

    if (variables.count(kNameEncodingOption) != 0) {
        // A code page nobody knows is skipped like any unusable line: the default stays.
        if (const auto codec = NameCodec::named(variables[kNameEncodingOption].as<std::string>()))
            outcome.nameCodec = *codec;
    }
    if (variables[kUseRegistryOption].as<bool>() && registryStep) {
        registryStep(table);
        outcome.registrySearched = true;
    }
    for (const po::option& option : parsed.options) {
        if (option.unregistered) applyInstallationOption(option, table);
    }
    return outcome;
}

SettingsOutcome applySettingsFile(const std::string& settingsPath, InstallationTable& table,
                                  const RegistryStep& registryStep) {
    // Opening never blocks: a FIFO in the settings file's place reads as no file.
    platform::FileStream file(settingsPath);
    if (file.openFailure()) {
        std::istringstream empty;
        return applySettings(empty, table, registryStep);
    }
    return applySettings(file, table, registryStep);
}

std::string settingsPathFor(const std::string& modulePath) {
    return platform::siblingPath(modulePath, kSettingsFileName);
}

bool loadConfiguration(void* moduleHandle, InstallationTable& table) {
    return loadSettings(moduleHandle, table, searchRegistry).has_value();
}

bool loadConfiguration(void* moduleHandle, InstallationTable& table, const RegistryStep& registryStep) {
    return loadSettings(moduleHandle, table, registryStep).has_value();
}

std::optional<SettingsOutcome> loadSettings(void* moduleHandle, InstallationTable& table) {
    return loadSettings(moduleHandle, table, searchRegistry);
}

std::optional<SettingsOutcome> loadSettings(void* moduleHandle, InstallationTable& table,
                                            const RegistryStep& registryStep) {
    const std::string modulePath = platform::modulePath(moduleHandle);
    if (modulePath.empty()) return std::nullopt;
    return applySettingsFile(settingsPathFor(modulePath), table, registryStep);
}

}  // namespace kestran
