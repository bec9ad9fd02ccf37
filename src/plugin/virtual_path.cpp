#include "plugin/virtual_path.h"

#include <boost/regex.hpp>

namespace kestran::plugin {

std::optional<std::string> splitVirtualPath(const std::string& path) {
    // A leading backslash, the name (no backslash in it), then optionally a backslash
    // and anything at all.
    static const boost::regex pattern("^\\\\([^\\\\]*)(\\\\.*)?$");
    boost::smatch match;
    if (!boost::regex_search(path, match, pattern)) return std::nullopt;
    return match[1].str();
}

std::string withoutTrailingSeparator(std::string path) {
    if (path != kRootPath && !path.empty() && path.back() == kSeparator) path.pop_back();
    return path;
}

std::string installationPrefix(const std::string& installationName) {
    return kSeparator + installationName + kSeparator;
}

}  // namespace kestran::plugin
