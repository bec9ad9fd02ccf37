#include "mount_options.h"

#include "command.h"

namespace kestran::cli {

namespace {

constexpr const char* kVersions = "versions";
constexpr const char* kCacheSize = "cache_size=";
constexpr const char* kNameEncoding = "name_encoding=";

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// Splits at commas that are not escaped; "\," stays in the option as a comma, and any
// other escape is kept as it is for FUSE to read.
std::vector<std::string> splitOptions(const std::string& list) {
    std::vector<std::string> options;
    std::string current;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i] == '\\' && i + 1 < list.size() && list[i + 1] == ',') {
            current += ',';
            ++i;
        } else if (list[i] == ',') {
            options.push_back(current);
            current.clear();
        } else {
            current += list[i];
        }
    }
    options.push_back(current);
    return options;
}

std::uint64_t parseCacheMiB(const std::string& value) {
    if (value.empty() || value.size() > 8 || value.find_first_not_of("0123456789") != std::string::npos)
        throw UsageError("cache_size takes a whole number of MiB, not '" + value + "'");
    const std::uint64_t mib = std::stoull(value);
    if (mib > kMaxCacheMiB) throw UsageError("cache_size " + value + " is more than " + std::to_string(kMaxCacheMiB));
    return mib;
}

}  // namespace

MountOptions parseMountOptions(const std::vector<std::string>& optionLists, bool foreground) {
    MountOptions result;
    result.foreground = foreground;
    for (const std::string& list : optionLists) {
        for (const std::string& option : splitOptions(list)) {
            if (option.empty()) throw UsageError("-o '" + list + "' holds an empty option");
            if (option == kVersions) {
                result.versions = true;
            } else if (startsWith(option, kCacheSize)) {
                result.cacheBytes = parseCacheMiB(option.substr(std::string(kCacheSize).size())) << 20;
            } else if (startsWith(option, kNameEncoding)) {
                const std::string name = option.substr(std::string(kNameEncoding).size());
                const std::optional<NameCodec> codec = NameCodec::named(name);
                if (!codec)
                    throw UsageError("unknown name_encoding '" + name +
                                     "' (none, or a Windows code page: CP874, CP1250 to CP1258)");
                result.nameCodec = codec;
            } else if (option == "ro") {
                // Always so.
            } else if (option == "rw") {
                throw UsageError("the mount is read-only; rw is not possible");
            } else {
                result.fuseOptions.push_back(option);
            }
        }
    }
    return result;
}

std::string joinFuseOptions(const std::vector<std::string>& options) {
    std::string joined;
    for (const std::string& option : options) {
        if (!joined.empty()) joined += ',';
        for (const char c : option) {
            if (c == ',') joined += '\\';
            joined += c;
        }
    }
    return joined;
}

}  // namespace kestran::cli
