#include "local_names.h"

#include "common/ascii.h"
#include "platform/platform.h"

namespace kestran::cli {

namespace {

std::string quoted(std::string_view name) { return "the name \"" + std::string(name) + "\""; }

bool isDriveLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The device names Windows reserves in every directory, compared without regard to case
// on the part before the first dot, trailing spaces dropped (the system drops them too).
bool isDeviceName(std::string_view name) {
    std::string stem = loweredAscii(std::string(name.substr(0, name.find('.'))));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    if (stem == "con" || stem == "prn" || stem == "aux" || stem == "nul" || stem == "conin$" || stem == "conout$")
        return true;
    // COM0 to COM9 and LPT0 to LPT9, and the superscript digits 1 to 3 that Windows
    // also takes as port numbers (in the ANSI code page, 0xB9, 0xB2, 0xB3).
    if (stem.size() == 4 && (stem.compare(0, 3, "com") == 0 || stem.compare(0, 3, "lpt") == 0)) {
        const auto digit = static_cast<unsigned char>(stem[3]);
        return (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
    }
    return false;
}

}  // namespace

std::optional<std::string> portableNameRefusal(std::string_view name) {
    if (name.empty()) return std::string("an empty name");
    if (name == "." || name == "..") return quoted(name) + " is no file name";
    if (name.find_first_of("/\\") != std::string_view::npos) return quoted(name) + " holds a path separator";
    if (name.find('\0') != std::string_view::npos) return std::string("a name with a NUL byte");
    if (name.size() >= 2 && name[1] == ':' && isDriveLetter(name[0]))
        return quoted(name) + " starts with a drive letter";
    return std::nullopt;
}

std::optional<std::string> windowsNameRefusal(std::string_view name) {
    if (name.empty()) return std::nullopt;
    if (isDeviceName(name)) return quoted(name) + " is a Windows device name";
    if (name.find(':') != std::string_view::npos)
        return quoted(name) + " holds a ':', which names a data stream on Windows";
    if (name.back() == '.' || name.back() == ' ')
        return quoted(name) + " ends in a dot or a space, which Windows drops";
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*')
            return quoted(name) + " holds a character Windows does not allow in names";
    }
    return std::nullopt;
}

std::optional<std::string> localNameRefusal(std::string_view name) {
    if (std::optional<std::string> why = portableNameRefusal(name)) return why;
    if (platform::localNamesFollowWindowsRules()) return windowsNameRefusal(name);
    return std::nullopt;
}

}  // namespace kestran::cli
