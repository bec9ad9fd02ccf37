#include "installation/shown_names.h"

#include <optional>

namespace kestran_db {

namespace {

constexpr char kSeparator = '\\';

}  // namespace

ShownNames::ShownNames(kestran::NameCodec codec, std::size_t maxNameLength)
    : codec_(codec), maxNameLength_(maxNameLength) {}

std::string ShownNames::shownName(const KestranDB& set, const FileNode& node) const {
    const std::string_view name = node.name();
    if (!codec_.convertsNames() || kestran::isValidUtf8(name)) return std::string(name);
    std::string shown = codec_.toUtf8(name);
    if (shown.size() > maxNameLength_) return std::string(name);
    // The parent's path with its separator: the node's path without its name.
    const std::string path = node.path();
    std::string sibling(path.substr(0, path.size() - name.size()));
    sibling += shown;
    if (set.hasNode(sibling) != 0) return std::string(name);
    return shown;
}

std::string ShownNames::treePath(const KestranDB& set, std::string_view shownPath) const {
    if (!codec_.convertsNames() || shownPath.empty() || shownPath[0] != kSeparator) return std::string(shownPath);
    std::size_t start = shownPath.find(kSeparator, 1);
    std::string tree(shownPath.substr(0, start));  // "\NAME"
    while (start != std::string_view::npos) {
        const std::size_t next = shownPath.find(kSeparator, start + 1);
        const std::string_view component =
            shownPath.substr(start + 1, next == std::string_view::npos ? std::string_view::npos : next - start - 1);
        const std::string resolved = childName(set, tree, component);
        tree += kSeparator;
        tree += resolved;
        start = next;
    }
    return tree;
}

std::string ShownNames::childName(const KestranDB& set, const std::string& parent, std::string_view shown) const {
    auto holds = [&](std::string_view name) {
        std::string path = parent;
        path += kSeparator;
        path += name;
        return set.hasNode(path) != 0;
    };
    if (shown.empty()) return std::string();
    if (kestran::isValidUtf8(shown) && holds(shown)) return std::string(shown);
    const std::optional<std::string> bytes = codec_.fromUtf8(shown);
    if (bytes && !kestran::isValidUtf8(*bytes) && holds(*bytes)) return *bytes;
    return std::string(shown);
}

}  // namespace kestran_db
