#pragma once
// Which names from an archive may become local file names. Each must stay one
// component inside the directory it is written to, on the system the tool runs on.
#include <optional>
#include <string>
#include <string_view>

namespace kestran::cli {

// Why a name may not become a local name anywhere: empty, "." or "..", a path separator
// ("/" or "\"), a NUL byte, a drive letter. Nothing when it may.
std::optional<std::string> portableNameRefusal(std::string_view name);

// Why Windows cannot hold the name as one plain file name: a device name (CON, PRN,
// AUX, NUL, COM0-9, LPT0-9, CONIN$, CONOUT$, with or without an extension and in any
// case), a ':' anywhere (it would name an alternate data stream), a trailing dot or
// space (dropped by the system, so the name would land on another), a character
// Windows never allows in names (< > " | ? * and controls). Nothing when it can.
std::optional<std::string> windowsNameRefusal(std::string_view name);

// The rules of the system the tool runs on: the portable ones, and on Windows also
// Windows' own.
std::optional<std::string> localNameRefusal(std::string_view name);

}  // namespace kestran::cli
