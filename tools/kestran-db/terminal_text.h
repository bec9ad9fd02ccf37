#pragma once
// Texts as they go into the tool's human-readable output. A name from an archive may
// hold any byte, and control bytes reaching a terminal raw would drive it (an ESC
// starts an escape sequence). They are written as C escapes instead: \t, \n, \r, \a,
// \b, \f, \v, \e, and \xHH for the others below 0x20 and for DEL. Every other byte
// stays as it is.
#include <string>
#include <string_view>

namespace kestran::cli {

// A name (or a path of names) as an archive holds it, for people: every name from an
// archive goes through here on its way to human-readable output, so that this is the
// one place where names meet the terminal.
std::string printable(std::string_view name);

// A path of this system (an archive's file, a local target), for people.
std::string printablePath(std::string_view path);

}  // namespace kestran::cli
