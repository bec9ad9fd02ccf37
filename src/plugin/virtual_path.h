#pragma once
// Virtual paths as the host names them: "\" is the plug-in's root, "\NAME" an
// installation's top directory, "\NAME\dir\file" anything below it. Paths are the
// merged tree's keys as they are: compared byte by byte, never normalised.
#include <optional>
#include <string>

namespace kestran::plugin {

constexpr char kSeparator = '\\';
constexpr const char* kRootPath = "\\";

// The installation name of a virtual path: the text between the leading backslash and
// the next one. Nothing for a path without a leading backslash. A path that starts
// with two backslashes names the empty installation.
std::optional<std::string> splitVirtualPath(const std::string& path);

// The path without one trailing backslash ("\ARNA\" -> "\ARNA"); the root stays "\".
std::string withoutTrailingSeparator(std::string path);

// "\NAME\": the prefix every tree path of an installation starts with.
std::string installationPrefix(const std::string& installationName);

}  // namespace kestran::plugin
